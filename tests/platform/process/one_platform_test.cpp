// One platform per process, seen from a program linked as the lumivane host: it loads a tool
// library with RTLD_LOCAL, and the tool loads plug-ins of its own (a probe and the real kestrel).
// Every module must reach the host's prompter, the one generator, the one host window and the
// one running-object table; a module with its own static copy of the platform would not.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/active_object.h"
#include "platform/dispatch.h"
#include "platform/dynamic_library.h"
#include "platform/host_window.h"
#include "platform/random.h"
#include "tests/support/test_support.h"

namespace {

using platform::IDCANCEL;
using platform::IDNO;
using platform::IDOK;
using platform::IDYES;

// The runtime's classic generator, written out here independently of platform/random.cpp.
std::vector<int> referenceDraws(std::uint32_t seed, int count) {
  std::vector<int> draws;
  for (int i = 0; i < count; ++i) {
    seed = seed * 214013u + 2531011u;
    draws.push_back(static_cast<int>((seed >> 16) & 0x7FFF));
  }
  return draws;
}

class OnePlatformTest : public lumivane::test::PromptedTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(tool.load(PROBE_TOOL)) << tool.lastError();
    ASSERT_EQ(call<int (*)(const char*)>("probeToolLoadPlugin")(PROBE_PLUGIN), 1);
  }
  void TearDown() override {
    if (tool.loaded()) call<void (*)()>("probeToolUnload")();
    PromptedTest::TearDown();
  }

  template <class F>
  F call(const char* name) {
    auto f = reinterpret_cast<F>(tool.symbol(name));
    if (!f) ADD_FAILURE() << name << ": " << tool.lastError();
    return f;
  }

  platform::DynamicLibrary tool;
};

TEST_F(OnePlatformTest, MessageBoxesFromTheToolAndItsPlugInReachTheHostsPrompter) {
  prompter.answerMessage(IDCANCEL);
  prompter.answerMessage(IDYES);
  EXPECT_EQ(call<int (*)(const char*)>("probeToolAsk")("from the tool"), IDCANCEL);
  EXPECT_EQ(call<int (*)(const char*)>("probeToolPluginAsk")("from the plug-in"), IDYES);

  const auto boxes = prompter.messages();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "from the tool");
  EXPECT_EQ(boxes[0].caption, "probe tool");
  EXPECT_EQ(boxes[0].icon(), platform::MB_ICONWARNING);
  EXPECT_EQ(boxes[1].text, "from the plug-in");
  EXPECT_EQ(boxes[1].caption, "probe plug-in");
  EXPECT_EQ(boxes[1].buttons(), platform::MB_YESNO);
  // A prompter the host installs later is the one the plug-in reaches next.
  {
    platform::ScriptedPrompter other;
    platform::PrompterScope scope(other);
    other.answerMessage(IDYES);
    EXPECT_EQ(call<int (*)(const char*)>("probeToolPluginAsk")("to the other"), IDYES);
    ASSERT_EQ(other.messages().size(), 1u);
  }
  EXPECT_EQ(prompter.messages().size(), 2u);
}

TEST_F(OnePlatformTest, KestrelsParameterDialogRunsThroughTheHostsPrompter) {
#ifdef KESTREL_LIBRARY
  std::string shown;
  prompter.answerModal([&](platform::ModalDialog& dialog) {
    shown = dialog.dialogTitle();
    return IDOK;
  });
  prompter.answerModal([](platform::ModalDialog&) { return IDCANCEL; });
  auto edit = call<int (*)(const char*)>("probeToolEditKestrelParameters");
  EXPECT_EQ(edit(KESTREL_LIBRARY), 1);
  EXPECT_EQ(shown, "Rprop parameters");
  EXPECT_EQ(edit(KESTREL_LIBRARY), 0);
  EXPECT_EQ(prompter.pendingAnswers(), 0u);
#else
  GTEST_SKIP() << "kestrel is not part of this build";
#endif
}

TEST_F(OnePlatformTest, DrawsOfEveryModuleAdvanceOneSequence) {
  constexpr std::uint32_t kSeed = 20261209u;
  platform::crtSrand(kSeed);
  auto toolDraw = call<int (*)()>("probeToolDraw");
  auto pluginDraw = call<int (*)()>("probeToolPluginDraw");
  std::vector<int> draws;
  draws.push_back(platform::crtRand());
  draws.push_back(toolDraw());
  draws.push_back(pluginDraw());
  draws.push_back(pluginDraw());
  draws.push_back(platform::crtRand());
  draws.push_back(toolDraw());
  EXPECT_EQ(draws, referenceDraws(kSeed, 6));
  platform::crtSrand(1);
}

platform::LRESULT hostOwnProcedure(platform::HostWindow&, platform::UINT message, platform::WPARAM,
                                   platform::LPARAM) {
  return -static_cast<platform::LRESULT>(message);
}

class Application final : public platform::Dispatch {
 public:
  platform::HRESULT invoke(std::string_view, unsigned short, std::span<const platform::Variant>,
                           platform::Variant*, platform::ExcepInfo*) override {
    return platform::DISP_E_MEMBERNOTFOUND;
  }
};

TEST_F(OnePlatformTest, TheToolSubclassesTheHostsWindowAndFindsItsRunningObject) {
  platform::QueuedMessageLoop loop;
  platform::HostWindow window(&hostOwnProcedure, loop);
  platform::HostWindow* previous = platform::setHostWindow(&window);
  EXPECT_EQ(call<void* (*)()>("probeToolHostWindow")(), &window);

  ASSERT_EQ(call<int (*)()>("probeToolSubclassHostWindow")(), 1);
  constexpr platform::UINT kToolRequest = platform::WM_USER + 1737;
  EXPECT_EQ(window.send(kToolRequest), 1737);  // answered inside the tool
  EXPECT_EQ(window.send(platform::WM_CLOSE), -static_cast<platform::LRESULT>(platform::WM_CLOSE));
  call<void (*)()>("probeToolRestoreHostWindow")();
  EXPECT_EQ(window.procedure(), &hostOwnProcedure);
  platform::setHostWindow(previous);

  auto application = platform::makeRef<Application>();
  {
    auto registration = platform::registerActiveObject(platform::kSpreadsheetProgId, application.get());
    EXPECT_EQ(call<void* (*)(const char*)>("probeToolRunningObject")("excel.application"), application.get());
  }
  EXPECT_EQ(call<void* (*)(const char*)>("probeToolRunningObject")("excel.application"), nullptr);
}

}  // namespace
