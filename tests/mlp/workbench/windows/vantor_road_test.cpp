// The whole Vantor road in the lumivane window, through the tool library as the host loads it:
// the Add-ins entry on a workbook holding wine.csv, the data source, the columns, the network,
// training with kestrel to a stopping criterion and the answers written into a second sheet;
// then training that the sheet refuses to be closed under, and the close once it has stopped.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "host/cell_address.h"
#include "host/host.h"
#include "host/window/main_window.h"
#include "host/window/sheet_view.h"
#include "platform/dynamic_library.h"
#include "platform/qt/qt_message_loop.h"
#include "shared/range_reader.h"
#include "tests/mlp/workbench/windows/window_test_support.h"
#include "tests/support/test_support.h"

namespace lumivane::test {
namespace {

using platform::Variant;

constexpr int kRows = 178;
constexpr int kInputs = 13;
constexpr int kOutputs = 3;

class VantorRoadTest : public PromptedTest {
 protected:
  void SetUp() override {
    // The working folder has no methinfo: kestrel must be found beside the library.
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(temp.path());
    window.setToolLibraryFolder(QString::fromUtf8(VANTOR3_LIBRARY_DIR));
    window.resize(1000, 700);
    window.show();
  }
  void TearDown() override {
    std::filesystem::current_path(previous_);
    PromptedTest::TearDown();
  }

  // The Vantor sheet once it is shown.
  QWidget* vantorSheet() const {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->windowTitle() == "Vantor 3.0") return w;
    return nullptr;
  }
  QTabWidget* tabs(QWidget* sheet) const { return sheet->findChild<QTabWidget*>(); }

  // Accepts the "Select data source:" dialog with the values it proposes from the selection.
  void acceptDataSource() {
    prompter.answerModal([this](platform::ModalDialog& d) {
      proposed = dynamic_cast<DataSourceRequest&>(d).choice;
      return platform::IDOK;
    });
  }

  TempDir temp;
  DataSourceChoice proposed;
  platform::QtMessageLoop loop;
  host::Host host{9, &loop};
  host::MainWindow window{host};

