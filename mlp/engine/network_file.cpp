#include "mlp/engine/network_file.h"

#include <fstream>
#include <string_view>

#include "mlp/engine/network_errors.h"
#include "shared/binary_io.h"
#include "shared/exceptions.h"

namespace {

constexpr std::size_t kMagicLength = sizeof kNetworkFileMagic - 1;

NetworkLoadResult failure(NetworkFileError error, std::string message) {
  NetworkLoadResult result;
  result.error = error;
  result.message = std::move(message);
  return result;
}

}  // namespace

void writeNetworkFile(const Perceptron& network, std::ostream& out) {
  BinaryWriter writer(out);
  writer.writeTag(std::string_view(kNetworkFileMagic, kMagicLength));
  writer.writeUInt16(kNetworkFileMajor);
  writer.writeUInt16(kNetworkFileMinor);
  network.WriteBlock(out);
}

NetworkLoadResult readNetworkFile(std::istream& in) {
  char magic[kMagicLength] = {};
  in.read(magic, static_cast<std::streamsize>(kMagicLength));
  if (in.gcount() != static_cast<std::streamsize>(kMagicLength) ||
      std::string_view(magic, kMagicLength) != std::string_view(kNetworkFileMagic, kMagicLength)) {
    return failure(NetworkFileError::NotMlpFormat, kNotMlpFormatText);
  }
  try {
    BinaryReader reader(in);
    if (reader.readUInt16("major version") != kNetworkFileMajor) {
      return failure(NetworkFileError::WrongVersion, kWrongVersionText);
    }
    reader.readUInt16("minor version");  // read, not examined
    NetworkLoadResult result;
    result.network = std::make_unique<Perceptron>(in);
    return result;
  } catch (const MyException& e) {
    NetworkLoadResult result = failure(NetworkFileError::BlockError, e.what());
    result.exception = std::current_exception();
    return result;
  } catch (const std::bad_alloc&) {
    OutOfMemoryException outOfMemory(kNetworkOutOfMemoryText);
    NetworkLoadResult result = failure(NetworkFileError::BlockError, outOfMemory.what());
    result.exception = std::make_exception_ptr(outOfMemory);
    return result;
  }
}

NetworkLoadResult loadNetworkFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return failure(NetworkFileError::CannotOpen, kCannotOpenFileText + path.string());
  return readNetworkFile(in);
}

NetworkSaveResult saveNetworkFile(const Perceptron& network, const std::filesystem::path& path) {
  NetworkSaveResult result;
  bool created = false;
  const bool written = writeFileAtomically(path, [&](std::ostream& out) {
    created = true;
    writeNetworkFile(network, out);
  });
  if (!written) {
    // The body runs only once the temporary file exists: without it the file could not be
    // created at all (or the target is read-only), with it the writing itself failed.
    result.error = created ? NetworkFileError::WriteFailed : NetworkFileError::CannotOpen;
    result.message = (created ? kCannotWriteFileText : kCannotOpenFileText) + path.string();
  }
  return result;
}
