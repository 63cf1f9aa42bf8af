// Map windows and the cell dialogs over a session trained on iris: the set that closes its
// windows with the net, species colours on the screen, double clicks that reach "Cell
// description", and the finder.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cmath>

#include "kohonen/engine/cell_index.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/qt/maps/cell_dialogs.h"
#include "kohonen/workbench/qt/maps/gridwise_maps.h"
#include "kohonen/workbench/qt/maps/map_window.h"
#include "kohonen/workbench/qt/maps/new_map_dialog.h"
#include "platform/qt/qt_prompter.h"
#include "tests/kohonen/workbench/session_fixture.h"

namespace gridwise_test {
namespace {

constexpr std::int32_t kIsSetosa = 5;

std::vector<std::string> listTexts(const QListWidget* list) {
  std::vector<std::string> texts;
  for (int i = 0; i < list->count(); ++i) texts.push_back(list->item(i)->text().toStdString());
  return texts;
}

// Double click at client point (x, y) of a map window, then let the queued command run.
void doubleClick(MapWindow& w, QPoint at) {
  QMouseEvent event(QEvent::MouseButtonDblClick, QPointF(at), w.canvas()->mapToGlobal(QPointF(at)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.canvas(), &event);
  QApplication::processEvents();
}

// The middle of cell (r, c) in a canvas of the window's current size, from the layout rules:
// the grid from (10, 10) with 10-pixel margins, cells split by integer division.
QPoint cellMiddle(const MapWindow& w, std::int32_t r, std::int32_t c) {
  const int gw = w.canvas()->width() - 20;
  const int gh = w.canvas()->height() - 20;
  const std::int32_t rows = w.scene().rows(), columns = w.scene().columns();
  return {10 + (c * gw / columns + (c + 1) * gw / columns) / 2,
          10 + (r * gh / rows + (r + 1) * gh / rows) / 2};
}

class MapSessionTest : public GridwiseSessionTest {
 protected:
  void SetUp() override {
    GridwiseSessionTest::SetUp();
    createIrisPatterns();
    createMap(5, 5);
  }
  void TearDown() override {
    maps.reset();
    GridwiseSessionTest::TearDown();
  }

  // "Create New Map..." of the feature column, scripted.
  MapPicture newMap(std::int32_t column, MapMode mode, std::int32_t colours) {
    prompter.answerModal([=](ModalDialog& d) {
      auto& r = dynamic_cast<NewMapRequest&>(d);
      r.setMode(mode);
      r.featureColumn = column;
      if (mode == MapMode::Average) r.colourCount = colours;
      return IDOK;
    });
    std::optional<MapPicture> picture = session->createNewMap();
    EXPECT_TRUE(picture.has_value());
    return picture ? std::move(*picture) : MapPicture{};
  }

  std::unique_ptr<MapWindowSet> maps;
};

TEST_F(MapSessionTest, WindowsCloseWithTheNetAndWithTheSheet) {
  maps = std::make_unique<MapWindowSet>(*session, nullptr);
  maps->open(newMap(kSpecies, MapMode::Average, 3));
  maps->open(newMap(kIsSetosa, MapMode::Existence, 2));
  ASSERT_EQ(maps->count(), 2);
  EXPECT_EQ(maps->window(0)->windowTitle(), QStringLiteral("species map"));
  EXPECT_EQ(maps->window(1)->scene().colourCount(), 2);
  EXPECT_TRUE(maps->window(0)->isVisible());

  // The user closes one.
  maps->window(0)->close();
  QApplication::processEvents();
  EXPECT_EQ(maps->count(), 1);

  // A new net destroys the map the windows were made from.
  prompter.answerMessage(IDYES);  // "Current network will be destroyed! Continue?"
  createMap(4, 4);
  EXPECT_EQ(maps->count(), 0);

  maps->open(newMap(kSpecies, MapMode::Average, 3));
  maps->open(newMap(kSpecies, MapMode::Average, 4));
  EXPECT_EQ(maps->count(), 2);
  maps->closeAll();
  EXPECT_EQ(maps->count(), 0);
  maps->open(newMap(kSpecies, MapMode::Average, 2));
  QPointer<MapWindow> last = maps->window(0);
  maps.reset();  // the sheet closes
  EXPECT_TRUE(last.isNull());
}

TEST_F(MapSessionTest, SpeciesColoursOnTheScreenFollowTheCellsAverageSpecies) {
  // Three colours for the three species, over a grid of 5 × 5 cells of 60 × 40 pixels.
  PaletteTable palette;
  palette.setColour(3, 0, {220, 40, 40});
  palette.setColour(3, 1, {40, 180, 40});
  palette.setColour(3, 2, {40, 60, 220});
  session->applyPreferences(session->trainingSettings(), palette);
  maps = std::make_unique<MapWindowSet>(*session, nullptr);
  maps->open(newMap(kSpecies, MapMode::Average, 3));
  MapWindow& w = *maps->window(0);
  w.setCellSize(false);
  const QSize frame = w.size() - w.canvas()->size();
  w.resize(QSize(320, 220) + frame);
  QApplication::processEvents();
  ASSERT_EQ(w.canvas()->size(), QSize(320, 220));
  const QImage& image = w.canvas()->picture();

  // The average species of each cell straight from the cell index and the table; species are
  // 1, 2, 3, so the class is ⌊(v − 1)·3 / 2⌋ with 3 taken into the top class.
  const CellIndex& index = session->cellIndex();
  const double* species = table.column(kSpecies);
  int filled = 0;
  for (std::int32_t r = 0; r < 5; ++r)
    for (std::int32_t c = 0; c < 5; ++c) {
      const QPoint at = cellMiddle(w, r, c);
      const auto rows = index.rowsIn(r, c);
      if (rows.empty()) {
        EXPECT_EQ(QColor(image.pixel(at.x() + 5, at.y())), QColor(128, 128, 128)) << r << "," << c;
        continue;
      }
      double sum = 0;
      for (std::int32_t i : rows) sum += species[i];
      const double v = sum / static_cast<double>(rows.size());
      const int cls = std::min(2, static_cast<int>(std::floor((v - 1.0) * 3.0 / 2.0)));
      const platform::Rgb rgb = palette.colour(3, cls);
      EXPECT_EQ(QColor(image.pixel(at)), QColor(rgb.r, rgb.g, rgb.b)) << r << "," << c << " average " << v;
      ++filled;
    }
  EXPECT_GT(filled, 10);
}

TEST_F(MapSessionTest, DoubleClicksOpenTheCellDescriptionOrChooseTheCellOfTheOpenOne) {
  maps = std::make_unique<MapWindowSet>(*session, nullptr);
  maps->open(newMap(kSpecies, MapMode::Average, 3));
  MapWindow& w = *maps->window(0);
  QApplication::processEvents();

  std::optional<CellPos> opened;
  std::optional<CellPos> afterSecondClick;
  int shownCount = -1;
  std::vector<std::string> shownPoints;
  prompter.answerModal([&](ModalDialog& d) {
    auto& request = dynamic_cast<CellDescriptionRequest&>(d);
    opened = request.cell();
    // The real dialog over the request, open while the user double-clicks another cell.
    CellDescriptionDialog view(request);
    doubleClick(w, cellMiddle(w, 4, 1));
    afterSecondClick = request.cell();
    EXPECT_EQ(view.cellCombo()->currentIndex(), 4 * 5 + 1);
    shownCount = view.countLabel()->text().toInt();
    shownPoints = listTexts(view.pointList());
    return IDOK;
  });
  doubleClick(w, cellMiddle(w, 2, 3));
  ASSERT_TRUE(opened.has_value());
  EXPECT_EQ(*opened, (CellPos{2, 3}));
  ASSERT_TRUE(afterSecondClick.has_value());
  EXPECT_EQ(*afterSecondClick, (CellPos{4, 1}));
  EXPECT_EQ(shownCount, session->cellIndex().count(4, 1));
  std::vector<std::string> expected;
  for (std::int32_t i : session->cellIndex().rowsIn(4, 1))
    expected.push_back(table.rowIds[static_cast<std::size_t>(i)]);
  EXPECT_EQ(shownPoints, expected);
  EXPECT_EQ(session->openCellDescription(), nullptr);
  EXPECT_EQ(prompter.pendingAnswers(), 0u);
}

// The real dialog, shown by the Qt prompter over the sheet, leaves the map windows usable: a
// double click delivered through the window system (where modal dialogs block input) reaches
// the map window and moves the open dialog to its cell.
TEST_F(MapSessionTest, TheOpenCellDescriptionLeavesMapWindowsClickable) {
  QWidget sheet;
  sheet.setWindowTitle(QStringLiteral("Gridwise"));
  sheet.resize(300, 200);
  maps = std::make_unique<MapWindowSet>(*session, &sheet);
  maps->open(newMap(kSpecies, MapMode::Average, 3));
  MapWindow& w = *maps->window(0);
  sheet.show();
  QApplication::setActiveWindow(&sheet);
  QApplication::processEvents();

  GridwiseDialogHooks hooks;
  installMapDialogViews(hooks);
  setGridwiseDialogHooks(hooks);
  platform::QtPrompter qtPrompter;
  platform::PrompterScope scope(qtPrompter);

  int shownAtOpen = -1, shownAfterClick = -1;
  bool sheetBlocked = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<CellDescriptionDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    shownAtOpen = dialog->cellCombo()->currentIndex();
    sheetBlocked = dialog->parentWidget() == &sheet && dialog->windowModality() == Qt::WindowModal;
    const QPoint at = w.canvas()->mapTo(&w, cellMiddle(w, 3, 2));
    QTest::mouseDClick(w.windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
    QApplication::processEvents();
    shownAfterClick = dialog->cellCombo()->currentIndex();
    dialog->accept();
  });
  session->describeCells();
  setGridwiseDialogHooks({});
  EXPECT_EQ(shownAtOpen, 0);
  EXPECT_TRUE(sheetBlocked);
  EXPECT_EQ(shownAfterClick, 3 * 5 + 2);
  EXPECT_EQ(session->openCellDescription(), nullptr);
}

TEST_F(MapSessionTest, CellDescriptionListsWhatTheRequestDescribes) {
  CellDescriptionRequest request(*session->net(), session->cellIndex(), session->dataSet(), {0, 0});
  CellDescriptionDialog view(request);
  EXPECT_EQ(view.windowTitle(), QStringLiteral("Cell description"));
  ASSERT_EQ(view.cellCombo()->count(), 25);
  EXPECT_EQ(view.cellCombo()->itemText(0), QStringLiteral("A1"));
  EXPECT_EQ(view.cellCombo()->itemText(24), QStringLiteral("E5"));
  EXPECT_EQ(view.cellCombo()->currentIndex(), 0);

  // Choose the fullest cell from the combo: all four lists follow.
  std::int32_t fullest = 0;
  for (std::int32_t k = 0; k < 25; ++k)
    if (session->cellIndex().count(k / 5, k % 5) > session->cellIndex().count(fullest / 5, fullest % 5))
      fullest = k;
  view.cellCombo()->setCurrentIndex(fullest);
  emit view.cellCombo()->activated(fullest);
  EXPECT_EQ(request.selectedEntry(), fullest);
  const CellDescription& d = request.description();
  ASSERT_GT(d.count, 0);
  EXPECT_EQ(view.countLabel()->text(), QString::number(d.count));
  EXPECT_EQ(listTexts(view.pointList()), d.rowIds);
  EXPECT_EQ(listTexts(view.centreList()), d.centreLines);
  EXPECT_EQ(listTexts(view.averageList()), d.averageLines);
  EXPECT_EQ(view.centreList()->count(), 4);   // the four selected measurements
  EXPECT_EQ(view.averageList()->count(), 8);  // every raw column
  EXPECT_TRUE(view.averageList()->item(0)->text().endsWith(QStringLiteral(" - sepal_length_cm")));
}

TEST_F(MapSessionTest, FinderSearchesSubstringsOrShowsAllIdsAndNamesTheCellOfTheChosenOne) {
  CellFinderRequest request(session->cellIndex(), session->dataSet());
  CellFinderDialog view(request);
  EXPECT_EQ(view.windowTitle(), QStringLiteral("Cell finder"));
  EXPECT_FALSE(view.showAllBox()->isChecked());
  EXPECT_EQ(view.idList()->count(), 0);
  EXPECT_EQ(view.substringEdit()->maxLength(), 50);

  const auto find = [&](const char* text) {
    view.substringEdit()->setText(QString::fromLatin1(text));
    view.findButton()->click();
    return listTexts(view.idList());
  };
  std::vector<std::string> tens;
  for (int i = 10; i <= 19; ++i) tens.push_back("iris0" + std::to_string(i));
  EXPECT_EQ(find("iris01"), tens);
  EXPECT_EQ(find("s15"), (std::vector<std::string>{"iris150"}));
  EXPECT_TRUE(find("IRIS").empty());  // case-sensitive
  EXPECT_TRUE(find("xyz").empty());
  EXPECT_TRUE(find("").empty());
  EXPECT_EQ(find("ris1").size(), 51u);  // iris100 … iris150 and iris1xx only

  // "Show all IDs": every row in order, the search disabled; cleared, the substring again.
  find("iris01");
  view.showAllBox()->click();
  ASSERT_EQ(view.idList()->count(), kIrisRows);
  EXPECT_EQ(view.idList()->item(0)->text(), QStringLiteral("iris001"));
  EXPECT_EQ(view.idList()->item(149)->text(), QStringLiteral("iris150"));
  EXPECT_FALSE(view.findButton()->isEnabled());
  EXPECT_FALSE(view.substringLabel()->isEnabled());
  EXPECT_FALSE(view.substringEdit()->isEnabled());
  view.showAllBox()->click();
  EXPECT_TRUE(view.findButton()->isEnabled());
  EXPECT_TRUE(view.substringLabel()->isEnabled());
  EXPECT_EQ(listTexts(view.idList()), tens);

  // Choosing iris013 (row 12) names its winner's cell and every row of that cell.
  view.idList()->setCurrentRow(3);
  const CellPos cell = winnerOf(*session, 12);
  EXPECT_EQ(view.cellLabel()->text().toStdString(), kohonen::cellName(cell.row, cell.column));
  std::vector<std::string> others;
  for (std::int32_t i : session->cellIndex().rowsIn(cell.row, cell.column))
    others.push_back(table.rowIds[static_cast<std::size_t>(i)]);
  EXPECT_EQ(listTexts(view.otherList()), others);
  EXPECT_NE(std::find(others.begin(), others.end(), "iris013"), others.end());
  // A new search forgets the chosen row.
  find("iris02");
  EXPECT_TRUE(view.cellLabel()->text().isEmpty());
  EXPECT_EQ(view.otherList()->count(), 0);
}

TEST(NewMapDialogTest, ExistenceTakesTwoColoursAndOkWritesTheChoiceBack) {
  NewMapRequest request({"a", "b", "c"});
  NewMapDialog view(request);
  EXPECT_EQ(view.windowTitle(), QStringLiteral("Create New Map"));
  EXPECT_TRUE(view.averageButton()->isChecked());
  EXPECT_EQ(view.featureCombo()->count(), 3);
  EXPECT_EQ(view.featureCombo()->currentIndex(), 0);
  ASSERT_EQ(view.coloursCombo()->count(), 9);
  EXPECT_EQ(view.coloursCombo()->currentText(), QStringLiteral("2"));
  EXPECT_EQ(view.coloursCombo()->itemText(8), QStringLiteral("10"));

  view.coloursCombo()->setCurrentIndex(5);  // "7"
  view.existenceButton()->click();
  EXPECT_EQ(view.coloursCombo()->currentText(), QStringLiteral("2"));
  EXPECT_FALSE(view.coloursCombo()->isEnabled());
  EXPECT_FALSE(view.coloursLabel()->isEnabled());
  view.averageButton()->click();
  EXPECT_TRUE(view.coloursCombo()->isEnabled());
  EXPECT_TRUE(view.coloursLabel()->isEnabled());

  view.featureCombo()->setCurrentIndex(2);
  view.coloursCombo()->setCurrentIndex(3);  // "5"
  view.accept();
  EXPECT_EQ(request.mode(), MapMode::Average);
  EXPECT_EQ(request.featureColumn, 2);
  EXPECT_EQ(request.colourCount, 5);
  EXPECT_TRUE(request.valid());
}

TEST(MapDialogHooksTest, InstallFillsTheThreeMapHooksAndKeepsTheOthers) {
  GridwiseDialogHooks hooks;
  int selected = 0;
  hooks.selectColumns = [&](ColumnSelectionRequest&) { return ++selected; };
  installMapDialogViews(hooks);
  EXPECT_TRUE(hooks.chooseNewMap);
  EXPECT_TRUE(hooks.describeCell);
  EXPECT_TRUE(hooks.findCell);
  EXPECT_TRUE(hooks.selectColumns);
  EXPECT_FALSE(hooks.editPreferences);

  // The new-map hook shows the dialog modally: accepted with Existence chosen, it says OK.
  NewMapRequest request({"x", "y"});
  QTimer::singleShot(0, [] {
    auto* dialog = qobject_cast<NewMapDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialog->existenceButton()->click();
    dialog->featureCombo()->setCurrentIndex(1);
    dialog->accept();
  });
  EXPECT_EQ(hooks.chooseNewMap(request), IDOK);
  EXPECT_EQ(request.mode(), MapMode::Existence);
  EXPECT_EQ(request.featureColumn, 1);
  QTimer::singleShot(0, [] { QApplication::activeModalWidget()->close(); });
  EXPECT_EQ(hooks.chooseNewMap(request), IDCANCEL);
}

}  // namespace
}  // namespace gridwise_test
