#include "platform/prompter.h"

#include <gtest/gtest.h>

#include "platform/scripted_prompter.h"

namespace {

using platform::ScriptedPrompter;

class CountingDialog : public platform::ModalDialog {
 public:
  std::string dialogTitle() const override { return "Select algorithm"; }
  int execModal() override { return platform::IDOK; }
  int value = 0;
};

TEST(Prompter, DefaultPrompterRefusesSafely) {
  auto& p = platform::prompter();
  EXPECT_EQ(p.messageBox("text", "caption", platform::MB_OK), platform::IDOK);
  EXPECT_EQ(p.messageBox("sure?", "caption", platform::MB_YESNO | platform::MB_ICONQUESTION), platform::IDNO);
  EXPECT_EQ(p.messageBox("go on?", "caption", platform::MB_OKCANCEL), platform::IDCANCEL);
  EXPECT_FALSE(p.fileDialog({}).has_value());
  CountingDialog d;
  EXPECT_EQ(p.runModal(d), platform::IDCANCEL);
}

TEST(Prompter, ScopeInstallsAndRestores) {
  ScriptedPrompter scripted;
  {
    platform::PrompterScope scope(scripted);
    scripted.answerMessage(platform::IDYES);
    EXPECT_EQ(platform::prompter().messageBox("Delete?", "Gridwise", platform::MB_YESNO), platform::IDYES);
  }
  EXPECT_NE(&platform::prompter(), &scripted);
  ASSERT_EQ(scripted.calls().size(), 1u);
}

TEST(ScriptedPrompter, RecordsTextCaptionIconAndButtons) {
  ScriptedPrompter p;
  p.answerMessage(platform::IDOK);
  p.messageBox("Out of memory", "VANTOR3",
               platform::MB_OK | platform::MB_ICONERROR | platform::MB_SYSTEMMODAL);
  auto calls = p.messages();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].text, "Out of memory");
  EXPECT_EQ(calls[0].caption, "VANTOR3");
  EXPECT_EQ(calls[0].icon(), static_cast<unsigned>(platform::MB_ICONERROR));
  EXPECT_EQ(calls[0].buttons(), static_cast<unsigned>(platform::MB_OK));
  EXPECT_TRUE(calls[0].flags & platform::MB_SYSTEMMODAL);
  EXPECT_TRUE(p.unexpected().empty());
}

TEST(ScriptedPrompter, UnexpectedOrMismatchedCallsAreReported) {
  ScriptedPrompter p;
  EXPECT_EQ(p.messageBox("Stop?", "x", platform::MB_YESNO), platform::IDNO);
  p.answerFile(std::string("/tmp/a.mlp"));
  EXPECT_EQ(p.messageBox("Again?", "x", platform::MB_OK), platform::IDOK);  // script wants a file dialog
  auto u = p.unexpected();
  ASSERT_EQ(u.size(), 2u);
  EXPECT_NE(u[1].find("script expected a file dialog"), std::string::npos);
  EXPECT_EQ(p.pendingAnswers(), 1u);
}

TEST(ScriptedPrompter, FileColourAndModalAnswers) {
  ScriptedPrompter p;
  p.answerFile(std::string("/tmp/net.mlp"));
  p.answerFile(std::nullopt);
  p.answerColour(platform::Rgb{10, 20, 30});
  p.answerModal([](platform::ModalDialog& d) {
    static_cast<CountingDialog&>(d).value = 42;
    return platform::IDOK;
  });
  platform::FileDialogRequest req;
  req.save = true;
  req.filter = "Network files (*.mlp)|*.mlp||";
  req.fileName = "net";
  EXPECT_EQ(p.fileDialog(req), std::optional<std::string>("/tmp/net.mlp"));
  EXPECT_FALSE(p.fileDialog(req).has_value());
  EXPECT_EQ(p.chooseColour({}), (std::optional<platform::Rgb>(platform::Rgb{10, 20, 30})));
  CountingDialog d;
  EXPECT_EQ(p.runModal(d), platform::IDOK);
  EXPECT_EQ(d.value, 42);
  EXPECT_EQ(p.lastFileRequest()->filter, "Network files (*.mlp)|*.mlp||");
  EXPECT_TRUE(p.unexpected().empty());
}

TEST(FileFilter, ParsesPairsUpToTheDoubleBar) {
  auto f = platform::parseFileFilter("Network files (*.mlp)|*.mlp|All files (*.*)|*.*||");
  ASSERT_EQ(f.size(), 2u);
  EXPECT_EQ(f[0].first, "Network files (*.mlp)");
  EXPECT_EQ(f[0].second, "*.mlp");
  EXPECT_EQ(f[1].second, "*.*");
  EXPECT_TRUE(platform::parseFileFilter("").empty());
}

}  // namespace
