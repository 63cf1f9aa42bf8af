#include "kohonen/engine/gridwise_project.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "kohonen/engine/principal_components.h"
#include "kohonen/engine/training_run.h"
#include "kohonen_test_helpers.h"
#include "tests/support/test_support.h"

using kohonen_test::allWeights;
using lumivane::test::TempDir;

namespace {

// A table of `columns` columns and 40 rows of varied values; columns beyond the fifth are extra.
RawTable makeTable(std::int32_t columns) {
  RawTable t;
  t.allocate(columns, 40, true);
  for (std::int32_t c = 0; c < columns; ++c) {
    t.columnNames[static_cast<std::size_t>(c)] = "col" + std::to_string(c);
    for (std::int32_t i = 0; i < 40; ++i) {
      t.columns[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] =
          std::sin(0.37 * i * (c + 1)) * (c + 2) + 0.1 * i + c;
    }
  }
  for (std::int32_t i = 0; i < 40; ++i) t.rowIds[static_cast<std::size_t>(i)] = "row" + std::to_string(i);
  t.loaded = true;
  return t;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void putInt32(std::string& bytes, std::size_t offset, std::int32_t value) {
  for (int b = 0; b < 4; ++b)
    bytes[offset + b] = static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * b)) & 0xFF);
}

class ProjectFile : public ::testing::Test {
 protected:
  // A data set on columns 0, 2 and 4 of a five-column table, projected on two components when
  // asked, and a 4 × 3 net trained on it for a few passes.
  void build(bool projected) {
    dataSet.attach(table5);
    const std::int32_t chosen[] = {4, 0, 2};
    const NormalisationKind kinds[] = {NormalisationKind::MeanVariance, NormalisationKind::None,
                                       NormalisationKind::Tanh, NormalisationKind::None,
                                       NormalisationKind::MinMax};
    dataSet.prepare(chosen, kinds);
    if (projected) {
      NullProgress quiet;
      const PcDecomposition pc =
          decomposeWorkingMatrix(dataSet.workingMatrix(), quiet, std::chrono::milliseconds(0));
      const PcProjection p = projectOnComponents(dataSet.workingMatrix(), pc, 2);
      dataSet.applyProjection(p.projection, p.retainedFraction);
    }
    net.emplace(createNetwork(4, 3, dataSet.workingMatrix()));
    TrainingSettings settings;
    settings.iterations = 20;
    NullProgress quiet;
    CellIndex index;
    trainNetwork(*net, dataSet.workingMatrix(), settings, quiet, index);
    ASSERT_TRUE(saveProject(path, dataSet, *net).ok());
  }

  void expectSameProject(const GridwiseDataSet& loaded, const KohonenNet& loadedNet) {
    EXPECT_EQ(loadedNet.rows(), 4);
    EXPECT_EQ(loadedNet.columns(), 3);
    EXPECT_EQ(allWeights(loadedNet), allWeights(*net));  // bit for bit
    EXPECT_EQ(loaded.chosenColumns(), dataSet.chosenColumns());
    const RealMatrix& a = loaded.workingMatrix();
    const RealMatrix& b = dataSet.workingMatrix();
    ASSERT_EQ(a.Cols(), b.Cols());
    for (std::int32_t i = 0; i < a.Rows(); ++i) {
      const double* x = a.data() + static_cast<std::ptrdiff_t>(i) * a.Cols();
      EXPECT_EQ(loadedNet.findWinner(x),
                net->findWinner(b.data() + static_cast<std::ptrdiff_t>(i) * b.Cols()));
    }
  }

  TempDir dir;
  std::string path = dir.file("project.gwp");
  RawTable table5 = makeTable(5);
  GridwiseDataSet dataSet;
  std::optional<KohonenNet> net;
};