 private:
  std::filesystem::path previous_;
};

TEST_F(VantorRoadTest, WineFromTheAddInsMenuToClassifiedAnswers) {
  const std::string csv = temp.file("wine.csv");
  std::filesystem::copy_file(samplePath("wine.csv"), csv);
  ASSERT_TRUE(window.openFile(QString::fromStdString(csv)));
  host::Workbook& book = host.model().workbook(0);
  book.addSheet("Results");
  window.activeSheetView()->selectArea(*host::parseAreaReference("B1:R179"));

  acceptDataSource();
  ASSERT_TRUE(window.startTool(host::kVantorTool));
  ASSERT_TRUE(waitUntil([&] { return vantorSheet() != nullptr; }));
  QPointer<QWidget> sheet = vantorSheet();
  // The columns and rows proposed from the selection, names in the first row.
  EXPECT_EQ(proposed.columns, "B-R");
  EXPECT_EQ(proposed.firstRow, 1);
  EXPECT_EQ(proposed.lastRow, 179);
  EXPECT_TRUE(proposed.namesInFirstRow);
  QTabWidget* pages = tabs(sheet);
  ASSERT_NE(pages, nullptr);
  ASSERT_EQ(pages->count(), 4);
  EXPECT_EQ(pages->tabText(0), "Data");
  EXPECT_EQ(pages->tabText(3), "Output");
  saveScreenshot(sheet, "road-1-data-empty");

  // Data: the 13 measurements standardised, the three indicators scaled to -1 … +1.
  std::vector<std::string> measurements, indicators;
  prompter.answerModal([&](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<ColumnChoiceDialog&>(d);
    const auto& all = dialog.allData();
    EXPECT_EQ(all.size(), 17u);  // B … R
    measurements.assign(all.begin(), all.begin() + kInputs);
    indicators.assign(all.end() - kOutputs, all.end());
    dialog.choose(measurements);
    EXPECT_TRUE(dialog.normalise());
    return platform::IDOK;
  });
  prompter.answerModal([](platform::ModalDialog& d) {
    EXPECT_TRUE(dynamic_cast<NormalisationDialog&>(d).choose("Mean / Variance"));
    return platform::IDOK;
  });
  press(buttonNamed(sheet, "Select Inputs..."));
  ASSERT_EQ(indicators.size(), 3u);
  EXPECT_EQ(indicators[0], "is_cultivar1");
  scriptColumnChoice(prompter, indicators, "(-1, +1) normalization");
  press(buttonNamed(sheet, "Select Outputs..."));
  auto lists = sheet->findChildren<QListWidget*>();
  ASSERT_GE(lists.size(), 2);
  EXPECT_EQ(lists[0]->count(), kInputs);
  EXPECT_EQ(lists[0]->item(0)->text().toStdString(), "alcohol (Mean/Variance normalization)");
  EXPECT_EQ(lists[1]->count(), kOutputs);
  EXPECT_TRUE(lists[1]->item(2)->text().startsWith("is_cultivar3 ("));
  saveScreenshot(sheet, "road-2-data-chosen");

  // Network: 13 inputs and 3 outputs fixed by the data set; 8 tanh neurons in the hidden layer.
  pages->setCurrentIndex(1);
  prompter.answerModal([](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<NetworkConstructorDialog&>(d);
    EXPECT_EQ(dialog.inputs, kInputs);
    EXPECT_FALSE(dialog.inputsEnabled());
    EXPECT_EQ(dialog.layerCount, 2);
    EXPECT_EQ(dialog.rows[1].neurons, kOutputs);
    EXPECT_EQ(std::string(dialog.functionNames()[dialog.rows[0].functionIndex]), "tanh");
    EXPECT_EQ(std::string(dialog.functionNames()[dialog.rows[1].functionIndex]), "linear");
    dialog.rows[0].neurons = 8;
    return dialog.accept() ? platform::IDOK : platform::IDCANCEL;
  });
  press(buttonNamed(sheet, "Create Net..."));
  saveScreenshot(sheet, "road-3-network");

  // Training with kestrel until the epoch criterion ends it.
  pages->setCurrentIndex(2);
  scriptCriteria(prompter, {1, 299, 0.0f, 0.0f});
  press(buttonNamed(sheet, "Stopping criteria..."));
  QAbstractButton* start = buttonNamed(sheet, "Start training");
  press(start);
  ASSERT_TRUE(waitUntil([&] { return start->isEnabled(); }, std::chrono::seconds(120)));
  bool epochsShown = false;
  for (QLabel* label : sheet->findChildren<QLabel*>())
    if (label->text().trimmed() == "300") epochsShown = true;
  EXPECT_TRUE(epochsShown) << "the epoch text shows 300";
  saveScreenshot(sheet, "road-4-trained");

  // Output: all data at B2 of the second sheet, chosen from the host's lists.
  pages->setCurrentIndex(3);
  QWidget* outputPage = pages->widget(3);
  auto* useActive = outputPage->findChild<QCheckBox*>();
  auto combos = outputPage->findChildren<QComboBox*>();
  ASSERT_NE(useActive, nullptr);
  ASSERT_EQ(combos.size(), 2);
  EXPECT_EQ(combos[0]->currentText(), "wine.csv");  // the active workbook and sheet
  EXPECT_FALSE(combos[0]->isEnabled());
  useActive->click();
  EXPECT_TRUE(combos[1]->isEnabled());
  const int results = combos[1]->findText("Results");
  ASSERT_GE(results, 0);
  combos[1]->setCurrentIndex(results);
  buttonNamed(outputPage, "Output: all data")->click();
  outputPage->findChild<QLineEdit*>()->setText("b2");
  press(buttonNamed(outputPage, "Output"));
  EXPECT_EQ(outputPage->findChild<QLineEdit*>()->text(), "B2");
  saveScreenshot(sheet, "road-5-output");

  const host::Sheet& out = *book.findSheet("Results");
  const int width = kInputs + 2 * kOutputs;
  EXPECT_EQ(out.value(2, 2), Variant("alcohol (Input)"));
  EXPECT_EQ(out.value(2, 2 + kInputs), Variant("is_cultivar1 (Output)"));
  EXPECT_EQ(out.value(2, 2 + kInputs + kOutputs), Variant("is_cultivar1 (Predicted)"));
  EXPECT_EQ(out.value(2, 1 + width), Variant("is_cultivar3 (Predicted)"));
  EXPECT_TRUE(out.value(2, 2 + width).isEmpty());
  EXPECT_TRUE(out.value(3 + kRows, 2).isEmpty());
  EXPECT_EQ(out.value(3, 2), Variant(14.23));  // raw values as read
  int right = 0;
  for (int r = 3; r < 3 + kRows; ++r) {
    int truth = 0, guess = 0;
    for (int k = 1; k < kOutputs; ++k) {
      if (out.value(r, 2 + kInputs + k).dblVal() > out.value(r, 2 + kInputs + truth).dblVal()) truth = k;
      if (out.value(r, 2 + kInputs + kOutputs + k).dblVal() >
          out.value(r, 2 + kInputs + kOutputs + guess).dblVal())
        guess = k;
    }
    if (truth == guess) ++right;
  }
  EXPECT_GE(right, kRows * 95 / 100) << right << " of " << kRows;

  // Training without a criterion: the sheet and its commands wait for "Stop training".
  scriptCriteria(prompter, {0, 100000, 0.0f, 0.0f});
  pages->setCurrentIndex(2);
  press(buttonNamed(sheet, "Stopping criteria..."));
  press(start);
  EXPECT_FALSE(buttonNamed(outputPage, "Output")->isEnabled());
  EXPECT_FALSE(buttonNamed(sheet, "Select Inputs...")->isEnabled());
  EXPECT_FALSE(buttonNamed(sheet, "Load Project...")->isEnabled());
  EXPECT_TRUE(buttonNamed(sheet, "Boxcounting...")->isEnabled());
  prompter.answerMessage(platform::IDOK);
  sheet->close();
  QApplication::processEvents();
  ASSERT_FALSE(sheet.isNull());
  EXPECT_TRUE(sheet->isVisible());
  const auto box = prompter.messages().back();
  EXPECT_EQ(box.text, "Stop training process first!");
  EXPECT_EQ(box.caption, "Can't exit Vantor!");

  press(buttonNamed(sheet, "Stop training"));
  ASSERT_TRUE(waitUntil([&] { return start->isEnabled(); }));
  pages->setCurrentIndex(0);
  EXPECT_TRUE(buttonNamed(sheet, "Load Project...")->isEnabled());

  // The host's close goes to the sheet first and leaves the host open.
  window.close();
  ASSERT_TRUE(waitUntil([&] { return sheet.isNull(); }, std::chrono::seconds(10)));
  EXPECT_TRUE(window.isVisible());
}

// Two entries make two independent sheets; the host's close closes both and leaves the host.
TEST_F(VantorRoadTest, TwoEntriesTwoSheetsClosedWithTheHost) {
  const std::string csv = temp.file("wine.csv");
  std::filesystem::copy_file(samplePath("wine.csv"), csv);
  ASSERT_TRUE(window.openFile(QString::fromStdString(csv)));
  window.activeSheetView()->selectArea(*host::parseAreaReference("B1:R179"));
  const auto sheets = [] {
    std::vector<QPointer<QWidget>> found;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->isVisible() && w->windowTitle() == "Vantor 3.0") found.emplace_back(w);
    return found;
  };
  for (int i = 0; i < 2; ++i) {
    acceptDataSource();
    ASSERT_TRUE(window.startTool(host::kVantorTool));
    ASSERT_TRUE(waitUntil([&] { return sheets().size() == static_cast<std::size_t>(i + 1); }));
  }
  const auto open = sheets();
  ASSERT_EQ(open.size(), 2u);
  EXPECT_NE(open[0]->findChild<QTabWidget*>(), open[1]->findChild<QTabWidget*>());

