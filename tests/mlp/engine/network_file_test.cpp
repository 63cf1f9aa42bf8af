#include "mlp/engine/network_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "shared/exceptions.h"
#include "tests/mlp/engine/network_test_support.h"
#include "tests/support/test_support.h"

namespace {

using lumivane::test::fillWeights;
using lumivane::test::makeNetwork;
using lumivane::test::TempDir;
using Bytes = std::string;

Bytes blockOf(const Perceptron& net) {
  std::ostringstream out;
  net.WriteBlock(out);
  EXPECT_TRUE(out.good());
  return out.str();
}

std::unique_ptr<Perceptron> readBlock(const Bytes& bytes) {
  std::istringstream in(bytes);
  return std::make_unique<Perceptron>(in);
}

// A stream buffer that cannot seek or tell its size, like a pipe.
class UnsizedBuffer : public std::streambuf {
 public:
  explicit UnsizedBuffer(const Bytes& bytes) : bytes_(bytes) {
    char* begin = bytes_.data();
    setg(begin, begin, begin + bytes_.size());
  }

 private:
  Bytes bytes_;
};

std::unique_ptr<Perceptron> readUnsized(const Bytes& bytes) {
  UnsizedBuffer buffer(bytes);
  std::istream in(&buffer);
  return std::make_unique<Perceptron>(in);
}

void putInt32(Bytes& bytes, std::size_t at, std::int32_t value) {
  for (int b = 0; b < 4; ++b)
    bytes[at + b] = static_cast<char>((static_cast<std::uint32_t>(value) >> (8 * b)) & 0xFF);
}

// 2 inputs, one layer of one first-order tanh neuron, weights 0.5, −1.25, 2.0.
const Bytes kSmallBlock = Bytes("\x2A", 1) + Bytes("\x02\x00\x00\x00", 4) + Bytes("\x01\x00\x00\x00", 4) +
                          Bytes("\x01\x00\x00\x00", 4) + Bytes("\x01\x00\x00\x00", 4) + "t" +
                          Bytes("\x00\x00\x00\x00\x00\x00\xE0\x3F", 8) +
                          Bytes("\x00\x00\x00\x00\x00\x00\xF4\xBF", 8) +
                          Bytes("\x00\x00\x00\x00\x00\x00\x00\x40", 8) + "*";

std::unique_ptr<Perceptron> smallNetwork() {
  auto net = makeNetwork(2, {1}, {1}, {'t'});
  const double w[] = {0.5, -1.25, 2.0};
  std::copy(w, w + 3, net->neurons[0][0]->weights);
  return net;
}

// A three-layer network mixing every order, with awkward values among its weights.
std::unique_ptr<Perceptron> mixedNetwork() {
  auto net = makeNetwork(3, {4, 3, 2}, {3, 1, 2}, {'t', 'l', 't'});
  fillWeights(*net);
  Neuron& first = *net->neurons[0][0];
  first.AllWeights()[0] = -0.0;
  first.AllWeights()[1] = std::numeric_limits<double>::denorm_min();
  first.AllWeights()[2] = 1e300;
  first.AllWeights()[3] = 0.1;
  return net;
}

std::vector<double> allWeights(const Perceptron& net) {
  std::vector<double> all;
  for (int l = 0; l < net.layerCount; ++l)
    for (int j = 0; j < net.neuronCounts[l]; ++j)
      all.insert(all.end(), net.neurons[l][j]->AllWeights(),
                 net.neurons[l][j]->AllWeights() + net.neurons[l][j]->WeightCount());
  return all;
}

// --- the byte layout ----------------------------------------------------------------------------

TEST(NetworkBlock, SmallNetworkIsTheDocumentedFortyThreeBytes) {
  ASSERT_EQ(kSmallBlock.size(), 43u);
  EXPECT_EQ(blockOf(*smallNetwork()), kSmallBlock);

  auto read = readBlock(kSmallBlock);
  EXPECT_EQ(read->inputs, 2);
  EXPECT_EQ(read->outputs, 1);
  EXPECT_EQ(read->layerCount, 1);
  EXPECT_EQ(read->functionCodes[0], 't');
  EXPECT_EQ(read->neurons[0][0]->weights[0], 0.5);
  EXPECT_EQ(read->neurons[0][0]->weights[1], -1.25);
  EXPECT_EQ(read->neurons[0][0]->weights[2], 2.0);
}

TEST(NetworkFile, SmallNetworkFileIsFiftyBytes) {
  std::ostringstream out;
  writeNetworkFile(*smallNetwork(), out);
  EXPECT_EQ(out.str(), Bytes("MLP\x03\x00\x00\x00", 7) + kSmallBlock);
  EXPECT_EQ(out.str().size(), 50u);
}

TEST(NetworkBlock, CodeXReadsAsLinearAndIsWrittenBackAsL) {
  Bytes bytes = kSmallBlock;
  bytes[17] = 'x';
  auto net = readBlock(bytes);
  EXPECT_EQ(net->functionCodes[0], 'l');
  EXPECT_EQ(net->activations[0], &linearActivation);
  const double q[] = {1.0, 1.0};
  double a = 0;
  net->Answer(q, 2, &a, 1);
  EXPECT_DOUBLE_EQ(a, 0.5 - 1.25 + 2.0);
  Bytes expected = kSmallBlock;
  expected[17] = 'l';
  EXPECT_EQ(blockOf(*net), expected);

  bytes[17] = '?';  // any other code is tanh
  EXPECT_EQ(readBlock(bytes)->functionCodes[0], 't');
}

TEST(NetworkBlock, RoundTripIsBitForBitForMixedOrders) {
  auto net = mixedNetwork();
  const Bytes bytes = blockOf(*net);
  std::istringstream in(bytes + "rest");
  Perceptron read(in);
  EXPECT_EQ(in.get(), 'r') << "the stream is left just behind the closing marker";

  const std::vector<double> a = allWeights(*net), b = allWeights(read);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
  EXPECT_TRUE(std::signbit(read.neurons[0][0]->weights[0]));
  EXPECT_EQ(std::string(read.functionCodes, 3), "tlt");
  for (int l = 0; l < 3; ++l) EXPECT_EQ(read.neurons[l][0]->Order(), net->neurons[l][0]->Order());
  EXPECT_EQ(blockOf(read), bytes);

  const double q[] = {0.3, -0.7, 0.2};
  double x[2], y[2];
  net->neurons[0][0]->AllWeights()[2] = read.neurons[0][0]->AllWeights()[2] = 0.5;  // keep answers finite
  net->Answer(q, 3, x, 2);
  read.Answer(q, 3, y, 2);
  EXPECT_EQ(x[0], y[0]);
  EXPECT_EQ(x[1], y[1]);
}

// --- the file header -----------------------------------------------------------------------------

TEST(NetworkFile, MinorVersionIsNotExamined) {
  std::istringstream in(Bytes("MLP\x03\x00\x07\x00", 7) + kSmallBlock);
  NetworkLoadResult result = readNetworkFile(in);
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(result.network->neurons[0][0]->weights[2], 2.0);
}

TEST(NetworkFile, WrongMagicIsRefusedBeforeTheVersion) {
  std::istringstream in(Bytes("MLQ\x09\x00\x00\x00", 7) + kSmallBlock);
  NetworkLoadResult result = readNetworkFile(in);
  EXPECT_EQ(result.error, NetworkFileError::NotMlpFormat);
  EXPECT_EQ(result.message, "This file is not in Multilayer Perceptron format!");
  EXPECT_EQ(result.network, nullptr);

  std::istringstream shortFile("ML");
  EXPECT_EQ(readNetworkFile(shortFile).error, NetworkFileError::NotMlpFormat);
}

TEST(NetworkFile, OnlyMajorVersionThreeIsRead) {
  for (char major : {'\x02', '\x04'}) {
    std::istringstream in(Bytes("MLP", 3) + major + Bytes("\x00\x00\x00", 3) + kSmallBlock);
    NetworkLoadResult result = readNetworkFile(in);
    EXPECT_EQ(result.error, NetworkFileError::WrongVersion);
    EXPECT_EQ(result.message, "The version of this file isn't 3.0!");
  }
  // 0x0103 is not 3 either: the version is a 16-bit value.
  std::istringstream high(Bytes("MLP\x03\x01\x00\x00", 7) + kSmallBlock);
  EXPECT_EQ(readNetworkFile(high).error, NetworkFileError::WrongVersion);
}

TEST(NetworkFile, BlockErrorsCarryTheirException) {
  Bytes bytes = Bytes("MLP\x03\x00\x00\x00", 7) + kSmallBlock;
  bytes.back() = '#';
  std::istringstream in(bytes);
  NetworkLoadResult result = readNetworkFile(in);
  EXPECT_EQ(result.error, NetworkFileError::BlockError);
  EXPECT_EQ(result.message, "data format doesn't match to expected one");
  EXPECT_EQ(result.network, nullptr);
  ASSERT_TRUE(result.exception);
  EXPECT_THROW(std::rethrow_exception(result.exception), IllegalDataFormatException);

  Bytes badOrder = Bytes("MLP\x03\x00\x00\x00", 7) + kSmallBlock;
  putInt32(badOrder, 7 + 13, 5);
  std::istringstream orderIn(badOrder);
  result = readNetworkFile(orderIn);
  EXPECT_EQ(result.error, NetworkFileError::BlockError);
  EXPECT_THROW(std::rethrow_exception(result.exception), IllegalOrderException);

  std::istringstream noVersion(Bytes("MLP\x03", 4));
  EXPECT_EQ(readNetworkFile(noVersion).error, NetworkFileError::BlockError);
}

// --- refusing bad blocks -------------------------------------------------------------------------

TEST(NetworkBlock, WrongMarkersAreRefused) {
  Bytes closing = kSmallBlock;
  closing.back() = '+';
  try {
    readBlock(closing);
    FAIL() << "accepted a bad closing marker";
  } catch (const IllegalDataFormatException& e) {
    EXPECT_STREQ(e.what(), "data format doesn't match to expected one");
  }
  Bytes opening = kSmallBlock;
  opening[0] = '&';
  EXPECT_THROW(readBlock(opening), IllegalDataFormatException);
}

// Cut the block after every byte: each prefix must be refused as a format error, whichever field
// it ends in, on a sized stream (checked up front) and on an unsized one (checked read by read).
TEST(NetworkBlock, EveryTruncationIsAFormatError) {
  const Bytes bytes = blockOf(*mixedNetwork());
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    const Bytes prefix = bytes.substr(0, length);
    EXPECT_THROW(readBlock(prefix), IllegalDataFormatException) << "sized, length " << length;
    EXPECT_THROW(readUnsized(prefix), IllegalDataFormatException) << "unsized, length " << length;
  }
  EXPECT_NO_THROW(readUnsized(bytes));
}