TEST_F(ProjectFile, RoundTripReproducesEveryWeightAndWinner) {
  build(false);
  const std::string bytes = readAll(path);
  ASSERT_EQ(bytes.substr(0, 4), "MLP1");
  EXPECT_EQ(bytes.substr(4, 6), "GWDATA");
  // The net block closes the file: 3 counts and 4 · 3 cells of 3 doubles.
  const std::size_t netBlock = bytes.size() - (12 + 4 * 3 * 3 * 8);
  std::int32_t rows = 0;
  std::memcpy(&rows, bytes.data() + netBlock, 4);  // little-endian host
  EXPECT_EQ(rows, 4);
  double first = 0.0;
  std::memcpy(&first, bytes.data() + netBlock + 12, 8);
  EXPECT_EQ(first, net->weight(0, 0, 0));
  double secondCell = 0.0;
  std::memcpy(&secondCell, bytes.data() + netBlock + 12 + 3 * 8, 8);
  EXPECT_EQ(secondCell, net->weight(0, 1, 0));  // cells row-major, vectors whole

  GridwiseDataSet loaded(table5);
  LoadedProject project = loadProject(path, loaded);
  ASSERT_TRUE(project.result.ok()) << project.result.message;
  expectSameProject(loaded, *project.net);
}

TEST_F(ProjectFile, ProjectedRoundTrip) {
  build(true);
  GridwiseDataSet loaded(table5);
  LoadedProject project = loadProject(path, loaded);
  ASSERT_TRUE(project.result.ok()) << project.result.message;
  EXPECT_TRUE(loaded.projected());
  EXPECT_EQ(project.net->dimension(), 2);
  expectSameProject(loaded, *project.net);
}

TEST_F(ProjectFile, WiderTableLoadsNarrowerTableIsRefused) {
  build(false);
  RawTable table7 = makeTable(7);
  GridwiseDataSet wide(table7);
  LoadedProject ok = loadProject(path, wide);
  ASSERT_TRUE(ok.result.ok()) << ok.result.message;
  expectSameProject(wide, *ok.net);  // the first five columns of both tables are the same

  RawTable table4 = makeTable(4);
  GridwiseDataSet narrow(table4);
  LoadedProject refused = loadProject(path, narrow);
  EXPECT_EQ(refused.result.status, ProjectStatus::Corrupted);
  EXPECT_EQ(refused.result.message, "The file is corrupted!");
  EXPECT_FALSE(refused.net.has_value());
  EXPECT_EQ(narrow.chosenCount(), 0);
}

TEST_F(ProjectFile, MissingFileAndForeignMagic) {
  GridwiseDataSet loaded(table5);
  const std::string missing = dir.file("none.gwp");
  LoadedProject none = loadProject(missing, loaded);
  EXPECT_EQ(none.result.status, ProjectStatus::CannotOpen);
  EXPECT_EQ(none.result.message, "Can't open file " + missing);

  for (const std::string& bytes : {std::string("MLP2GWDATA"), std::string("ML"), std::string()}) {
    writeAll(path, bytes);
    LoadedProject bad = loadProject(path, loaded);
    EXPECT_EQ(bad.result.status, ProjectStatus::BadFormat) << bytes;
    EXPECT_EQ(bad.result.message, "Bad file format!");
  }
}

TEST_F(ProjectFile, EveryTruncationIsACorruptedFile) {
  build(true);
  const std::string bytes = readAll(path);
  const std::string cut = dir.file("cut.gwp");
  for (std::size_t n = 4; n < bytes.size(); ++n) {
    writeAll(cut, bytes.substr(0, n));
    GridwiseDataSet loaded(table5);
    LoadedProject project = loadProject(cut, loaded);
    ASSERT_EQ(project.result.status, ProjectStatus::Corrupted) << "length " << n;
    EXPECT_FALSE(project.net.has_value());
    EXPECT_EQ(loaded.chosenCount(), 0) << "length " << n;
  }
}

