#include "tests/support/test_support.h"

#include <cstdlib>
#include <random>

namespace lumivane::test {
namespace {

std::string envOr(const char* name, const std::string& fallback) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : fallback;
}

}  // namespace

TempDir::TempDir() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("lumivane-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

ConfigHomeScope::ConfigHomeScope() {
  if (const char* v = std::getenv("XDG_CONFIG_HOME")) {
    previous_ = v;
    hadPrevious_ = true;
  }
  setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1);
}

ConfigHomeScope::~ConfigHomeScope() {
  if (hadPrevious_)
    setenv("XDG_CONFIG_HOME", previous_.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
}

void PromptedTest::TearDown() {
  for (const auto& u : prompter.unexpected()) ADD_FAILURE() << u;
}

std::string samplePath(const std::string& name) {
  return envOr("LUMIVANE_SAMPLES", LUMIVANE_SOURCE_DIR "/samples") + "/" + name;
}

std::string testDataPath(const std::string& name) {
  return envOr("LUMIVANE_TEST_DATA", LUMIVANE_SOURCE_DIR "/tests/data") + "/" + name;
}

}  // namespace lumivane::test
