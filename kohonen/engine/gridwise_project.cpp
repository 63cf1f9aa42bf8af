#include "kohonen/engine/gridwise_project.h"

#include <cstring>
#include <fstream>
#include <new>

#include "shared/binary_io.h"

namespace {

constexpr std::size_t kMagicLength = sizeof kProjectMagic - 1;
constexpr std::uint64_t kBytesPerWeight = 8;
constexpr char kOutOfMemoryMessage[] = "Out of memory";

}  // namespace

void writeNetBlock(std::ostream& out, const KohonenNet& net) {
  BinaryWriter w(out);
  w.writeInt32(net.rows());
  w.writeInt32(net.columns());
  w.writeInt32(net.dimension());
  std::vector<double> cell(static_cast<std::size_t>(net.dimension()));
  for (std::int32_t r = 0; r < net.rows(); ++r) {
    for (std::int32_t c = 0; c < net.columns(); ++c) {
      net.copyCell(r, c, cell.data());
      w.writeDoubles(cell.data(), cell.size());
    }
  }
}

KohonenNet readNetBlock(std::istream& in, std::int32_t dimension) {
  BinaryReader reader(in);
  const std::int32_t rows = reader.readInt32("net rows");
  const std::int32_t columns = reader.readInt32("net columns");
  const std::int32_t stored = reader.readInt32("dimension");
  if (rows < 1) reader.fail("net rows");
  if (columns < 1) reader.fail("net columns");
  if (stored < 1 || stored != dimension) reader.fail("dimension");
  // cells · dimension · 8 bytes must remain; three int32 counts can multiply beyond 64 bits,
  // so the comparison divides instead (exact for integers: a·b ≤ n ⇔ b ≤ ⌊n / a⌋).
  const std::uint64_t cells = static_cast<std::uint64_t>(rows) * static_cast<std::uint64_t>(columns);
  const std::optional<std::uint64_t> available = reader.bytesRemaining();
  if (available && static_cast<std::uint64_t>(stored) > *available / kBytesPerWeight / cells) {
    reader.fail("weights");
  }
  KohonenNet net(rows, columns, stored, KohonenNet::Uninitialised{});
  std::vector<double> cell(static_cast<std::size_t>(stored));
  for (std::int32_t r = 0; r < rows; ++r) {
    for (std::int32_t c = 0; c < columns; ++c) {
      reader.readDoubles(cell.data(), cell.size(), "weights");
      for (std::int32_t k = 0; k < stored; ++k) net.setWeight(r, c, k, cell[static_cast<std::size_t>(k)]);
    }
  }
  return net;
}

void writeProject(std::ostream& out, const GridwiseDataSet& dataSet, const KohonenNet& net) {
  BinaryWriter(out).writeTag(std::string_view(kProjectMagic, kMagicLength));
  dataSet.writeBlock(out);
  writeNetBlock(out, net);
}

KohonenNet readProjectBody(std::istream& in, GridwiseDataSet& dataSet) {
  try {
    dataSet.readBlock(in);
    return readNetBlock(in, dataSet.workingMatrix().Cols());
  } catch (...) {
    dataSet.clearSelection();
    throw;
  }
}

ProjectResult saveProject(const std::filesystem::path& path, const GridwiseDataSet& dataSet,
                          const KohonenNet& net) {
  const bool written = writeFileAtomically(path, [&](std::ostream& out) { writeProject(out, dataSet, net); });
  if (written) return {};
  return {ProjectStatus::CannotOpen, kCantOpenFileMessage + path.string()};
}

LoadedProject loadProject(const std::filesystem::path& path, GridwiseDataSet& dataSet) {
  LoadedProject loaded;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    loaded.result = {ProjectStatus::CannotOpen, kCantOpenFileMessage + path.string()};
    return loaded;
  }
  char magic[kMagicLength];
  if (!in.read(magic, kMagicLength) || std::memcmp(magic, kProjectMagic, kMagicLength) != 0) {
    loaded.result = {ProjectStatus::BadFormat, kBadFileFormatMessage};
    return loaded;
  }
  try {
    loaded.net.emplace(readProjectBody(in, dataSet));
  } catch (const OutOfMemoryException& e) {
    loaded.result = {ProjectStatus::OutOfMemory, e.what()};
  } catch (const MyException&) {
    loaded.result = {ProjectStatus::Corrupted, kFileCorruptedMessage};
  } catch (const std::bad_alloc&) {
    loaded.result = {ProjectStatus::OutOfMemory, kOutOfMemoryMessage};
  }
  return loaded;
}
