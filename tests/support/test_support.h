#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/scripted_prompter.h"

namespace lumivane::test {

// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Points XDG_CONFIG_HOME at a temporary folder for one scope, restoring it afterwards.
class ConfigHomeScope {
 public:
  ConfigHomeScope();
  ~ConfigHomeScope();
  const std::filesystem::path& path() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// Fixture for code that raises message boxes or dialogs: installs a scripted prompter and
// fails the test on any box the script did not expect.
class PromptedTest : public ::testing::Test {
 protected:
  PromptedTest() : scope_(prompter) {}
  void TearDown() override;

  platform::ScriptedPrompter prompter;

 private:
  platform::PrompterScope scope_;
};

// Full path of a shipped sample table (samples/NAME).
std::string samplePath(const std::string& name);
// Full path of a test fixture (tests/data/NAME).
std::string testDataPath(const std::string& name);

}  // namespace lumivane::test
