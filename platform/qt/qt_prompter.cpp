#include "platform/qt/qt_prompter.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QRegularExpression>
#include <QThread>
#include <type_traits>

namespace platform {
namespace {

// Widgets live on the GUI thread only: run fn there and wait for its result.
template <typename Fn>
auto onGuiThread(Fn fn) -> decltype(fn()) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) return fn();
  decltype(fn()) result{};
  QMetaObject::invokeMethod(
      app, [&] { result = fn(); }, Qt::BlockingQueuedConnection);
  return result;
}

QWidget* ownerWindow() {
  return QApplication::activeWindow();
}

QMessageBox::Icon iconFor(unsigned flags) {
  switch (flags & kIconMask) {
    case MB_ICONERROR:
      return QMessageBox::Critical;
    case MB_ICONQUESTION:
      return QMessageBox::Question;
    case MB_ICONWARNING:
      return QMessageBox::Warning;
    case MB_ICONINFORMATION:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

QMessageBox::StandardButtons buttonsFor(unsigned flags) {
  switch (flags & kButtonMask) {
    case MB_OKCANCEL:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case MB_YESNOCANCEL:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MB_YESNO:
      return QMessageBox::Yes | QMessageBox::No;
    default:
      return QMessageBox::Ok;
  }
}

int resultFor(int button) {
  switch (button) {
    case QMessageBox::Yes:
      return IDYES;
    case QMessageBox::No:
      return IDNO;
    case QMessageBox::Cancel:
      return IDCANCEL;
    default:
      return IDOK;
  }
}

int showMessage(const std::string& text, const std::string& caption, unsigned flags) {
  QMessageBox box(iconFor(flags), QString::fromStdString(caption), QString::fromStdString(text),
                  buttonsFor(flags), ownerWindow());
  if (flags & MB_SYSTEMMODAL) {
    // The closest a desktop offers to a system-modal box: modal to the whole application and
    // kept above other windows.
    box.setWindowModality(Qt::ApplicationModal);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
  }
  return resultFor(box.exec());
}

std::optional<std::string> showFileDialog(const FileDialogRequest& request) {
  QString title = QString::fromStdString(request.title);
  if (title.isEmpty()) title = request.save ? QObject::tr("Save As") : QObject::tr("Open");
  QFileDialog dialog(ownerWindow(), title);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  if (request.save)
    dialog.setFileMode(QFileDialog::AnyFile);
  else
    dialog.setFileMode(request.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!request.overwritePrompt) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.defaultExt.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.defaultExt));
  QStringList filters = qtNameFilters(request.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace

QStringList qtNameFilters(const std::string& filter) {
  static const QRegularExpression trailingPatterns(QStringLiteral("\\s*\\([^()]*\\)\\s*$"));
  QStringList result;
  for (const auto& [description, pattern] : parseFileFilter(filter)) {
    QString name = QString::fromStdString(description);
    name.remove(trailingPatterns);  // the patterns are shown once, from the pattern part
    QString patterns = QString::fromStdString(pattern);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    patterns.replace(QStringLiteral("*.*"), QStringLiteral("*"));
    result << name + QStringLiteral(" (") + patterns.simplified() + QLatin1Char(')');
  }
  return result;
}

int QtPrompter::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
  return onGuiThread([&] { return showMessage(text, caption, flags); });
}

std::optional<std::string> QtPrompter::fileDialog(const FileDialogRequest& request) {
  return onGuiThread([&] { return showFileDialog(request); });
}

std::optional<Rgb> QtPrompter::chooseColour(Rgb initial) {
  return onGuiThread([&]() -> std::optional<Rgb> {
    QColor chosen = QColorDialog::getColor(QColor(initial.r, initial.g, initial.b), ownerWindow());
    if (!chosen.isValid()) return std::nullopt;
    return Rgb{static_cast<std::uint8_t>(chosen.red()), static_cast<std::uint8_t>(chosen.green()),
               static_cast<std::uint8_t>(chosen.blue())};
  });
}

int QtPrompter::runModal(ModalDialog& dialog) {
  return onGuiThread([&] { return dialog.execModal(); });
}

}  // namespace platform
