#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QImage>
#include <QPushButton>
#include <QTimer>
#include <functional>

// Finding controls by what the user sees, and driving a dialog that runs modally.
namespace dialog_test {

// The button showing text, or nullptr.
inline QAbstractButton* button(const QWidget& parent, const QString& text) {
  for (QAbstractButton* b : parent.findChildren<QAbstractButton*>())
    if (b->text() == text) return b;
  return nullptr;
}

inline QAbstractButton* standardButton(const QWidget& parent, QDialogButtonBox::StandardButton which) {
  for (QDialogButtonBox* box : parent.findChildren<QDialogButtonBox*>())
    if (QAbstractButton* b = box->button(which)) return b;
  return nullptr;
}

namespace detail {
inline void actOnModal(const std::function<void(QDialog&)>& act, int triesLeft) {
  auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
  if (!dialog) {
    if (triesLeft > 0) QTimer::singleShot(10, [act, triesLeft] { actOnModal(act, triesLeft - 1); });
    return;
  }
  act(*dialog);
  if (dialog->isVisible()) dialog->reject();
}
}  // namespace detail

// Opens a modal dialog with open() and, once it shows, hands it to act; a dialog act leaves
// open is cancelled. Returns what open() returned.
inline int whileModal(const std::function<int()>& open, const std::function<void(QDialog&)>& act) {
  constexpr int kTries = 200;
  QTimer::singleShot(0, [act] { detail::actOnModal(act, kTries); });
  return open();
}

inline bool hasColour(const QImage& image, QColor colour) {
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (image.pixelColor(x, y) == colour) return true;
  return false;
}

}  // namespace dialog_test
