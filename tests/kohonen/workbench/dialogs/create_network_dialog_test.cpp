// "Create Network": prefilled sizes and the refusal of sizes outside 1 … 255.
#include "kohonen/workbench/qt/dialogs/create_network_dialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>

#include "kohonen/workbench/network_requests.h"
#include "tests/kohonen/workbench/dialogs/dialog_test_helpers.h"
#include "tests/support/test_support.h"

namespace {

class CreateNetworkDialogTest : public lumivane::test::PromptedTest {};

TEST_F(CreateNetworkDialogTest, RefusesSizesOutsideTheRangeAndKeepsTheCaretInTheField) {
  NetworkSizeRequest request(7, 12);
  CreateNetworkDialog dialog(request);
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Create Network");
  auto fields = dialog.findChildren<QLineEdit*>();
  ASSERT_EQ(fields.size(), 2);
  QLineEdit* rows = fields[0];
  QLineEdit* columns = fields[1];
  EXPECT_EQ(rows->text(), "7");
  EXPECT_EQ(columns->text(), "12");

  struct Case {
    const char* rows;
    const char* columns;
    QLineEdit* refused;
  };
  for (const Case& c : {Case{"0", "12", rows}, Case{"256", "12", rows}, Case{"5", "abc", columns},
                        Case{"5", "", columns}, Case{"2.5", "3", rows}, Case{"99999999999", "3", rows}}) {
    rows->setText(c.rows);
    columns->setText(c.columns);
    prompter.answerMessage(platform::IDOK);
    dialog.accept();
    EXPECT_TRUE(dialog.isVisible()) << c.rows << " × " << c.columns;
    EXPECT_EQ(dialog.focusWidget(), c.refused) << c.rows << " × " << c.columns;
  }
  const auto messages = prompter.messages();
  ASSERT_EQ(messages.size(), 6u);
  for (const auto& m : messages) {
    EXPECT_EQ(m.text, "Please enter an integer between 1 and 255.");
    EXPECT_EQ(m.caption, "Gridwise");
    EXPECT_EQ(m.icon(), unsigned{platform::MB_ICONWARNING});
  }

  rows->setText(" 255 ");
  columns->setText("1");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(request.rows, 255);
  EXPECT_EQ(request.columns, 1);
  EXPECT_EQ(prompter.messages().size(), 6u);
}

}  // namespace