TEST(NetworkBlock, CountsBelowOneAreRefusedAsSizes) {
  // Offsets in the small block: inputs 1, layer count 5, neuron count 9, order 13, code 17.
  for (std::int32_t bad : {0, -1, std::numeric_limits<std::int32_t>::min()}) {
    for (std::size_t at : {1u, 5u, 9u}) {
      Bytes bytes = kSmallBlock;
      putInt32(bytes, at, bad);
      EXPECT_THROW(readBlock(bytes), IllegalSizeException) << "value " << bad << " at " << at;
    }
  }
  for (std::int32_t order : {0, 4, -3}) {
    Bytes bytes = kSmallBlock;
    putInt32(bytes, 13, order);
    EXPECT_THROW(readBlock(bytes), IllegalOrderException) << order;
  }
}

// Counts that claim more weights than the rest of the stream holds are refused before anything
// is allocated (a successful allocation of these would need terabytes).
TEST(NetworkBlock, AbsurdCountsAreRefusedBeforeAllocating) {
  const std::int32_t huge = std::numeric_limits<std::int32_t>::max();
  for (std::size_t at : {1u, 5u, 9u}) {
    Bytes bytes = kSmallBlock;
    putInt32(bytes, at, huge);
    EXPECT_THROW(readBlock(bytes), IllegalDataFormatException) << at;
  }
  Bytes cubic = kSmallBlock;
  putInt32(cubic, 1, 1 << 20);
  putInt32(cubic, 13, 3);
  EXPECT_THROW(readBlock(cubic), IllegalDataFormatException);

  // A stream that cannot tell its size still refuses them, as too large.
  Bytes many = kSmallBlock;
  putInt32(many, 1, huge);
  EXPECT_THROW(readUnsized(many), IllegalSizeException);
  EXPECT_THROW(readUnsized(cubic), IllegalSizeException);
}

