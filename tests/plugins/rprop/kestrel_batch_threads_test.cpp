// The batch program's --threads for kestrel: the count goes through the plug-in's dialog, so it is
// range-checked like typed input, and it never changes the trained network.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plugins/rprop/resilient_network_state.h"
#include "tests/batch/batch_process.h"
#include "tests/support/test_support.h"

namespace {

using batch_test::ProcessResult;
using batch_test::readAll;
using lumivane::test::samplePath;
using lumivane::test::TempDir;

// Ten measurements of the diabetes sample predicting its progression through eight third-order
// hidden neurons: per epoch 442 rows × 2297 weights, well above the work that makes kestrel share
// an epoch among two threads.
constexpr int kInputs = 10, kHidden = 8, kRows = 442;
constexpr long long kWeights =
    kHidden * (kInputs + 1 + kInputs * (kInputs + 1) / 2 + kInputs * (kInputs + 1) * (kInputs + 2) / 6) +
    kHidden + 1;
static_assert(kRows * kWeights >= 2 * ResilientNetworkState::kMinWorkPerThread);

class KestrelBatchThreadsTest : public ::testing::Test {
 protected:
  ProcessResult train(const std::string& threads, const std::string& network) {
    return batch_test::runBatch(
        {"vantor",        "--quiet", "--data",    samplePath("diabetes.csv"),
         "--columns",     "B-L",     "--inputs",  "age,sex,bmi,bp,s1_tc,s2_ldl,s3_hdl,s4_tch,s5_ltg,s6_glu",
         "--input-norm",  "meanvar", "--outputs", "progression",
         "--output-norm", "minmax",  "--net",     std::to_string(kHidden) + "t3,1l1",
         "--epochs",      "12",      "--threads", threads,
         "--save-net",    network},
        work.path(), logs.path());
  }

  lumivane::test::ConfigHomeScope config;
  TempDir work, logs;
};

TEST_F(KestrelBatchThreadsTest, OneAndTwoThreadsSaveTheSameNetworkBytes) {
  const ProcessResult one = train("1", "one.mlp");
  ASSERT_EQ(one.exitCode, 0) << one.err;
  const ProcessResult two = train("2", "two.mlp");
  ASSERT_EQ(two.exitCode, 0) << two.err;
  const std::string a = readAll(work.path() / "one.mlp"), b = readAll(work.path() / "two.mlp");
  ASSERT_GT(a.size(), std::size_t(kWeights) * sizeof(double));
  EXPECT_TRUE(a == b) << "the networks trained with one and two threads differ";
}

TEST_F(KestrelBatchThreadsTest, ACountOutsideOneToSixtyFourIsRefusedWithTheDialogsMessage) {
  for (const char* wrong : {"0", "65"}) {
    const ProcessResult r = train(wrong, "never.mlp");
    EXPECT_EQ(r.exitCode, 1) << wrong;
    EXPECT_NE(r.err.find("Please enter an integer between 1 and 64."), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(work.path() / "never.mlp"));
  }
}

}  // namespace
