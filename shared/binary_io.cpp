#include "shared/binary_io.h"

#include <unistd.h>

#include <bit>
#include <fstream>
#include <random>
#include <system_error>

#include "shared/exceptions.h"

namespace {

constexpr const char* kFormatMessage = "data format doesn't match to expected one";

// Stores value in the low `size` bytes of buffer, least significant first.
void toLittleEndian(std::uint64_t value, unsigned char* buffer, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) buffer[i] = static_cast<unsigned char>(value >> (8 * i));
}

std::uint64_t fromLittleEndian(const unsigned char* buffer, std::size_t size) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value |= static_cast<std::uint64_t>(buffer[i]) << (8 * i);
  return value;
}

}  // namespace

// ---- BinaryWriter ----

void BinaryWriter::writeBytes(const void* data, std::size_t count) {
  if (count == 0) return;
  out_.write(static_cast<const char*>(data), static_cast<std::streamsize>(count));
}

void BinaryWriter::writeChar(char c) {
  writeBytes(&c, 1);
}

void BinaryWriter::writeTag(std::string_view text) {
  writeBytes(text.data(), text.size());
}

void BinaryWriter::writeUInt16(std::uint16_t value) {
  unsigned char buffer[2];
  toLittleEndian(value, buffer, sizeof buffer);
  writeBytes(buffer, sizeof buffer);
}

void BinaryWriter::writeInt32(std::int32_t value) {
  unsigned char buffer[4];
  toLittleEndian(static_cast<std::uint32_t>(value), buffer, sizeof buffer);
  writeBytes(buffer, sizeof buffer);
}

void BinaryWriter::writeDouble(double value) {
  unsigned char buffer[8];
  toLittleEndian(std::bit_cast<std::uint64_t>(value), buffer, sizeof buffer);
  writeBytes(buffer, sizeof buffer);
}

void BinaryWriter::writeDoubles(const double* values, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) writeDouble(values[i]);
}

void BinaryWriter::writeString(std::string_view text) {
  writeInt32(static_cast<std::int32_t>(text.size()));
  writeBytes(text.data(), text.size());
}

// ---- BinaryReader ----

BinaryReader::BinaryReader(std::istream& in)
    : BinaryReader(in, throwOnShortRead<IllegalDataFormatException>(kFormatMessage)) {}

BinaryReader::BinaryReader(std::istream& in, ShortReadHandler onShortRead)
    : in_(in), onShortRead_(std::move(onShortRead)) {}

void BinaryReader::fail(std::string_view field) {
  if (onShortRead_) onShortRead_(field);
  throw IllegalDataFormatException(kFormatMessage);
}

void BinaryReader::readBytes(void* data, std::size_t count, std::string_view field) {
  if (count == 0) return;
  in_.read(static_cast<char*>(data), static_cast<std::streamsize>(count));
  if (static_cast<std::size_t>(in_.gcount()) != count || in_.bad()) fail(field);
}

char BinaryReader::readChar(std::string_view field) {
  char c = 0;
  readBytes(&c, 1, field);
  return c;
}

std::uint16_t BinaryReader::readUInt16(std::string_view field) {
  unsigned char buffer[2];
  readBytes(buffer, sizeof buffer, field);
  return static_cast<std::uint16_t>(fromLittleEndian(buffer, sizeof buffer));
}

std::int32_t BinaryReader::readInt32(std::string_view field) {
  unsigned char buffer[4];
  readBytes(buffer, sizeof buffer, field);
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(fromLittleEndian(buffer, sizeof buffer)));
}

double BinaryReader::readDouble(std::string_view field) {
  unsigned char buffer[8];
  readBytes(buffer, sizeof buffer, field);
  return std::bit_cast<double>(fromLittleEndian(buffer, sizeof buffer));
}

void BinaryReader::readDoubles(double* values, std::size_t count, std::string_view field) {
  for (std::size_t i = 0; i < count; ++i) values[i] = readDouble(field);
}

bool BinaryReader::readTag(std::string_view text, std::string_view field) {
  std::string bytes(text.size(), '\0');
  readBytes(bytes.data(), bytes.size(), field);
  return bytes == text;
}

std::optional<std::uint64_t> BinaryReader::bytesRemaining() {
  const std::ios::iostate state = in_.rdstate();
  if (state & (std::ios::failbit | std::ios::badbit)) return std::nullopt;
  in_.clear();  // an end-of-file flag alone would make tellg fail
  std::optional<std::uint64_t> remaining;
  const std::istream::pos_type here = in_.tellg();
  if (here != std::istream::pos_type(-1)) {
    in_.seekg(0, std::ios::end);
    const std::istream::pos_type end = in_.tellg();
    in_.clear();
    in_.seekg(here);
    if (end != std::istream::pos_type(-1) && end >= here) remaining = static_cast<std::uint64_t>(end - here);
  }
  in_.clear(state);
  return remaining;
}

std::string BinaryReader::readString(std::string_view field, std::int32_t maxLength) {
  std::int32_t length = readInt32(field);
  if (length < 0 || length > maxLength) fail(field);
  std::string text(static_cast<std::size_t>(length), '\0');
  readBytes(text.data(), text.size(), field);
  return text;
}

// ---- writeFileAtomically ----

namespace {

// A fresh name beside target, so that the rename stays within one file system; never the name
// of a file that exists already (which truncating would destroy).
std::filesystem::path temporaryNameFor(const std::filesystem::path& target) {
  std::random_device device;
  std::error_code ec;
  for (;;) {
    std::filesystem::path temp = target;
    temp += ".tmp" + std::to_string(device() % 1000000u);
    if (!std::filesystem::exists(temp, ec) && !ec) return temp;
  }
}

// True when target exists and may not be replaced: its owner has no write permission (the
// read-only attribute, which even a privileged process respects here), or this process has none.
bool existsReadOnly(const std::filesystem::path& target) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(target, ec);
  if (ec || !std::filesystem::exists(status)) return false;
  if ((status.permissions() & std::filesystem::perms::owner_write) == std::filesystem::perms::none)
    return true;
  return ::access(target.c_str(), W_OK) != 0;
}

}  // namespace

bool writeFileAtomically(const std::filesystem::path& target,
                         const std::function<void(std::ostream&)>& body) {
  if (existsReadOnly(target)) return false;
  const std::filesystem::path temp = temporaryNameFor(target);
  std::error_code ignored;
  bool written = false;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    try {
      body(out);
    } catch (...) {
      out.close();
      std::filesystem::remove(temp, ignored);
      throw;
    }
    out.flush();
    written = out.good();
    out.close();
    written = written && !out.fail();
  }
  if (written) {
    std::error_code renameError;
    std::filesystem::rename(temp, target, renameError);
    if (!renameError) return true;
  }
  std::filesystem::remove(temp, ignored);
  return false;
}
