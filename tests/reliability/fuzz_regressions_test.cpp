// Every input kept from fuzzing, under tests/data/fuzz-regressions/<harness>/, fed once more to
// the entry point of the harness that found it: what once crashed, hung or broke an invariant
// must now be read, or refused, cleanly. Built with the suite's compiler (and its sanitizers in
// a sanitized build), so the normal test run replays them without the fuzzer.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace fs = std::filesystem;

using EntryPoint = int (*)(const std::uint8_t*, std::size_t);

extern "C" {
int replay_grammars(const std::uint8_t*, std::size_t);
int replay_network(const std::uint8_t*, std::size_t);
int replay_vantor_project(const std::uint8_t*, std::size_t);
int replay_gridwise_project(const std::uint8_t*, std::size_t);
int replay_data_sets(const std::uint8_t*, std::size_t);
int replay_methinfo(const std::uint8_t*, std::size_t);
int replay_registry(const std::uint8_t*, std::size_t);
int replay_workbook(const std::uint8_t*, std::size_t);
int replay_workbook_transfer(const std::uint8_t*, std::size_t);
#ifdef LUMIVANE_REPLAY_BATCH_JOB
int replay_batch_job(const std::uint8_t*, std::size_t);
#endif
}

namespace {

struct Harness {
  const char* name;
  EntryPoint entry;
};

const Harness kHarnesses[] = {
    {"grammars", replay_grammars},
    {"network", replay_network},
    {"vantor_project", replay_vantor_project},
    {"gridwise_project", replay_gridwise_project},
    {"data_sets", replay_data_sets},
    {"methinfo", replay_methinfo},
    {"registry", replay_registry},
    {"workbook", replay_workbook},
    {"workbook_transfer", replay_workbook_transfer},
#ifdef LUMIVANE_REPLAY_BATCH_JOB
    {"batch_job", replay_batch_job},
#endif
};

fs::path regressionsFolder() {
  return lumivane::test::testDataPath("fuzz-regressions");
}

// The kept inputs of one harness in name order; notes beside them (*.md) are not inputs.
std::vector<fs::path> keptInputs(const std::string& harness) {
  std::vector<fs::path> inputs;
  const fs::path folder = regressionsFolder() / harness;
  if (!fs::is_directory(folder)) return inputs;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file() && entry.path().extension() != ".md") inputs.push_back(entry.path());
  std::sort(inputs.begin(), inputs.end());
  return inputs;
}

// The harness by its name in test output, not by its bytes.
void PrintTo(const Harness& harness, std::ostream* out) {
  *out << harness.name;
}

class FuzzRegressionTest : public ::testing::TestWithParam<Harness> {};

TEST_P(FuzzRegressionTest, KeptInputsAreHandledCleanly) {
  ASSERT_TRUE(fs::is_directory(regressionsFolder())) << regressionsFolder() << " is missing";
  const std::vector<fs::path> inputs = keptInputs(GetParam().name);
  if (inputs.empty()) GTEST_SKIP() << "nothing kept for " << GetParam().name;
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    ASSERT_TRUE(in) << input;
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    // A crash takes the suite down: the last line printed names the input.
    std::cout << "replaying " << input.filename().string() << " (" << bytes.size() << " bytes)" << std::endl;
    EXPECT_EQ(GetParam().entry(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), 0)
        << input;
  }
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzRegressionTest, ::testing::ValuesIn(kHarnesses),
                         [](const ::testing::TestParamInfo<Harness>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