// Every single-byte corruption either reads or throws a member of the MyException family; nothing
// else escapes (run under the sanitizers, this also shows that nothing is read out of bounds).
TEST(NetworkBlock, SingleByteCorruptionsFailCleanly) {
  const Bytes bytes = blockOf(*makeNetwork(2, {2, 1}, {2, 3}, {'t', 'l'}));
  const unsigned char replacements[] = {0x00, 0x01, 0x03, 0x2A, 0x7F, 0x80, 0xFF};
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    for (unsigned char value : replacements) {
      Bytes corrupted = bytes;
      corrupted[at] = static_cast<char>(value);
      try {
        readBlock(corrupted);
      } catch (const MyException&) {
      } catch (...) {
        ADD_FAILURE() << "foreign exception, byte " << at << " = " << int(value);
      }
    }
  }
}

// --- files on disk --------------------------------------------------------------------------------

TEST(NetworkFileOnDisk, SaveAndLoadRoundTrip) {
  TempDir dir;
  const std::string path = dir.file("net.mlp");
  auto net = mixedNetwork();
  NetworkSaveResult saved = saveNetworkFile(*net, path);
  ASSERT_TRUE(saved.ok()) << saved.message;
  NetworkLoadResult loaded = loadNetworkFile(path);
  ASSERT_TRUE(loaded.ok()) << loaded.message;
  const std::vector<double> a = allWeights(*net), b = allWeights(*loaded.network);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(double)), 0);
  EXPECT_EQ(std::filesystem::file_size(path), 7 + blockOf(*net).size());
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(NetworkFileOnDisk, SavingReplacesAnOlderFile) {
  TempDir dir;
  const std::string path = dir.file("net.mlp");
  std::ofstream(path) << "an older, longer file that must be replaced entirely";
  ASSERT_TRUE(saveNetworkFile(*smallNetwork(), path).ok());
  EXPECT_EQ(std::filesystem::file_size(path), 50u);
}

