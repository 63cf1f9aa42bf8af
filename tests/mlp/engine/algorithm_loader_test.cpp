#include "mlp/engine/algorithm_loader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/test_support.h"

namespace {

using platform::ScriptedPrompter;

// Runs a test inside a folder of its own, because methinfo is read from the current directory.
class CurrentDirectoryScope {
 public:
  explicit CurrentDirectoryScope(const std::filesystem::path& dir)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~CurrentDirectoryScope() { std::filesystem::current_path(previous_); }

 private:
  std::filesystem::path previous_;
};

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary);
  out << content;
}

class AlgorithmLoaderTest : public lumivane::test::PromptedTest {
 protected:
  lumivane::test::TempDir work;     // current directory of the test
  lumivane::test::TempDir install;  // stands in for the folder beside the library
  CurrentDirectoryScope cwd{work.path()};
  AlgorithmLoader loader{install.path().string()};

  void expectBox(std::size_t index, const std::string& text, unsigned icon) {
    auto boxes = prompter.messages();
    ASSERT_LT(index, boxes.size());
    EXPECT_EQ(boxes[index].text, text);
    EXPECT_EQ(boxes[index].caption, "Noncritical error");
    EXPECT_EQ(boxes[index].icon(), icon);
    EXPECT_EQ(boxes[index].buttons(), platform::MB_OK);
    EXPECT_TRUE(boxes[index].flags & platform::MB_SYSTEMMODAL);
  }
};

TEST_F(AlgorithmLoaderTest, MissingListIsReportedOnceAndLeavesNothingSelected) {
  prompter.answerMessage(platform::IDOK);
  loader.LoadAlgorithms();
  ASSERT_EQ(prompter.messages().size(), 1u);
  expectBox(0, "Can't find necessary file methinfo ", platform::MB_ICONINFORMATION);
  EXPECT_TRUE(loader.algorithms.empty());
  EXPECT_TRUE(loader.libraries.empty());
  EXPECT_EQ(loader.selectedAlgorithm, -1);
  EXPECT_EQ(loader.Selected(), nullptr);
}

TEST_F(AlgorithmLoaderTest, EmptyListLoadsNothingSilently) {
  writeFile(work.file("methinfo"), "");
  loader.LoadAlgorithms();
  EXPECT_TRUE(prompter.messages().empty());
  EXPECT_TRUE(loader.algorithms.empty());
  EXPECT_EQ(loader.selectedAlgorithm, -1);

  writeFile(work.file("methinfo"), " \n\t\n");
  loader.LoadAlgorithms();
  EXPECT_TRUE(prompter.messages().empty());
  EXPECT_EQ(loader.selectedAlgorithm, -1);
}

TEST_F(AlgorithmLoaderTest, EveryNameIsTriedOnceInFileOrderAndEachFailureHasItsBox) {
  // Blanks, tabs and line breaks all separate names; the trailing break adds no entry.
  writeFile(work.file("methinfo"), "libmissing-a.so\tlibm.so.6\n  ./libmissing-b.so\n");
  for (int i = 0; i < 3; ++i) prompter.answerMessage(platform::IDOK);
  loader.LoadAlgorithms();
  ASSERT_EQ(prompter.messages().size(), 3u);
  expectBox(0, "Dll libmissing-a.so specified in file methinfo not found", platform::MB_ICONWARNING);
  // The maths library loads but exports no getAlgorithm.
  expectBox(1, "algorithm from dll libm.so.6 can't be loaded", platform::MB_ICONWARNING);
  expectBox(2, "Dll ./libmissing-b.so specified in file methinfo not found", platform::MB_ICONWARNING);
  EXPECT_TRUE(loader.algorithms.empty());
  EXPECT_TRUE(loader.libraries.empty());
  EXPECT_EQ(loader.selectedAlgorithm, -1);
}

TEST_F(AlgorithmLoaderTest, OverLongNamesAreRefusedWithoutOverrunningAnything) {
  const std::string exactly99(AlgorithmLoader::kMaxNameLength, 'a');
  const std::string longer = std::string(100, 'b') + std::string(5000, 'c');
  writeFile(work.file("methinfo"), exactly99 + "\n" + longer + "\n" + "libm.so.6");
  for (int i = 0; i < 3; ++i) prompter.answerMessage(platform::IDOK);
  loader.LoadAlgorithms();
  ASSERT_EQ(prompter.messages().size(), 3u);
  // 99 characters is still a name the loader tries.
  expectBox(0, "Dll " + exactly99 + " specified in file methinfo not found", platform::MB_ICONWARNING);
  expectBox(1, "Dll " + std::string(99, 'b') + "... specified in file methinfo not found",
            platform::MB_ICONWARNING);
  // Reading goes on after the long name, at the next one.
  expectBox(2, "algorithm from dll libm.so.6 can't be loaded", platform::MB_ICONWARNING);
}

TEST_F(AlgorithmLoaderTest, ListInTheCurrentDirectoryWinsOverTheInstalledOne) {
  writeFile(install.file("methinfo"), "libinstalled-missing.so");
  prompter.answerMessage(platform::IDOK);
  loader.LoadAlgorithms();
  expectBox(0, "Dll libinstalled-missing.so specified in file methinfo not found", platform::MB_ICONWARNING);

  writeFile(work.file("methinfo"), "libcurrent-missing.so");
  prompter.answerMessage(platform::IDOK);
  loader.LoadAlgorithms();
  ASSERT_EQ(prompter.messages().size(), 2u);
  expectBox(1, "Dll libcurrent-missing.so specified in file methinfo not found", platform::MB_ICONWARNING);
}

TEST_F(AlgorithmLoaderTest, BareNamesAreLookedForInTheInstallFolderFirst) {
  // A file that is no library, installed under a bare name: the loader must pick this path
  // (and fail on it) instead of finding nothing along the usual path.
  writeFile(install.file("libm.so.6"), "not a library");
  writeFile(work.file("methinfo"), "libm.so.6");
  prompter.answerMessage(platform::IDOK);
  loader.LoadAlgorithms();
  expectBox(0, "Dll libm.so.6 specified in file methinfo not found", platform::MB_ICONWARNING);
}

TEST(AlgorithmLoaderDefaults, InstallFolderIsTheFolderOfTheModuleHoldingTheLoader) {
  // Linked statically into this test program, the loader's module is the program itself.
  AlgorithmLoader loader;
  EXPECT_EQ(std::filesystem::path(loader.installFolder()),
            std::filesystem::canonical("/proc/self/exe").parent_path());
  EXPECT_EQ(loader.selectedAlgorithm, -1);
  loader.SelectAlgorithm(0);  // nothing loaded: selects none and detaches nothing
  EXPECT_EQ(loader.selectedAlgorithm, -1);
}

}  // namespace
