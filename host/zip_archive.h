#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct zip;
struct zip_file;

namespace host {

// Largest member a workbook archive may hold once inflated. Sheets are inflated whole into
// memory (see inflate()), so this bounds both the time a hostile archive can take and the
// memory its largest sheet needs; the room is taken as the data comes, so a member that only
// claims the size costs address space, not memory. A full sheet of numbers with every
// attribute written takes about 1 GB.
inline constexpr std::uint64_t kMaxZipEntrySize = std::uint64_t{1280} << 20;
// Largest member read whole into memory (shared strings, styles, relationships).
inline constexpr std::uint64_t kMaxZipTextSize = std::uint64_t{256} << 20;

// A zip archive opened for reading (libzip). Member names are matched without regard to
// case, as the package formats of both workbook kinds require. Not thread-safe.
class ZipArchive {
 public:
  // Null when the file is not a zip archive at all; throws std::runtime_error only when the
  // file cannot be opened.
  static std::unique_ptr<ZipArchive> open(const std::string& path);
  // The same for an archive held in memory; the bytes must outlive the archive.
  static std::unique_ptr<ZipArchive> openMemory(std::string_view bytes);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  bool has(std::string_view name) const;
  // The inflated size the archive declares for a member; nothing when it is absent.
  std::optional<std::uint64_t> size(std::string_view name) const;

  // One member being inflated. read() returns 0 at the end and throws std::runtime_error when
  // the member's data is damaged or grows past its declared size.
  class Stream {
   public:
    ~Stream();
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;
    std::size_t read(char* buffer, std::size_t capacity);

   private:
    friend class ZipArchive;
    Stream(zip_file* file, std::uint64_t size) : file_(file), left_(size) {}
    zip_file* file_;
    std::uint64_t left_;
  };
  // Throws std::runtime_error when the member is absent, larger than maxSize or unreadable.
  std::unique_ptr<Stream> stream(std::string_view name, std::uint64_t maxSize = kMaxZipEntrySize) const;
  std::string readAll(std::string_view name, std::uint64_t maxSize = kMaxZipTextSize) const;

  // A member inflated whole into memory. A deflated member whose sizes the archive states is
  // inflated by ISA-L's inflate (several times faster than zlib's), its length and checksum
  // checked against what the archive says; any other member goes through stream(). Holds the
  // whole member in memory, so maxSize bounds the memory as well as the time. Throws
  // std::runtime_error as stream() does, and when the data does not match its checksum.
  struct Bytes {
    struct Free {
      void operator()(char* p) const;
    };
    std::unique_ptr<char, Free> data;
    std::size_t size = 0;
    std::string_view view() const { return {data.get(), size}; }
  };
  Bytes inflate(std::string_view name, std::uint64_t maxSize = kMaxZipEntrySize) const;
  // The same in two steps, for a reader that takes the member apart while it is inflated:
  // room() holds the member's size (its data not yet written), inflateInto() fills it and
  // calls ready(n) whenever the first n bytes are final (n grows to the size; on the calling
  // thread). The checksum is checked only at the end: a reader that went ahead must drop
  // what it read when inflateInto() throws.
  Bytes room(std::string_view name, std::uint64_t maxSize = kMaxZipEntrySize) const;
  void inflateInto(std::string_view name, Bytes& room, const std::function<void(std::size_t)>& ready,
                   std::uint64_t maxSize = kMaxZipEntrySize) const;

 private:
  explicit ZipArchive(zip* archive) : archive_(archive) {}
  std::optional<std::uint64_t> indexOf(std::string_view name) const;
  // The member's statistics, its presence and size checked against maxSize.
  std::uint64_t checkedIndex(std::string_view name, std::uint64_t maxSize, void* stat) const;
  zip* archive_;
};

}  // namespace host
