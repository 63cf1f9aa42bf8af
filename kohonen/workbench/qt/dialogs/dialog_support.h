#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string>

#include "platform/prompter.h"

class QLineEdit;

// Small pieces every Gridwise dialog view shares.
namespace gridwise_dialogs {

inline QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

// Runs a dialog modally and answers as the request objects expect.
inline int execDialog(QDialog& dialog) {
  return dialog.exec() == QDialog::Accepted ? platform::IDOK : platform::IDCANCEL;
}

// The integer an edit field holds (blanks around it allowed), or nothing for any other text.
std::optional<long long> fieldInteger(const QLineEdit& field);
// The number an edit field holds, or NaN (outside every range) for any other text.
double fieldNumber(const QLineEdit& field);
// How a number is put into an edit field: its shortest form of 15 significant digits.
QString numberText(double value);

// Puts the caret into a field that was refused, its text selected for retyping.
void focusRefusedField(QLineEdit& field);

}  // namespace gridwise_dialogs
