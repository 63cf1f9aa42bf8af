#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

// Little-endian, field-by-field reading and writing of the stored formats (data-set blocks,
// network files, project files). Integers are two's complement, reals IEEE-754 doubles, with no
// alignment gaps; values are assembled byte by byte, so the layout never depends on the host.

// Writes fields to a byte stream. Failures are sticky: after the first failed write the stream
// is bad and good() says so; callers check once at the end of a record.
class BinaryWriter {
 public:
  explicit BinaryWriter(std::ostream& out) : out_(out) {}

  void writeBytes(const void* data, std::size_t count);
  void writeChar(char c);
  // Writes the characters of text without a length or terminator (tags such as "GWDATA").
  void writeTag(std::string_view text);
  void writeUInt16(std::uint16_t value);
  void writeInt32(std::int32_t value);
  void writeDouble(double value);
  // count doubles in order.
  void writeDoubles(const double* values, std::size_t count);
  // A length-prefixed text: int32 byte count, then the bytes (no terminator).
  void writeString(std::string_view text);

  bool good() const { return out_.good(); }
  std::ostream& stream() { return out_; }

 private:
  std::ostream& out_;
};

// Reads fields from a byte stream. A read that cannot be completed calls the short-read handler
// with the name of the field; the handler throws the exception its format documents. Should a
// handler return, the reader throws IllegalDataFormatException itself, so an unread value is
// never used.
class BinaryReader {
 public:
  using ShortReadHandler = std::function<void(std::string_view field)>;

  // Short reads throw IllegalDataFormatException "data format doesn't match to expected one".
  explicit BinaryReader(std::istream& in);
  BinaryReader(std::istream& in, ShortReadHandler onShortRead);

  void readBytes(void* data, std::size_t count, std::string_view field);
  char readChar(std::string_view field);
  std::uint16_t readUInt16(std::string_view field);
  std::int32_t readInt32(std::string_view field);
  double readDouble(std::string_view field);
  // count doubles into values (the caller has checked count and allocated before).
  void readDoubles(double* values, std::size_t count, std::string_view field);
  // Reads text.size() bytes and tells whether they equal text.
  bool readTag(std::string_view text, std::string_view field);
  // A length-prefixed text as written by writeString; a negative length or one above maxLength
  // is treated like a short read (before anything is allocated).
  std::string readString(std::string_view field, std::int32_t maxLength);

  // Bytes between the read position and the end of the stream, or nothing when the stream
  // cannot tell (it cannot seek). Readers compare a stored count against it before they
  // allocate. Leaves the position and the stream's state as they were.
  std::optional<std::uint64_t> bytesRemaining();

  // Calls the short-read handler for field (for callers that find a value absurd and want the
  // format's own exception); never returns.
  [[noreturn]] void fail(std::string_view field);

  std::istream& stream() { return in_; }

 private:
  std::istream& in_;
  ShortReadHandler onShortRead_;
};

// Handler that throws E(message) whatever the field, e.g.
// throwOnShortRead<BadProjectException>("The file is corrupted!").
template <class E>
BinaryReader::ShortReadHandler throwOnShortRead(std::string message) {
  return [message = std::move(message)](std::string_view) { throw E(message); };
}

// Writes a file so that the target is replaced only once the new contents are complete: body
// writes into a temporary file beside the target, which is then renamed over it. Returns false
// (and leaves the target untouched, the temporary removed) when the file cannot be created, the
// stream fails or the rename fails. Exceptions thrown by body remove the temporary and propagate.
// A target that exists read-only (no write permission for its owner, or none for this process)
// is refused before anything is created, and body is not called: renaming over it would
// otherwise replace a file the user protected.
bool writeFileAtomically(const std::filesystem::path& target, const std::function<void(std::ostream&)>& body);
