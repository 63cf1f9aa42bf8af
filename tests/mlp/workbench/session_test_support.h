#pragma once

// Helpers for driving a VantorSession through the scripted prompter: the dialogs' scripts, an
// observer that records what it was told, and a fixture that runs in a folder of its own with
// kestrel (when it is part of the build) listed in methinfo.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "mlp/workbench/vantor_session.h"
#include "tests/mlp/engine/training_run_test_support.h"
#include "tests/shared/data_set_test_tables.h"

namespace lumivane::test {

class RecordingObserver final : public VantorSessionObserver {
 public:
  void sessionChanged(unsigned changes) override { calls.push_back(changes); }
  bool told(unsigned change) const {
    for (unsigned c : calls)
      if (c & change) return true;
    return false;
  }
  std::vector<unsigned> calls;
};

inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Names of columns first..first+count−1 of a table.
inline std::vector<std::string> columnNames(const RawTable& table, int first, int count) {
  return std::vector<std::string>(table.columnNames.begin() + first,
                                  table.columnNames.begin() + first + count);
}

// Base is PromptedTest or a fixture derived from it (the host-backed one for output tests).
template <class Base>
class SessionFixtureOn : public Base {
 protected:
  using Base::prompter;

  void TearDown() override {
    if (session) {
      session->StopTraining();
      session->WaitForTrainingEnd();
    }
    session.reset();
    Base::TearDown();
  }

  // methinfo naming kestrel; false (nothing written) when kestrel is not part of this build.
  bool listKestrel() {
#ifdef KESTREL_LIBRARY
    std::ofstream(work.file("methinfo")) << KESTREL_LIBRARY << "\n";
    return true;
#else
    return false;
#endif
  }

  // A session on `t`, initialised. Without a methinfo the loader's box is expected.
  VantorSession& open(const RawTable& t) {
    if (!std::filesystem::exists(work.file("methinfo"))) prompter.answerMessage(platform::IDOK);
    session = std::make_unique<VantorSession>(t, work.path().string());
    EXPECT_TRUE(session->Initialise());
    session->addObserver(&observer);
    return *session;
  }

  // Scripts "Select inputs"/"Select outputs": the named columns, then, when a label is given,
  // "Normalization..." with that button.
  void scriptColumns(std::vector<std::string> names, std::optional<std::string> normalisation) {
    prompter.answerModal([names, normalisation](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<ColumnChoiceDialog&>(d);
      dialog.choose(names);
      if (normalisation) {
        EXPECT_TRUE(dialog.normalise());
      }
      return dialog.canAccept() ? platform::IDOK : platform::IDCANCEL;
    });
    if (normalisation)
      prompter.answerModal([label = *normalisation](platform::ModalDialog& d) {
        EXPECT_TRUE(dynamic_cast<NormalisationDialog&>(d).choose(label)) << label;
        return platform::IDOK;
      });
  }
  void selectInputs(std::vector<std::string> names, std::optional<std::string> normalisation = std::nullopt) {
    scriptColumns(std::move(names), std::move(normalisation));
    EXPECT_TRUE(session->SelectInputs());
  }
  void selectOutputs(std::vector<std::string> names,
                     std::optional<std::string> normalisation = std::nullopt) {
    scriptColumns(std::move(names), std::move(normalisation));
    EXPECT_TRUE(session->SelectOutputs());
  }

  // Scripts the Network Constructor: edit may change the dialog, then OK.
  void scriptConstructor(std::function<void(NetworkConstructorDialog&)> edit = {}) {
    prompter.answerModal([edit](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<NetworkConstructorDialog&>(d);
      if (edit) edit(dialog);
      return dialog.accept() ? platform::IDOK : platform::IDCANCEL;
    });
  }
  void createNetwork(std::function<void(NetworkConstructorDialog&)> edit = {}) {
    scriptConstructor(std::move(edit));
    EXPECT_TRUE(session->CreateNetwork());
  }

  void setCriteria(const StoppingCriteria& criteria) {
    prompter.answerModal([criteria](platform::ModalDialog& d) {
      dynamic_cast<StoppingCriteriaDialog&>(d).criteria = criteria;
      return platform::IDOK;
    });
    EXPECT_TRUE(session->EditStoppingCriteria());
  }

  // Trains until a stopping criterion ends the run, then delivers its end.
  void trainToEnd() {
    ASSERT_TRUE(session->StartTraining());
    ASSERT_TRUE(eventually([&] { return !session->isTraining(); }));
    ASSERT_TRUE(session->WaitForTrainingEnd());
  }

  // The next box, answered with `answer`, must be this one.
  void expectBox(int answer = platform::IDOK) {
    prompter.answerMessage(answer);
  }
  platform::ScriptedPrompter::Call lastMessage() {
    auto messages = prompter.messages();
    EXPECT_FALSE(messages.empty());
    return messages.empty() ? platform::ScriptedPrompter::Call{} : messages.back();
  }
  void answerFile(const std::string& path) {
    prompter.answerFile(path);
  }

  TempDir work;
  CurrentDirectoryScope cwd{work.path()};
  RecordingObserver observer;
  RawTable table;
  // An algorithm a test may put into the session's list; outlives the session.
  ScriptedAlgorithm scripted;
  std::unique_ptr<VantorSession> session;
};

using SessionFixture = SessionFixtureOn<PromptedTest>;

}  // namespace lumivane::test
