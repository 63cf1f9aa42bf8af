#include "shared/binary_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "shared/exceptions.h"
#include "tests/support/test_support.h"

namespace {

std::string bytes(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) s.push_back(static_cast<char>(v));
  return s;
}

TEST(BinaryWriter, WritesLittleEndianFieldsByteForByte) {
  std::ostringstream out;
  BinaryWriter writer(out);
  writer.writeInt32(0x01020304);
  writer.writeInt32(-2);
  writer.writeUInt16(0xBEEF);
  writer.writeDouble(1.0);
  writer.writeDouble(-0.0);
  writer.writeTag("GW");
  writer.writeChar('*');
  writer.writeString("ab");
  EXPECT_TRUE(writer.good());
  const std::string expected = bytes({4, 3, 2, 1}) + bytes({0xFE, 0xFF, 0xFF, 0xFF}) + bytes({0xEF, 0xBE}) +
                               bytes({0, 0, 0, 0, 0, 0, 0xF0, 0x3F}) + bytes({0, 0, 0, 0, 0, 0, 0, 0x80}) +
                               "GW*" + bytes({2, 0, 0, 0}) + "ab";
  EXPECT_EQ(out.str(), expected);
}

TEST(BinaryReader, ReadsBackWhatTheWriterWrote) {
  const double values[] = {3.141592653589793, -1e-300, std::numeric_limits<double>::infinity(), 6.02e23};
  std::stringstream io;
  BinaryWriter writer(io);
  writer.writeInt32(std::numeric_limits<std::int32_t>::min());
  writer.writeInt32(std::numeric_limits<std::int32_t>::max());
  writer.writeUInt16(65535);
  writer.writeDoubles(values, 4);
  writer.writeTag("MLP1");
  writer.writeString("Column_0");

  BinaryReader reader(io);
  EXPECT_EQ(reader.readInt32("a"), std::numeric_limits<std::int32_t>::min());
  EXPECT_EQ(reader.readInt32("b"), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(reader.readUInt16("c"), 65535);
  double back[4];
  reader.readDoubles(back, 4, "d");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(back[i], values[i]);
  EXPECT_TRUE(reader.readTag("MLP1", "tag"));
  EXPECT_EQ(reader.readString("name", 100), "Column_0");
}

TEST(BinaryReader, ReadsNaNPayloadUnchanged) {
  std::stringstream io;
  BinaryWriter(io).writeDouble(std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(std::isnan(BinaryReader(io).readDouble("x")));
}

TEST(BinaryReader, TagMismatchIsReportedNotThrown) {
  std::stringstream io("GWDATX");
  BinaryReader reader(io);
  EXPECT_FALSE(reader.readTag("GWDATA", "tag"));
}

// Every field type cut short at every possible length throws the default format exception.
TEST(BinaryReader, ShortReadOfEveryFieldThrowsTheFormatMessage) {
  struct Field {
    std::size_t size;
    std::function<void(BinaryReader&)> read;
  };
  const Field fields[] = {
      {1, [](BinaryReader& r) { r.readChar("c"); }},
      {2, [](BinaryReader& r) { r.readUInt16("u"); }},
      {4, [](BinaryReader& r) { r.readInt32("i"); }},
      {8, [](BinaryReader& r) { r.readDouble("d"); }},
      {16,
       [](BinaryReader& r) {
         double v[2];
         r.readDoubles(v, 2, "v");
       }},
      {6, [](BinaryReader& r) { r.readTag("GWDATA", "t"); }},
  };
  for (const Field& field : fields) {
    for (std::size_t length = 0; length < field.size; ++length) {
      std::stringstream io(std::string(length, '\x01'));
      BinaryReader reader(io);
      try {
        field.read(reader);
        ADD_FAILURE() << "no exception for " << length << " of " << field.size << " bytes";
      } catch (const IllegalDataFormatException& e) {
        EXPECT_STREQ(e.what(), "data format doesn't match to expected one");
      }
    }
  }
}

TEST(BinaryReader, ShortReadThrowsTheHandlersException) {
  std::stringstream io("ab");
  BinaryReader reader(io, throwOnShortRead<BadProjectException>("The file is corrupted!"));
  try {
    reader.readInt32("count");
    FAIL();
  } catch (const BadProjectException& e) {
    EXPECT_STREQ(e.what(), "The file is corrupted!");
  }
}

TEST(BinaryReader, HandlerIsToldTheFieldAndAReturningHandlerStillThrows) {
  std::stringstream io("");
  std::string seen;
  BinaryReader reader(io, [&](std::string_view field) { seen = field; });
  EXPECT_THROW(reader.readDouble("projection matrix"), IllegalDataFormatException);
  EXPECT_EQ(seen, "projection matrix");
}

TEST(BinaryReader, RefusesStringLengthsBelowZeroOrAboveTheLimit) {
  for (std::int32_t length : {-1, 11}) {
    std::stringstream io;
    BinaryWriter(io).writeInt32(length);
    io << std::string(20, 'x');
    BinaryReader reader(io);
    EXPECT_THROW(reader.readString("name", 10), IllegalDataFormatException) << length;
  }
  std::stringstream io;
  BinaryWriter(io).writeInt32(5);
  io << "abc";  // promised 5, holds 3
  BinaryReader reader(io);
  EXPECT_THROW(reader.readString("name", 10), IllegalDataFormatException);
}

std::string fileContents(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A stream buffer that hands out its bytes but cannot seek, like a pipe.
class UnseekableBuffer : public std::streambuf {
 public:
  explicit UnseekableBuffer(std::string data) : data_(std::move(data)) {
    setg(data_.data(), data_.data(), data_.data() + data_.size());
  }

 private:
  std::string data_;
};

TEST(BinaryReader, BytesRemainingCountsToTheEndAndLeavesTheStreamAsItWas) {
  std::istringstream in(bytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  BinaryReader reader(in);
  EXPECT_EQ(reader.bytesRemaining(), 10u);
  EXPECT_EQ(reader.readChar("first"), 1);
  EXPECT_EQ(reader.readChar("second"), 2);
  EXPECT_EQ(reader.bytesRemaining(), 8u);
  EXPECT_EQ(reader.readChar("third"), 3);  // the position was kept
  char rest[7];
  reader.readBytes(rest, sizeof rest, "rest");
  EXPECT_EQ(reader.bytesRemaining(), 0u);
  EXPECT_TRUE(in.good());
  // With the end-of-file flag set the count is still 0, and the flag stays.
  EXPECT_EQ(in.peek(), std::char_traits<char>::eof());
  EXPECT_EQ(reader.bytesRemaining(), 0u);
  EXPECT_TRUE(in.eof());
  EXPECT_FALSE(in.fail());
  // After a failed read the stream cannot tell.
  EXPECT_THROW(reader.readChar("past the end"), IllegalDataFormatException);
  EXPECT_EQ(reader.bytesRemaining(), std::nullopt);

  UnseekableBuffer pipe(bytes({7, 0, 0, 0}));
  std::istream unseekable(&pipe);
  BinaryReader pipeReader(unseekable);
  EXPECT_EQ(pipeReader.bytesRemaining(), std::nullopt);
  EXPECT_EQ(pipeReader.readInt32("count"), 7);  // reading is not disturbed
}

TEST(WriteFileAtomically, RefusesAReadOnlyTargetWithoutCallingTheBody) {
  lumivane::test::TempDir dir;
  const auto target = dir.path() / "kept.gwp";
  std::ofstream(target) << "old";
  ASSERT_EQ(::chmod(target.c_str(), S_IRUSR | S_IRGRP | S_IROTH), 0);
  bool called = false;
  EXPECT_FALSE(writeFileAtomically(target, [&](std::ostream& out) {
    called = true;
    out << "new";
  }));
  EXPECT_FALSE(called);
  EXPECT_EQ(fileContents(target), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  // Write permission restored: replaced as usual.
  ASSERT_EQ(::chmod(target.c_str(), S_IRUSR | S_IWUSR), 0);
  EXPECT_TRUE(writeFileAtomically(target, [](std::ostream& out) { out << "new"; }));
  EXPECT_EQ(fileContents(target), "new");
}

TEST(WriteFileAtomically, ReplacesTheTargetOnlyWhenComplete) {
  lumivane::test::TempDir dir;
  const auto target = dir.path() / "project.gwp";
  std::ofstream(target) << "old";

  EXPECT_THROW(writeFileAtomically(target,
                                   [](std::ostream& out) {
                                     out << "half";
                                     throw IllegalDataFormatException("stop");
                                   }),
               IllegalDataFormatException);
  EXPECT_EQ(fileContents(target), "old");

  EXPECT_TRUE(writeFileAtomically(target, [](std::ostream& out) { BinaryWriter(out).writeTag("MLP1"); }));
  EXPECT_EQ(fileContents(target), "MLP1");
  // No temporary is left beside the target.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteFileAtomically, ReportsAFileThatCannotBeCreated) {
  lumivane::test::TempDir dir;
  EXPECT_FALSE(writeFileAtomically(dir.path() / "missing" / "x.vtp", [](std::ostream& out) { out << "x"; }));
}

TEST(WriteFileAtomically, ReportsAFailedStreamAndKeepsTheTarget) {
  lumivane::test::TempDir dir;
  const auto target = dir.path() / "net.mlp";
  std::ofstream(target) << "old";
  EXPECT_FALSE(writeFileAtomically(target, [](std::ostream& out) { out.setstate(std::ios::badbit); }));
  EXPECT_EQ(fileContents(target), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
