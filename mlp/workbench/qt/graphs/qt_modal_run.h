#pragma once

#include <QDialog>

#include "platform/prompter.h"

// Runs a Qt dialog modally through the platform prompter, so tests script the graph windows'
// modal runs like every other dialog (the script finds the dialog through dialog()).
class QtModalRun final : public platform::ModalDialog {
 public:
  explicit QtModalRun(QDialog& dialog) : dialog_(dialog) {}
  std::string dialogTitle() const override { return dialog_.windowTitle().toStdString(); }
  int execModal() override {
    return dialog_.exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
  }
  QDialog& dialog() const { return dialog_; }

 private:
  QDialog& dialog_;
};
