#include "shared/qt/data_source_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include "shared/qt/qt_tool_ui.h"

namespace {

bool hasLabel(const QWidget& dialog, const QString& text) {
  for (const QLabel* label : dialog.findChildren<QLabel*>())
    if (label->text() == text) return true;
  return false;
}

DataSourceChoice defaults() {
  DataSourceChoice k;
  k.columns = "A-C";
  k.firstRow = 1;
  k.lastRow = 20;
  return k;
}

TEST(DataSourceDialog, ShowsTheDefaultsAndTheToolsControls) {
  DataSourceRequest gridwise(Tool::Gridwise, 65536, defaults());
  DataSourceDialog dialog(gridwise);
  EXPECT_EQ(dialog.windowTitle(), "Select data source:");
  EXPECT_EQ(dialog.columnsEdit()->text(), "A-C");
  EXPECT_EQ(dialog.columnsEdit()->maxLength(), 255);
  EXPECT_EQ(dialog.firstRowEdit()->text(), "1");
  EXPECT_EQ(dialog.lastRowEdit()->text(), "20");
  EXPECT_TRUE(dialog.namesCheck()->isChecked());
  EXPECT_EQ(dialog.namesCheck()->text(), "Use first row as column names");
  ASSERT_NE(dialog.rowIdsCheck(), nullptr);
  EXPECT_EQ(dialog.rowIdsCheck()->text(), "Use data in the first column as row ID ");
  EXPECT_FALSE(dialog.rowIdsCheck()->isChecked());
  EXPECT_TRUE(hasLabel(dialog, "Enter columns with data (for example: A-E,F,G,K-AA):"));
  EXPECT_TRUE(hasLabel(dialog, "Enter first row:"));
  EXPECT_TRUE(hasLabel(dialog, "Enter last row:"));

  DataSourceRequest vantor(Tool::Vantor, 65536, defaults());
  DataSourceDialog vantorDialog(vantor);
  EXPECT_EQ(vantorDialog.rowIdsCheck(), nullptr);
}

TEST(DataSourceDialog, OkOnlyWhileBothRowsAreInRange) {
  DataSourceRequest request(Tool::Vantor, 16384, defaults());
  DataSourceDialog dialog(request);
  EXPECT_TRUE(dialog.okEnabled());
  for (const char* bad : {"0", "", "16385", "-3"}) {
    dialog.lastRowEdit()->setText(bad);
    EXPECT_FALSE(dialog.okEnabled()) << bad;
  }
  dialog.lastRowEdit()->setText("16384");
  EXPECT_TRUE(dialog.okEnabled());
  dialog.firstRowEdit()->setText("");
  EXPECT_FALSE(dialog.okEnabled());
  dialog.accept();  // refused while invalid: nothing written back
  EXPECT_EQ(request.choice.lastRow, 20);
}

TEST(DataSourceDialog, AcceptWritesTheChoiceBack) {
  DataSourceRequest request(Tool::Gridwise, 65536, defaults());
  DataSourceDialog dialog(request);
  dialog.columnsEdit()->setText("b-d, f");
  dialog.firstRowEdit()->setText("3");
  dialog.lastRowEdit()->setText("65536");
  dialog.namesCheck()->setChecked(false);
  dialog.rowIdsCheck()->setChecked(true);
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(request.choice.columns, "b-d, f");
  EXPECT_EQ(request.choice.firstRow, 3);
  EXPECT_EQ(request.choice.lastRow, 65536);
  EXPECT_FALSE(request.choice.namesInFirstRow);
  EXPECT_TRUE(request.choice.rowIdsInFirstColumn);
}

TEST(QtToolUi, TheRequestShowsTheQtDialog) {
  installQtToolUi();
  DataSourceRequest request(Tool::Vantor, 65536, defaults());
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<DataSourceDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->columnsEdit()->setText("E");
    dialog->accept();
  });
  EXPECT_EQ(request.execModal(), platform::IDOK);
  EXPECT_EQ(request.choice.columns, "E");

  QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
  EXPECT_EQ(request.execModal(), platform::IDCANCEL);
  setToolUi({});
}

TEST(QtToolUi, ProgressWindowsDisableTheActiveWindowUntilClosed) {
  installQtToolUi();
  QWidget owner;
  owner.show();
  owner.activateWindow();
  QApplication::setActiveWindow(&owner);
  {
    auto window = openProgressWindow(ProgressVariant::GridwiseOutput);
    auto* qt = dynamic_cast<QtProgressWindow*>(window.get());
    ASSERT_NE(qt, nullptr);
    EXPECT_EQ(qt->indicator().variant(), ProgressIndicator::Variant::GridwiseOutput);
    EXPECT_FALSE(owner.isEnabled());
    window->setText("Writing IDs ...");
    window->setPosition(40);
    EXPECT_EQ(qt->indicator().percentageText(), "40%");
    window->close();
    EXPECT_TRUE(owner.isEnabled());
  }
  setToolUi({});
}

TEST(QtToolUi, CloseRequestsArriveThroughTheEventLoop) {
  QWidget window;
  window.show();
  postCloseRequest(&window);
  EXPECT_TRUE(window.isVisible());
  QApplication::processEvents();
  EXPECT_FALSE(window.isVisible());
}

}  // namespace
