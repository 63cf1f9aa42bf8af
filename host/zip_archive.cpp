// Reading workbook packages with libzip.
#include "host/zip_archive.h"

#include <zip.h>

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

std::unique_ptr<ZipArchive::Stream> ZipArchive::stream(std::string_view name, std::uint64_t maxSize) const {
  const auto index = indexOf(name);
  if (!index) throw std::runtime_error(std::string(name) + " is missing");
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(archive_, *index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
    throw std::runtime_error(std::string(name) + " cannot be read");
  if (st.size > maxSize)
    throw std::runtime_error("its part " + std::string(name) + " unpacks to " +
                             std::to_string(st.size >> 20) + " MB, more than the " +
                             std::to_string(maxSize >> 20) + " MB a part may hold");
  zip_file_t* file = zip_fopen_index(archive_, *index, 0);
  if (!file)
    throw std::runtime_error(std::string(name) + " cannot be read (unsupported compression or encryption)");
  return std::unique_ptr<Stream>(new Stream(file, st.size));
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

}  // namespace host
