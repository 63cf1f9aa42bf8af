#include "host/calc/calc_launcher.h"

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <cstdio>
#include <memory>

#include "host/calc/calc_session.h"
#include "host/cell_address.h"
#include "host/window/tool_launcher.h"
#include "platform/prompter.h"

namespace host::calc {

namespace {

// How often the launcher looks at the office (a vanished one is noticed within this time) and
// at the tool windows.
constexpr int kCheckMilliseconds = 1000;

QString text(const std::string& s) {
  return QString::fromStdString(s);
}

// What the user works on in Calc, for the state line: document, sheet and selection.
std::string officeState(CalcApplication& application) {
  platform::Variant book, sheet, selection, name, row, column, rows, columns;
  const auto member = [](platform::Dispatch* object, std::string_view m, platform::Variant& out) {
    return object && platform::SUCCEEDED(platform::getProperty(object, m, out)) ? &out : nullptr;
  };
  const auto dispatch = [](const platform::Variant& v) {
    return v.vt() == platform::VT_DISPATCH ? v.pdispVal() : nullptr;
  };
  if (!member(&application, "ActiveWorkbook", book) || !dispatch(book))
    return "No spreadsheet is open in Calc.";
  std::string state;
  if (member(dispatch(book), "Name", name) && name.vt() == platform::VT_BSTR) state = name.bstrVal();
  if (member(&application, "ActiveSheet", sheet) && member(dispatch(sheet), "Name", name) &&
      name.vt() == platform::VT_BSTR)
    state += ", sheet " + name.bstrVal();
  platform::Variant rowsObject, columnsObject;
  if (member(&application, "Selection", selection) && dispatch(selection) &&
      member(dispatch(selection), "Row", row) && member(dispatch(selection), "Column", column) &&
      member(dispatch(selection), "Rows", rowsObject) && member(dispatch(rowsObject), "Count", rows) &&
      member(dispatch(selection), "Columns", columnsObject) &&
      member(dispatch(columnsObject), "Count", columns)) {
    const std::int32_t top = row.lVal(), left = column.lVal();
    state += ", selection " + cellName(top, left);
    if (rows.lVal() > 1 || columns.lVal() > 1)
      state += ":" + cellName(top + rows.lVal() - 1, left + columns.lVal() - 1);
  }
  return state;
}

class LauncherWindow final : public QWidget {
 public:
  LauncherWindow(CalcSession& session, const std::string& pipe) : session_(session) {
    setWindowTitle(QStringLiteral("Lumivane for LibreOffice Calc"));
    auto* layout = new QVBoxLayout(this);
    auto* attached =
        new QLabel(QStringLiteral("Attached to LibreOffice Calc (pipe \"%1\").").arg(text(pipe)));
    state_ = new QLabel;
    state_->setWordWrap(true);
    state_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    tools_ = new QLabel;
    layout->addWidget(attached);
    layout->addWidget(state_);
    layout->addWidget(tools_);
    auto* buttons = new QHBoxLayout;
    auto* vantor = new QPushButton(QStringLiteral("&Vantor 3.0"));
    auto* gridwise = new QPushButton(QStringLiteral("&Gridwise"));
    auto* quit = new QPushButton(QStringLiteral("&Quit"));
    vantor->setToolTip(QStringLiteral("Start Vantor on the selection of Calc's active sheet"));
    gridwise->setToolTip(QStringLiteral("Start Gridwise on the selection of Calc's active sheet"));
    buttons->addWidget(vantor);
    buttons->addWidget(gridwise);
    buttons->addStretch(1);
    buttons->addWidget(quit);
    layout->addLayout(buttons);
    vantor->setDefault(true);
    connect(vantor, &QPushButton::clicked, this, [this] { start(host::kVantorTool); });
    connect(gridwise, &QPushButton::clicked, this, [this] { start(host::kGridwiseTool); });
    connect(quit, &QPushButton::clicked, this, [this] { session_.requestQuit(); });
    timer_ = new QTimer(this);
    connect(timer_, &QTimer::timeout, this, [this] { check(); });
    timer_->start(kCheckMilliseconds);
    qApp->installEventFilter(this);
    setMinimumWidth(420);
  }

