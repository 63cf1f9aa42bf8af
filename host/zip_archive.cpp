// Reading workbook packages with libzip.
#include "host/zip_archive.h"

#include <libdeflate.h>
#include <sys/mman.h>
#include <zip.h>

#include <cstdlib>
#include <new>
#include <stdexcept>

namespace host {

std::unique_ptr<ZipArchive> ZipArchive::open(const std::string& path) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &error);
  if (archive) return std::unique_ptr<ZipArchive>(new ZipArchive(archive));
  if (error == ZIP_ER_OPEN || error == ZIP_ER_READ || error == ZIP_ER_MEMORY)
    throw std::runtime_error("the file cannot be read");
  return nullptr;
}

std::unique_ptr<ZipArchive> ZipArchive::openMemory(std::string_view bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_error_fini(&error);
  if (!source) return nullptr;
  zip_error_init(&error);
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, &error);
  zip_error_fini(&error);
  if (!archive) {
    zip_source_free(source);
    return nullptr;
  }
  return std::unique_ptr<ZipArchive>(new ZipArchive(archive));
}

ZipArchive::~ZipArchive() {
  zip_discard(archive_);
}

std::optional<std::uint64_t> ZipArchive::indexOf(std::string_view name) const {
  const std::string n(name);
  const zip_int64_t index = zip_name_locate(archive_, n.c_str(), ZIP_FL_NOCASE | ZIP_FL_ENC_GUESS);
  if (index < 0) return std::nullopt;
  return static_cast<std::uint64_t>(index);
}

bool ZipArchive::has(std::string_view name) const {
  return indexOf(name).has_value();
}

std::optional<std::uint64_t> ZipArchive::size(std::string_view name) const {
  const auto index = indexOf(name);
  if (!index) return std::nullopt;
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, *index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) return std::nullopt;
  return st.size;
}

ZipArchive::Stream::~Stream() {
  zip_fclose(file_);
}

std::size_t ZipArchive::Stream::read(char* buffer, std::size_t capacity) {
  if (left_ == 0) {
    // Anything past the declared size is damage; one byte tells.
    char extra;
    const zip_int64_t n = zip_fread(file_, &extra, 1);
    if (n > 0) throw std::runtime_error("a member is larger than it says");
    if (n < 0) throw std::runtime_error("a member's compressed data is corrupt");
    return 0;
  }
  if (capacity > left_) capacity = static_cast<std::size_t>(left_);
  const zip_int64_t n = zip_fread(file_, buffer, capacity);
  if (n < 0) throw std::runtime_error("a member's compressed data is corrupt");
  if (n == 0) throw std::runtime_error("a member is shorter than it says");
  left_ -= static_cast<std::uint64_t>(n);
  return static_cast<std::size_t>(n);
}

