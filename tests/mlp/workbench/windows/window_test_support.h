#pragma once

// Helpers for the Vantor window suites: buttons found by their text, waiting while the event
// loop runs, and the scripts of the dialogs the road goes through.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "mlp/workbench/vantor_dialogs.h"
#include "platform/scripted_prompter.h"

namespace lumivane::test {

// The button of root whose text (without its mnemonic marks) is text; fails the test when
// there is none.
inline QAbstractButton* buttonNamed(QWidget* root, const QString& text) {
  for (QAbstractButton* button : root->findChildren<QAbstractButton*>())
    if (button->text().remove('&') == text) return button;
  ADD_FAILURE() << "no button " << text.toStdString();
  return nullptr;
}

// Runs the event loop until condition holds or the time is up.
inline bool waitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds limit = std::chrono::seconds(60)) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > limit.count()) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

// Clicks a button and expects it to be enabled first.
inline void press(QAbstractButton* button) {
  ASSERT_NE(button, nullptr);
  ASSERT_TRUE(button->isEnabled()) << button->text().toStdString();
  button->click();
}

// Scripts "Select inputs"/"Select outputs": the named columns, then "Normalization..." with the
// button of that label.
inline void scriptColumnChoice(platform::ScriptedPrompter& prompter, std::vector<std::string> names,
                               std::string normalisation) {
  prompter.answerModal([names](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<ColumnChoiceDialog&>(d);
    dialog.choose(names);
    EXPECT_TRUE(dialog.normalise());
    return dialog.canAccept() ? platform::IDOK : platform::IDCANCEL;
  });
  prompter.answerModal([normalisation](platform::ModalDialog& d) {
    EXPECT_TRUE(dynamic_cast<NormalisationDialog&>(d).choose(normalisation)) << normalisation;
    return platform::IDOK;
  });
}

inline void scriptCriteria(platform::ScriptedPrompter& prompter, const StoppingCriteria& criteria) {
  prompter.answerModal([criteria](platform::ModalDialog& d) {
    dynamic_cast<StoppingCriteriaDialog&>(d).criteria = criteria;
    return platform::IDOK;
  });
}

// Saves what a widget shows into the suite's screenshot folder (when it has one).
inline void saveScreenshot(QWidget* widget, const std::string& name) {
#ifdef VANTOR_SCREENSHOT_DIR
  std::filesystem::create_directories(VANTOR_SCREENSHOT_DIR);
  widget->grab().save(QString::fromStdString(std::string(VANTOR_SCREENSHOT_DIR) + "/" + name + ".png"));
#else
  (void)widget;
  (void)name;
#endif
}

}  // namespace lumivane::test
