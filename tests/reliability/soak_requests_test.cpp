// Output requests from both tools' windows, carried to the host one after another and one
// inside another, a thousand times, with now and then a reader macro that never calls back:
// every request ends, none is left pending and neither tool stays busy.
#include "tests/shared/excel_test_support.h"

namespace bridge_test {
namespace {

using RequestSoak = BridgeTest;

TEST_F(RequestSoak, BothToolsRequestAThousandTimesAndLostRequestsFreeTheNext) {
  ExcelConnection& vantor = entered(Tool::Vantor);
  ExcelConnection& gridwise = entered(Tool::Gridwise);
  constexpr int kRounds = 1000;
  int lost = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    if (round % 100 == 99) {
      // The add-in has lost its reader: the macro runs nothing and never calls back.
      host->addIn().clearLibraries();
      RecordingRequest request(round % 200 == 99 ? vantor : gridwise, "Data.xlsx", "Sheet1");
      expectMessages(2);
      ASSERT_EQ((round % 200 == 99 ? vantor : gridwise).CallOnHostThread(request), HostCall::NotCarriedOut);
      ASSERT_TRUE(request.calls.empty());
      host->addIn().addLibrary([](const char* name) { return toolExport(name); });
      ++lost;
    } else {
      // Vantor's output writes while Gridwise's window asks for its own.
      RecordingRequest outer(vantor, "Data.xlsx", "Sheet1");
      RecordingRequest inner(gridwise, "Data.xlsx", "Sheet1");
      HostCall innerCall = HostCall::NotCarriedOut;
      outer.during = [&] { innerCall = gridwise.CallOnHostThread(inner); };
      ASSERT_EQ(vantor.CallOnHostThread(outer), HostCall::Done);
      ASSERT_NE(innerCall, HostCall::NotCarriedOut);
      ASSERT_EQ(outer.calls.size(), 1u);
      ASSERT_EQ(inner.calls.size(), 1u);
    }
    ASSERT_FALSE(vantor.busy());
    ASSERT_FALSE(gridwise.busy());
    ASSERT_EQ(vantor.pendingRequest(), nullptr);
    ASSERT_EQ(gridwise.pendingRequest(), nullptr);
  }
  EXPECT_EQ(lost, kRounds / 100);
  EXPECT_EQ(messages().size(), static_cast<std::size_t>(2 * lost));
}

}  // namespace
}  // namespace bridge_test