std::uint64_t ZipArchive::checkedIndex(std::string_view name, std::uint64_t maxSize, void* stat) const {
  const auto index = indexOf(name);
  if (!index) throw std::runtime_error(std::string(name) + " is missing");
  zip_stat_t& st = *static_cast<zip_stat_t*>(stat);
  zip_stat_init(&st);
  if (zip_stat_index(archive_, *index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
    throw std::runtime_error(std::string(name) + " cannot be read");
  if (st.size > maxSize)
    throw std::runtime_error("its part " + std::string(name) + " unpacks to " +
                             std::to_string(st.size >> 20) + " MB, more than the " +
                             std::to_string(maxSize >> 20) + " MB a part may hold");
  return *index;
}

std::unique_ptr<ZipArchive::Stream> ZipArchive::stream(std::string_view name, std::uint64_t maxSize) const {
  zip_stat_t st;
  const std::uint64_t index = checkedIndex(name, maxSize, &st);
  zip_file_t* file = zip_fopen_index(archive_, index, 0);
  if (!file)
    throw std::runtime_error(std::string(name) + " cannot be read (unsupported compression or encryption)");
  return std::unique_ptr<Stream>(new Stream(file, st.size));
}

namespace {

// Room for a large member, in huge pages where the system offers them: a full sheet is most
// of a gigabyte, and faulting it in 4 KB pages costs a good part of a second.
constexpr std::size_t kHugePage = std::size_t{2} << 20;
char* allocateBytes(std::size_t n) {
  if (n < 4 * kHugePage) {
    void* p = std::malloc(n + 1);
    if (!p) throw std::bad_alloc();
    return static_cast<char*>(p);
  }
  const std::size_t size = (n / kHugePage + 1) * kHugePage;
  void* p = std::aligned_alloc(kHugePage, size);
  if (!p) throw std::bad_alloc();
  ::madvise(p, size, MADV_HUGEPAGE);
  return static_cast<char*>(p);
}

struct ZipFileCloser {
  void operator()(zip_file_t* f) const { zip_fclose(f); }
};
struct DecompressorFree {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

}  // namespace

ZipArchive::Bytes ZipArchive::inflate(std::string_view name, std::uint64_t maxSize) const {
  zip_stat_t st;
  const std::uint64_t index = checkedIndex(name, maxSize, &st);
  constexpr zip_uint64_t kKnown = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
  const bool plain = !(st.valid & ZIP_STAT_ENCRYPTION_METHOD) || st.encryption_method == ZIP_EM_NONE;
  // Deflate never grows data by more than a few bytes per 64 KB block; a member that claims
  // more compressed bytes than that is left to the streaming path, which reads as it goes
  // instead of trusting the claim with an allocation.
  const bool plausible = (st.valid & ZIP_STAT_COMP_SIZE) && st.comp_size <= st.size + st.size / 8 + 65536;
  Bytes out;
  if ((st.valid & kKnown) != kKnown || st.comp_method != ZIP_CM_DEFLATE || !plain || !plausible) {
    // Stored, or of a kind only the streaming path knows: read as a stream.
    auto s = stream(name, maxSize);
    out.size = static_cast<std::size_t>(st.size);
    out.data.reset(allocateBytes(out.size));
    std::size_t got = 0;
    while (got < out.size) got += s->read(out.data.get() + got, out.size - got);
    s->read(nullptr, 0);  // checks that nothing follows
    return out;
  }
  // The deflated bytes themselves, then one call that inflates them into a buffer of the size
  // the archive states: a member that inflates to more or less than that is damaged.
  std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(archive_, index, ZIP_FL_COMPRESSED));
  if (!file) throw std::runtime_error(std::string(name) + " cannot be read");
  const auto packedSize = static_cast<std::size_t>(st.comp_size);
  const std::unique_ptr<char, Bytes::Free> packed(allocateBytes(packedSize));
  std::size_t got = 0;
  while (got < packedSize) {
    const zip_int64_t n = zip_fread(file.get(), packed.get() + got, packedSize - got);
    if (n <= 0) throw std::runtime_error("a member's compressed data is corrupt");
    got += static_cast<std::size_t>(n);
  }
  file.reset();
  std::unique_ptr<libdeflate_decompressor, DecompressorFree> inflater(libdeflate_alloc_decompressor());
  if (!inflater) throw std::bad_alloc();
  out.size = static_cast<std::size_t>(st.size);
  out.data.reset(allocateBytes(out.size));
  const libdeflate_result r = libdeflate_deflate_decompress(inflater.get(), packed.get(), packedSize,
                                                            out.data.get(), out.size, nullptr);
  if (r == LIBDEFLATE_INSUFFICIENT_SPACE) throw std::runtime_error("a member is larger than it says");
  if (r == LIBDEFLATE_SHORT_OUTPUT) throw std::runtime_error("a member is shorter than it says");
  if (r != LIBDEFLATE_SUCCESS) throw std::runtime_error("a member's compressed data is corrupt");
  if (libdeflate_crc32(0, out.data.get(), out.size) != st.crc)
    throw std::runtime_error("a member's compressed data is corrupt");
  return out;
}

std::string ZipArchive::readAll(std::string_view name, std::uint64_t maxSize) const {
  auto s = stream(name, maxSize);
  std::string out;
  out.resize(static_cast<std::size_t>(*size(name)));
  std::size_t got = 0;
  while (got < out.size()) got += s->read(out.data() + got, out.size() - got);
  s->read(nullptr, 0);  // checks that nothing follows
  return out;
}

void ZipArchive::Bytes::Free::operator()(char* p) const {
  std::free(p);
}

}  // namespace host