TEST_F(ProjectFile, AbsurdNetCountsAreRefusedBeforeAllocating) {
  build(false);
  const std::string good = readAll(path);
  const std::size_t netBlock = good.size() - (12 + 4 * 3 * 3 * 8);
  struct Case {
    std::size_t field;
    std::int32_t value;
  };
  const Case cases[] = {
      {0, 0},          {0, -4},         {4, 0}, {4, -1},  // rows, columns below 1
      {8, 0},          {8, 2},          {8, 4},           // dimension other than the data's 3
      {0, 5},                                             // one row more than the file holds
      {0, 0x7FFFFFFF}, {4, 0x7FFFFFFF},                   // sizes no file of this length holds
  };
  for (const Case& c : cases) {
    std::string bytes = good;
    putInt32(bytes, netBlock + c.field, c.value);
    writeAll(path, bytes);
    GridwiseDataSet loaded(table5);
    LoadedProject project = loadProject(path, loaded);
    EXPECT_EQ(project.result.status, ProjectStatus::Corrupted) << c.field << " " << c.value;
    EXPECT_EQ(loaded.chosenCount(), 0);
  }
  // Trailing bytes after the last field are not read.
  writeAll(path, good + "extra");
  GridwiseDataSet loaded(table5);
  EXPECT_TRUE(loadProject(path, loaded).result.ok());
}

TEST_F(ProjectFile, CorruptedDataSetBlockFields) {
  build(false);
  const std::string good = readAll(path);
  std::string badTag = good;
  badTag[5] = 'X';  // "GXDATA"
  std::string badKind = good;
  putInt32(badKind, 4 + 6 + 4 + 4 + 3 * 4, 7);  // first normaliser record: kind 7
  for (const std::string& bytes : {badTag, badKind}) {
    writeAll(path, bytes);
    GridwiseDataSet loaded(table5);
    EXPECT_EQ(loadProject(path, loaded).result.status, ProjectStatus::Corrupted);
  }
}

TEST_F(ProjectFile, FailedSaveLeavesNothingHalfWritten) {
  build(false);
  const std::string target = dir.file("missing-folder/project.gwp");
  ProjectResult missing = saveProject(target, dataSet, *net);
  EXPECT_EQ(missing.status, ProjectStatus::CannotOpen);
  EXPECT_EQ(missing.message, "Can't open file " + target);

  // A folder in the target's place cannot be replaced: reported, folder kept, no leftovers.
  const std::filesystem::path folder = dir.path() / "taken.gwp";
  std::filesystem::create_directory(folder);
  EXPECT_FALSE(saveProject(folder, dataSet, *net).ok());
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 2u);  // project.gwp and the folder

  // Saving again over a good file replaces it with an equal one.
  const std::string before = readAll(path);
  ASSERT_TRUE(saveProject(path, dataSet, *net).ok());
  EXPECT_EQ(readAll(path), before);
}

// A project the user made read-only is refused with the same message as a file that cannot be
// created, and stays as it was (renaming over it would be allowed by the folder).
TEST_F(ProjectFile, ReadOnlyTargetIsRefusedAndKept) {
  build(false);
  const std::string before = readAll(path);
  ASSERT_EQ(::chmod(path.c_str(), S_IRUSR | S_IRGRP), 0);
  net->setWeight(0, 0, 0, net->weight(0, 0, 0) + 1.0);
  const ProjectResult refused = saveProject(path, dataSet, *net);
  EXPECT_EQ(refused.status, ProjectStatus::CannotOpen);
  EXPECT_EQ(refused.message, "Can't open file " + path);
  EXPECT_EQ(readAll(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(NetBlock, StreamRoundTripWithoutSeeking) {
  KohonenNet net(2, 3, 2);
  std::stringstream s;
  writeNetBlock(s, net);
  const KohonenNet back = readNetBlock(s, 2);
  EXPECT_EQ(allWeights(back), allWeights(net));
  std::stringstream wrongDimension(s.str());
  EXPECT_THROW(readNetBlock(wrongDimension, 3), IllegalDataFormatException);
}

}  // namespace
