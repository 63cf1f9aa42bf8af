#include "platform/dynamic_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

#include "tests/support/test_support.h"

namespace {

// The C maths library is on every system and exports plain C functions.
constexpr const char* kMathLibrary = "libm.so.6";

using CosFunction = double (*)(double);

TEST(DynamicLibraryTest, LoadsALibraryAndFindsItsExports) {
  platform::DynamicLibrary library;
  ASSERT_TRUE(library.load(kMathLibrary)) << library.lastError();
  EXPECT_TRUE(library.loaded());
  auto cosine = reinterpret_cast<CosFunction>(library.symbol("cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);

  EXPECT_EQ(library.symbol("getAlgorithm"), nullptr);
  EXPECT_FALSE(library.lastError().empty());
}

TEST(DynamicLibraryTest, MissingFilesAndNonLibrariesFailWithAReason) {
  platform::DynamicLibrary library;
  EXPECT_FALSE(library.load("libno-such-plugin-here.so"));
  EXPECT_FALSE(library.loaded());
  EXPECT_FALSE(library.lastError().empty());
  EXPECT_EQ(library.symbol("cos"), nullptr);

  lumivane::test::TempDir dir;
  std::FILE* f = std::fopen(dir.file("fake.so").c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("not a shared object\n", f);
  std::fclose(f);
  EXPECT_FALSE(library.load(dir.file("fake.so")));
  EXPECT_FALSE(library.lastError().empty());
}

TEST(DynamicLibraryTest, TwoLoadsShareOneMappingAndMovesTransferOwnership) {
  platform::DynamicLibrary first, second;
  ASSERT_TRUE(first.load(kMathLibrary));
  ASSERT_TRUE(second.load(kMathLibrary));
  EXPECT_EQ(first.handle(), second.handle());

  platform::DynamicLibrary moved(std::move(first));
  EXPECT_FALSE(first.loaded());
  EXPECT_TRUE(moved.loaded());
  moved.unload();
  // The second reference still keeps the library mapped.
  auto cosine = reinterpret_cast<CosFunction>(second.symbol("cos"));
  ASSERT_NE(cosine, nullptr);
  EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);

  second = std::move(moved);  // assigning an empty object unloads the old one
  EXPECT_FALSE(second.loaded());
}

TEST(DynamicLibraryTest, ModuleDirectoryNamesTheFolderOfTheModuleHoldingAnAddress) {
  namespace fs = std::filesystem;
  static int markerInThisProgram = 0;
  std::string own = platform::moduleDirectory(&markerInThisProgram);
  EXPECT_EQ(fs::path(own), fs::canonical("/proc/self/exe").parent_path());

  platform::DynamicLibrary library;
  ASSERT_TRUE(library.load(kMathLibrary));
  std::string maths = platform::moduleDirectory(library.symbol("cos"));
  ASSERT_FALSE(maths.empty());
  EXPECT_NE(maths, own);
  EXPECT_TRUE(fs::exists(fs::path(maths) / kMathLibrary)) << maths;
}

}  // namespace
