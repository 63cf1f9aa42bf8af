// Reading workbook packages with libzip.
#include "host/zip_archive.h"

#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <sys/mman.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <vector>

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
  // Deflate cannot unpack to more than 1,032 times its packed size (a 258-byte match in two bits).
  // A member that says otherwise is damaged, and is refused before room is made for it: a few
  // bytes claiming a gigabyte would otherwise cost a gigabyte of address space.
  constexpr std::uint64_t kMaxDeflateRatio = 1032, kDeflateSlack = 1024;
  if ((st.valid & ZIP_STAT_COMP_METHOD) && st.comp_method == ZIP_CM_DEFLATE &&
      (st.valid & ZIP_STAT_COMP_SIZE) && st.size > kDeflateSlack &&
      (st.size - kDeflateSlack) / kMaxDeflateRatio > st.comp_size)
    throw std::runtime_error("its part " + std::string(name) + " says it unpacks to " +
                             std::to_string(st.size) + " bytes, more than its " +
                             std::to_string(st.comp_size) + " packed bytes can hold");
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

// Room for a member and one spare byte, in huge pages where the system offers them: a full sheet is most
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
// Compressed bytes read at a time, and inflated bytes made ready at a time.
constexpr std::size_t kPackedBlock = std::size_t{4} << 20;
constexpr std::size_t kInflateBlock = std::size_t{8} << 20;

}  // namespace

ZipArchive::Bytes ZipArchive::room(std::string_view name, std::uint64_t maxSize) const {
  zip_stat_t st;
  checkedIndex(name, maxSize, &st);
  Bytes out;
  out.size = static_cast<std::size_t>(st.size);
  out.data.reset(allocateBytes(out.size));
  return out;
}

ZipArchive::Bytes ZipArchive::inflate(std::string_view name, std::uint64_t maxSize) const {
  Bytes out = room(name, maxSize);
  inflateInto(name, out, {}, maxSize);
  return out;
}

void ZipArchive::inflateInto(std::string_view name, Bytes& into,
                             const std::function<void(std::size_t)>& ready, std::uint64_t maxSize) const {
  zip_stat_t st;
  const std::uint64_t index = checkedIndex(name, maxSize, &st);
  if (st.size != into.size) throw std::invalid_argument("room of another size");
  constexpr zip_uint64_t kKnown = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
  const bool plain = !(st.valid & ZIP_STAT_ENCRYPTION_METHOD) || st.encryption_method == ZIP_EM_NONE;
  char* const out = into.data.get();
  const std::size_t size = into.size;
  if ((st.valid & kKnown) != kKnown || st.comp_method != ZIP_CM_DEFLATE || !plain) {
    // Stored, or of a kind only the streaming path knows: read as a stream.
    auto s = stream(name, maxSize);
    std::size_t got = 0;
    while (got < size) got += s->read(out + got, size - got);
    s->read(nullptr, 0);  // checks that nothing follows
    if (ready) ready(size);
    return;
  }
  // The deflated bytes themselves, inflated block by block into the room of the size the
  // archive states: a member that inflates to more or less than that is damaged.
  std::unique_ptr<zip_file_t, ZipFileCloser> file(zip_fopen_index(archive_, index, ZIP_FL_COMPRESSED));
  if (!file) throw std::runtime_error(std::string(name) + " cannot be read");
  const auto corrupt = [] { return std::runtime_error("a member's compressed data is corrupt"); };
  std::vector<std::uint8_t> packed(kPackedBlock);
  std::uint64_t packedLeft = st.comp_size;
  auto state = std::make_unique<inflate_state>();
  isal_inflate_init(state.get());
  state->crc_flag = ISAL_DEFLATE;
  state->next_out = reinterpret_cast<std::uint8_t*>(out);
  std::uint32_t crc = 0;
  std::size_t done = 0;
  while (state->block_state != ISAL_BLOCK_FINISH) {
    if (state->avail_in == 0) {
      if (packedLeft == 0) throw corrupt();  // the deflate stream does not end
      const zip_int64_t n =
          zip_fread(file.get(), packed.data(), std::min<std::uint64_t>(packed.size(), packedLeft));
      if (n <= 0) throw corrupt();
      packedLeft -= static_cast<std::uint64_t>(n);
      state->next_in = packed.data();
      state->avail_in = static_cast<std::uint32_t>(n);
    }
    // The room's spare byte past the size tells a member larger than it says.
    state->avail_out = static_cast<std::uint32_t>(std::min(kInflateBlock, size + 1 - done));
    const std::uint32_t inBefore = state->avail_in, outBefore = state->avail_out;
    if (isal_inflate(state.get()) < 0) throw corrupt();
    // A call that takes nothing and gives nothing would be called for ever.
    if (state->avail_in == inBefore && state->avail_out == outBefore &&
        state->block_state != ISAL_BLOCK_FINISH && state->avail_in > 0)
      throw corrupt();
    const std::size_t now = static_cast<std::size_t>(state->total_out);
    if (now > size) throw std::runtime_error("a member is larger than it says");
    crc = crc32_gzip_refl(crc, reinterpret_cast<const std::uint8_t*>(out + done), now - done);
    if (now > done && ready) ready(now);
    done = now;
  }
  if (done != size) throw std::runtime_error("a member is shorter than it says");
  if (crc != st.crc) throw corrupt();
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
