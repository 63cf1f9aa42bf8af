#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/host_window.h"

namespace platform {
namespace {

// Messages that reached the window's own procedure, and what a subclassing procedure saw.
std::vector<UINT> ownMessages;
std::vector<UINT> hookedMessages;
WindowProc savedProcedure = nullptr;
constexpr UINT kRequest = WM_USER + 713;

LRESULT ownProcedure(HostWindow&, UINT message, WPARAM wParam, LPARAM) {
  ownMessages.push_back(message);
  return static_cast<LRESULT>(wParam) + 1;
}

// Handles the private request itself and passes everything on, as the tools' procedure does.
LRESULT hookProcedure(HostWindow& window, UINT message, WPARAM wParam, LPARAM lParam) {
  hookedMessages.push_back(message);
  if (message == WM_CLOSE) return 0;  // swallowed: the host stays open
  return CallWindowProc(savedProcedure, window, message, wParam, lParam);
}

class HostWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ownMessages.clear();
    hookedMessages.clear();
    savedProcedure = nullptr;
  }
  QueuedMessageLoop loop;
};

TEST_F(HostWindowTest, MessageNumbers) {
  EXPECT_EQ(WM_CLOSE, 0x0010u);
  EXPECT_EQ(WM_USER, 0x0400u);
  EXPECT_EQ(kRequest, 1737u);
}

TEST_F(HostWindowTest, SubclassingChainsAndRestores) {
  HostWindow window(&ownProcedure, loop);
  EXPECT_EQ(window.procedure(), &ownProcedure);
  savedProcedure = window.setProcedure(&hookProcedure);
  EXPECT_EQ(savedProcedure, &ownProcedure);
  EXPECT_EQ(window.procedure(), &hookProcedure);

  EXPECT_EQ(window.send(kRequest, 41), 42);  // passed on, result of the saved procedure
  EXPECT_EQ(window.send(WM_CLOSE), 0);
  EXPECT_EQ(hookedMessages, (std::vector<UINT>{kRequest, WM_CLOSE}));
  EXPECT_EQ(ownMessages, (std::vector<UINT>{kRequest}));

  EXPECT_EQ(window.setProcedure(nullptr), nullptr);  // refused
  EXPECT_EQ(window.procedure(), &hookProcedure);
  EXPECT_EQ(window.setProcedure(savedProcedure), &hookProcedure);
  window.send(WM_CLOSE);
  EXPECT_EQ(ownMessages, (std::vector<UINT>{kRequest, WM_CLOSE}));
}

TEST_F(HostWindowTest, PostedMessagesWaitForTheLoopInOrder) {
  HostWindow window(&ownProcedure, loop);
  window.post(WM_USER + 1);
  window.post(WM_CLOSE);
  EXPECT_TRUE(ownMessages.empty());
  EXPECT_EQ(loop.processPending(), 2);
  EXPECT_EQ(ownMessages, (std::vector<UINT>{WM_USER + 1, WM_CLOSE}));
}

TEST_F(HostWindowTest, PostedMessagesGoWithTheWindow) {
  {
    HostWindow window(&ownProcedure, loop);
    window.post(WM_CLOSE);
  }
  EXPECT_EQ(loop.processPending(), 1);
  EXPECT_TRUE(ownMessages.empty());
}

TEST_F(HostWindowTest, SendFromAnotherThreadRunsOnTheLoopThreadAndWaits) {
  HostWindow window(&ownProcedure, loop);
  std::atomic<LRESULT> result{-1};
  std::thread sender([&] { result = window.send(kRequest, 9); });
  ASSERT_TRUE(loop.waitForTask(5000));
  EXPECT_EQ(result.load(), -1);  // still blocked: the loop has not run the message yet
  EXPECT_EQ(loop.processPending(), 1);
  sender.join();
  EXPECT_EQ(result.load(), 10);
  EXPECT_EQ(ownMessages, (std::vector<UINT>{kRequest}));
}

TEST_F(HostWindowTest, ProcessWideInstallation) {
  HostWindow* before = hostWindow();
  {
    HostWindow window(&ownProcedure, loop);
    HostWindow* previous = setHostWindow(&window);
    EXPECT_EQ(hostWindow(), &window);
    setHostWindow(previous);
    setHostWindow(&window);
  }
  EXPECT_EQ(hostWindow(), nullptr);  // a window withdraws itself when it goes
  setHostWindow(before);
}

}  // namespace
}  // namespace platform