  void start(const host::ToolEntry& tool) {
    if (ending_) return;
    const std::string folder = host::toolLibraryFolder(tool);
    session_.startTool(std::string(tool.title), folder + "/" + std::string(tool.library),
                       std::string(tool.entryExport));
    updateToolWindows();
  }

  // The session has ended: once no tool window is left, the launcher goes.
  void ending() {
    if (ending_) return;
    ending_ = true;
    updateToolWindows();
    if (session_.toolWindowsOpen()) {
      // The tools are asked to close, so they can offer to save their work.
      session_.window().send(platform::WM_CLOSE);
      state_->setText(QStringLiteral("Calc has gone; close the tool windows to end Lumivane."));
    }
    check();
  }

  void check() {
    updateToolWindows();
    if (ending_) {
      if (!session_.toolWindowsOpen()) QApplication::quit();
      return;
    }
    if (!session_.checkOffice()) return;  // the end handler has taken over
    state_->setText(text(officeState(session_.application())));
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (ending_)
      check();
    else
      session_.requestQuit();
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    // A window of a tool shown or gone: the office's close is vetoed from now on, or no longer.
    const auto type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide || type == QEvent::Close) && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->isWindow() && watched != this)
      QTimer::singleShot(0, this, [this] { updateToolWindows(); });
    return QWidget::eventFilter(watched, event);
  }

 private:
  void updateToolWindows() {
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w != this && w->isVisible() && w->isWindow()) ++open;
    session_.setToolWindowsOpen(open > 0);
    tools_->setText(
        open == 0 ? QStringLiteral("No tool window is open.")
                  : QStringLiteral("Tool windows open: %1 (Calc stays open while they are).").arg(open));
  }

  CalcSession& session_;
  QLabel* state_ = nullptr;
  QLabel* tools_ = nullptr;
  QTimer* timer_ = nullptr;
  bool ending_ = false;
};

}  // namespace

int runLauncher(platform::MessageLoop& loop, const LauncherOptions& options) {
  const std::string pipe = options.office.pipeName.empty() ? defaultPipeName() : options.office.pipeName;
  std::fprintf(stderr, "lumivane: connecting to LibreOffice Calc on the pipe \"%s\"...\n", pipe.c_str());
  std::shared_ptr<CalcOffice> office;
  try {
    office = CalcOffice::connect(options.office);
  } catch (const CalcError& e) {
    platform::prompter().messageBox(e.what(), "Lumivane", platform::MB_OK | platform::MB_ICONERROR);
    std::fprintf(stderr, "lumivane: %s\n", e.what());
    return 1;
  }
  int status = 0;
  CalcSession session(office, loop);
  LauncherWindow window(session, pipe);
  session.setEndHandler([&](CalcSession::End end, const std::string& message) {
    if (end == CalcSession::End::OfficeLost) {
      status = 1;
      std::fprintf(stderr, "lumivane: %s\n", message.c_str());
      platform::prompter().messageBox(message, "Lumivane", platform::MB_OK | platform::MB_ICONERROR);
    } else if (!message.empty()) {
      std::fprintf(stderr, "lumivane: %s\n", message.c_str());
    }
    // Later, not inside the office call or the close that ended the session.
    QTimer::singleShot(0, &window, [&window] { window.ending(); });
  });
  window.show();
  window.check();
  if (options.toolAtStart == "Vantor")
    QTimer::singleShot(0, &window, [&window] { window.start(host::kVantorTool); });
  else if (options.toolAtStart == "Gridwise")
    QTimer::singleShot(0, &window, [&window] { window.start(host::kGridwiseTool); });
  QApplication::exec();
  window.hide();
  return status;
}

}  // namespace host::calc