  window.close();
  ASSERT_TRUE(waitUntil([&] { return open[0].isNull() && open[1].isNull(); }, std::chrono::seconds(10)));
  EXPECT_TRUE(window.isVisible());
}

// The library as the add-in sees it: every export found by its name; the call-backs do nothing
// while no output is pending; a cancelled data source leaves no window.
TEST_F(VantorRoadTest, ExportsByNameQuietWithoutRequestAndCancelledSource) {
  platform::DynamicLibrary& library =
      host.loadToolLibrary(std::string(VANTOR3_LIBRARY_DIR) + "/" + std::string(host::kVantorTool.library));
  for (const char* name :
       {"Vantor3", "Vantor3_97", "Vantor3Reader", "Vantor3Reader97", "GetBookAndSheetVT", "Zaglushka"})
    EXPECT_NE(library.symbol(name), nullptr) << name;
  EXPECT_EQ(library.symbol("CMainSheet"), nullptr);

  using BookAndSheet = void (*)(Variant*, Variant*);
  using Reader = void (*)(platform::Dispatch*);
  Variant book(std::int32_t{5}), sheetName("kept");
  reinterpret_cast<BookAndSheet>(library.symbol("GetBookAndSheetVT"))(&book, &sheetName);
  EXPECT_EQ(book, Variant(std::int32_t{5}));
  EXPECT_EQ(sheetName, Variant("kept"));
  reinterpret_cast<Reader>(library.symbol("Vantor3Reader"))(host.application());
  reinterpret_cast<void (*)()>(library.symbol("Zaglushka"))();

  window.newWorkbook();
  prompter.answerModal([](platform::ModalDialog&) { return platform::IDCANCEL; });
  reinterpret_cast<Reader>(library.symbol("Vantor3"))(host.application());
  for (int i = 0; i < 10; ++i) QApplication::processEvents();
  EXPECT_EQ(vantorSheet(), nullptr);
}

}  // namespace
}  // namespace lumivane::test