TEST(NetworkFileOnDisk, OpenFailuresNameThePath) {
  TempDir dir;
  const std::string missing = dir.file("none.mlp");
  NetworkLoadResult loaded = loadNetworkFile(missing);
  EXPECT_EQ(loaded.error, NetworkFileError::CannotOpen);
  EXPECT_EQ(loaded.message, "Can't open file " + missing);

  const std::string noFolder = dir.file("no/such/folder/net.mlp");
  NetworkSaveResult saved = saveNetworkFile(*smallNetwork(), noFolder);
  EXPECT_EQ(saved.error, NetworkFileError::CannotOpen);
  EXPECT_EQ(saved.message, "Can't open file " + noFolder);
}

// Refused even for a privileged process, which the permission check alone would let through.
TEST(NetworkFileOnDisk, ReadOnlyFileIsNeitherWrittenNorReplaced) {
  TempDir dir;
  const std::string path = dir.file("kept.mlp");
  std::ofstream(path) << "keep me";
  ::chmod(path.c_str(), S_IRUSR);
  NetworkSaveResult saved = saveNetworkFile(*smallNetwork(), path);
  EXPECT_EQ(saved.error, NetworkFileError::CannotOpen);
  EXPECT_EQ(saved.message, "Can't open file " + path);
  std::ifstream in(path);
  std::string content;
  std::getline(in, content);
  EXPECT_EQ(content, "keep me");
}

}  // namespace
