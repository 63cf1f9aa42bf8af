// The Qt prompter: message-box icons, buttons and answers, and the file dialog's set-up.

#include "platform/qt/qt_prompter.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "tests/support/test_support.h"

namespace {

// Runs `inspect` on the modal widget once it is open (the prompter call blocks until then).
void whenModalOpens(std::function<void(QWidget*)> inspect) {
  QTimer::singleShot(0, [inspect] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    inspect(modal);
  });
}

struct BoxCase {
  unsigned flags;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  QMessageBox::StandardButton press;
  int result;
};

TEST(QtPrompterTest, MessageBoxesShowTheIconAndButtonsOfTheirFlagsAndReturnTheAnswer) {
  using platform::IDCANCEL, platform::IDNO, platform::IDOK, platform::IDYES;
  const BoxCase cases[] = {
      {platform::MB_OK | platform::MB_ICONINFORMATION | platform::MB_SYSTEMMODAL, QMessageBox::Information,
       QMessageBox::Ok, QMessageBox::Ok, IDOK},
      {platform::MB_YESNO | platform::MB_ICONQUESTION, QMessageBox::Question,
       QMessageBox::Yes | QMessageBox::No, QMessageBox::No, IDNO},
      {platform::MB_YESNOCANCEL | platform::MB_ICONWARNING, QMessageBox::Warning,
       QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes, IDYES},
      {platform::MB_OKCANCEL | platform::MB_ICONERROR, QMessageBox::Critical,
       QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel, IDCANCEL},
  };
  platform::QtPrompter prompter;
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.flags);
    bool seen = false;
    whenModalOpens([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      ASSERT_NE(box, nullptr);
      seen = true;
      EXPECT_EQ(box->text(), "Some text\nsecond line");
      EXPECT_EQ(box->windowTitle(), "Caption");
      EXPECT_EQ(box->icon(), c.icon);
      EXPECT_EQ(box->standardButtons(), c.buttons);
      EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
      box->button(c.press)->click();
    });
    EXPECT_EQ(prompter.messageBox("Some text\nsecond line", "Caption", c.flags), c.result);
    EXPECT_TRUE(seen);
  }
}

TEST(QtPrompterTest, FiltersBecomeQtNameFilters) {
  EXPECT_EQ(platform::qtNameFilters("Network files (*.mlp)|*.mlp|All files (*.*)|*.*||"),
            QStringList({"Network files (*.mlp)", "All files (*)"}));
  EXPECT_EQ(platform::qtNameFilters("Workbooks|*.xlsx;*.ods||"), QStringList({"Workbooks (*.xlsx *.ods)"}));
  EXPECT_TRUE(platform::qtNameFilters("").isEmpty());
}

TEST(QtPrompterTest, SaveDialogCarriesTheRequestAndAddsTheDefaultExtension) {
  lumivane::test::TempDir dir;
  platform::FileDialogRequest request;
  request.save = true;
  request.defaultExt = "mlp";
  request.filter = "Network files (*.mlp)|*.mlp||";
  request.fileName = dir.file("net");
  request.overwritePrompt = true;
  whenModalOpens([&](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Save As");
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    EXPECT_EQ(dialog->defaultSuffix(), "mlp");
    EXPECT_EQ(dialog->nameFilters(), QStringList({"Network files (*.mlp)"}));
    EXPECT_FALSE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  auto chosen = platform::QtPrompter().fileDialog(request);
  ASSERT_TRUE(chosen.has_value());
  EXPECT_EQ(*chosen, dir.file("net.mlp"));
}

TEST(QtPrompterTest, OpenDialogThatMustFindAnExistingFileCanBeCancelled) {
  platform::FileDialogRequest request;
  request.mustExist = true;
  request.title = "Load network";
  whenModalOpens([](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Load network");
    EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
    dialog->reject();
  });
  EXPECT_FALSE(platform::QtPrompter().fileDialog(request).has_value());
}

}  // namespace
