// The graph windows over a real session trained by kestrel, offscreen: at most one error viewer
// and diagram, pixels of the rendered pictures at points computed independently, the
// incremental update against a full paint, the controls' rules, the modal views through the
// scripted prompter, and the PNG/SVG export.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QSvgRenderer>
#include <QTabWidget>
#include <cmath>
#include <filesystem>

#include "mlp/workbench/graphs/network_snapshot.h"
#include "mlp/workbench/qt/graphs/answers_dlg.h"
#include "mlp/workbench/qt/graphs/bc_sheet.h"
#include "mlp/workbench/qt/graphs/graph_renderers.h"
#include "mlp/workbench/qt/graphs/graph_window.h"
#include "mlp/workbench/qt/graphs/qt_modal_run.h"
#include "mlp/workbench/qt/graphs/scatter_dlg.h"
#include "mlp/workbench/qt/graphs/vantor_graphs.h"
#include "shared/progress.h"
#include "tests/mlp/workbench/session_test_support.h"

namespace lumivane::test {
namespace {

using platform::IDOK;

QColor pixel(const QImage& image, int x, int y) {
  return QColor(image.pixel(x, y));
}

// The colour at (x, y) or at one of its eight neighbours: the rasteriser may place a steep
// line's pixels one pixel beside the vertex it was given.
bool near(const QImage& image, int x, int y, const QColor& colour) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (image.valid(x + dx, y + dy) && pixel(image, x + dx, y + dy) == colour) return true;
  return false;
}

int countDifferingPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return a.width() * a.height();
  const QImage ca = a.convertToFormat(QImage::Format_RGB32);
  const QImage cb = b.convertToFormat(QImage::Format_RGB32);
  int differing = 0;
  for (int y = 0; y < ca.height(); ++y)
    for (int x = 0; x < ca.width(); ++x)
      if (ca.pixel(x, y) != cb.pixel(x, y)) ++differing;
  return differing;
}

// Pixels of a whose colour appears nowhere in their 3 × 3 neighbourhood in b: two drawings of
// the same lines by different vertex runs may differ by a pixel's step, never by more.
int countUnmatchedPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return a.width() * a.height();
  int unmatched = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (a.pixel(x, y) != b.pixel(x, y) && !near(b, x, y, pixel(a, x, y))) ++unmatched;
  return unmatched;
}

// Lets windows closed with WA_DeleteOnClose go.
void flushDeletes() {
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template <class Window>
int openWindows() {
  int count = 0;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (dynamic_cast<Window*>(w) != nullptr) ++count;
  return count;
}

class GraphWindowsTest : public SessionFixture {
 protected:
  void SetUp() override { table = loadSampleTable("iris.csv"); }
  void TearDown() override {
    graphs.reset();
    flushDeletes();
    SessionFixture::TearDown();
  }

  // iris: four measurements in, three indicators out, 30 random test examples, a network.
  bool prepare() {
    if (!listKestrel()) return false;
    open(table);
    selectInputs(columnNames(table, 0, 4), "Mean / Variance");
    selectOutputs(columnNames(table, 5, 3), "(-1, +1) normalization");
    createNetwork([](NetworkConstructorDialog& d) { d.rows[0].neurons = 5; });
    prompter.answerModal([](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<TestSetDialog&>(d);
      dialog.mode = TestSetMode::RandomTestSet;
      dialog.testCount = 30;
      return dialog.accept() ? IDOK : platform::IDCANCEL;
    });
    EXPECT_TRUE(session->EditTestSet());
    graphs = std::make_unique<VantorGraphs>(*session, nullptr);
    return true;
  }
  // Trains until the epoch counter reaches `epochs`.
  void trainTo(int epochs) {
    setCriteria({1, epochs - 1, 0.0f, 0.0f});
    trainToEnd();
    ASSERT_EQ(session->run().Snapshot().epochCounter, epochs);
  }

  std::unique_ptr<VantorGraphs> graphs;
};

TEST_F(GraphWindowsTest, EachWindowOpensOnceAndGoesWithTheNetwork) {
  if (!prepare()) GTEST_SKIP() << "kestrel is not part of this build";
  graphs->showErrorViewer();
  CGraphWindow* viewer = graphs->errorViewer();
  ASSERT_NE(viewer, nullptr);
  graphs->showErrorViewer();  // "Errors history" twice
  EXPECT_EQ(graphs->errorViewer(), viewer);
  EXPECT_EQ(openWindows<CGraphWindow>(), 1);
  EXPECT_EQ(viewer->windowTitle(), "Error Viewer");
  EXPECT_GE(viewer->width(), viewer->layout().minimumWidth());
  EXPECT_GE(viewer->height(), 300);
  EXPECT_EQ(viewer->minimumWidth(), 86 * viewer->layout().unitX);

  viewer->close();  // clears the open flag: the next command opens a new viewer
  flushDeletes();
  EXPECT_EQ(graphs->errorViewer(), nullptr);
  graphs->showErrorViewer();
  EXPECT_NE(graphs->errorViewer(), nullptr);

  graphs->showScatteringDiagram();
  CScatterDlg* diagram = graphs->scatteringDiagram();
  graphs->showScatteringDiagram();
  EXPECT_EQ(graphs->scatteringDiagram(), diagram);
  EXPECT_EQ(openWindows<CScatterDlg>(), 1);

  ASSERT_TRUE(session->DiscardNetwork());  // discarding the network destroys both
  EXPECT_EQ(graphs->errorViewer(), nullptr);
  EXPECT_EQ(graphs->scatteringDiagram(), nullptr);
  flushDeletes();
  EXPECT_EQ(openWindows<CGraphWindow>() + openWindows<CScatterDlg>(), 0);
}

TEST_F(GraphWindowsTest, ClosedWindowsNeverTouchTheSessionAgain) {
  if (!prepare()) GTEST_SKIP() << "kestrel is not part of this build";
  // The sheet's order when it goes: close the windows, free the graphs and the session, and
  // only then let the closed windows be deleted (with the sheet's children).
  auto* parent = new QWidget;
  graphs = std::make_unique<VantorGraphs>(*session, parent);
  graphs->showErrorViewer();
  graphs->showScatteringDiagram();
  QPointer<CGraphWindow> viewer = graphs->errorViewer();
  QPointer<CScatterDlg> diagram = graphs->scatteringDiagram();
  graphs->closeAll();
  EXPECT_EQ(graphs->errorViewer(), nullptr);
  EXPECT_FALSE(viewer->isVisible() || diagram->isVisible());
  graphs.reset();
  session->StopTraining();
  session.reset();
  delete parent;  // the windows' destructors run now, after the session has gone
  EXPECT_TRUE(viewer.isNull() && diagram.isNull());
  flushDeletes();
}

TEST_F(GraphWindowsTest, FullPaintDrawsBothCurvesAtTheirComputedPoints) {
  if (!prepare()) GTEST_SKIP() << "kestrel is not part of this build";
  trainTo(60);
  graphs->showErrorViewer();
  CGraphWindow& viewer = *graphs->errorViewer();
  EXPECT_TRUE(session->run().mayStep());  // set again after the paint
  EXPECT_EQ(viewer.drawnEpoch(), 60);
  const QImage image = viewer.picture();
  const ErrorViewerModel& model = viewer.model();
  const GraphRect& g = viewer.layout().graph;
  const std::vector<float> train = session->run().TrainingHistory();
  const std::vector<float> test = session->run().TestHistory();
  int testChecked = 0;
  for (int k = 2; k < 60; ++k) {
    const int x = model.xOf(k, g);
    const int yTrain = model.yOf(train[static_cast<std::size_t>(k)], g);
    EXPECT_TRUE(near(image, x, yTrain, graph_colours::kTraining)) << "epoch " << k;
    const int yTest = model.yOf(test[static_cast<std::size_t>(k)], g);
    // Where no training segment passes, the test curve shows its own colour.
    const int low = std::min({model.yOf(train[static_cast<std::size_t>(k - 1)], g), yTrain,
                              model.yOf(train[static_cast<std::size_t>(k + 1)], g)}) -
                    3;
    const int high = std::max({model.yOf(train[static_cast<std::size_t>(k - 1)], g), yTrain,
                               model.yOf(train[static_cast<std::size_t>(k + 1)], g)}) +
                     3;
    if ((yTest < low || yTest > high) && yTest > g.top + 1 && yTest < g.bottom() - 1) {
      EXPECT_TRUE(near(image, x, yTest, graph_colours::kTest)) << "epoch " << k;
      ++testChecked;
    }
  }
  EXPECT_GT(testChecked, 0);
  const GraphRect& frame = viewer.layout().frame;
  EXPECT_EQ(pixel(image, frame.left, frame.top + frame.height / 2), graph_colours::kFrame);
  EXPECT_EQ(viewer.bottomEdit()->text(), "   0.000");
  EXPECT_EQ(viewer.topEdit()->text(), "   2.000");
}

TEST_F(GraphWindowsTest, IncrementalUpdateDrawsWhatAFullPaintDraws) {
  if (!prepare()) GTEST_SKIP() << "kestrel is not part of this build";
  trainTo(40);
  graphs->showErrorViewer();
  CGraphWindow& viewer = *graphs->errorViewer();
  const int paints = viewer.fullPaints();
  trainTo(70);  // the end's delivery brings epochs 41 … 70
  EXPECT_EQ(viewer.fullPaints(), paints);
  EXPECT_EQ(viewer.drawnEpoch(), 70);
  const QImage incremental = viewer.picture();
  viewer.fullPaint();
  EXPECT_LE(countDifferingPixels(incremental, viewer.picture()), 10);
  EXPECT_EQ(countUnmatchedPixels(incremental, viewer.picture()), 0);
  EXPECT_EQ(countUnmatchedPixels(viewer.picture(), incremental), 0);
}

TEST_F(GraphWindowsTest, ScaleListsAndEditsFollowTheirRules) {
  if (!prepare()) GTEST_SKIP() << "kestrel is not part of this build";
  trainTo(40);
  graphs->showErrorViewer();
  CGraphWindow& viewer = *graphs->errorViewer();
  EXPECT_EQ(viewer.windowList()->count(), 15);
  EXPECT_EQ(viewer.windowList()->currentText(), "500");

  viewer.bottomEdit()->setText("5");
  viewer.topEdit()->setText("3");
  emit viewer.topEdit()->editingFinished();
  EXPECT_DOUBLE_EQ(viewer.model().linearTop(), 6.0);
  EXPECT_EQ(viewer.topEdit()->text(), "   6.000");

  viewer.yScaleList()->setCurrentIndex(1);
  emit viewer.yScaleList()->activated(1);
  ASSERT_TRUE(viewer.model().yLog());
  EXPECT_EQ(viewer.bottomEdit()->text(), "1e-02");
  EXPECT_EQ(viewer.topEdit()->text(), "1e+01");
  // A logarithmic range below the errors: the next epoch raises the top tenfold and repaints.
  viewer.bottomEdit()->setText("0.0001");
  viewer.topEdit()->setText("0.001");
  emit viewer.bottomEdit()->editingFinished();
  EXPECT_DOUBLE_EQ(viewer.model().logTop(), 0.01);
  const int paints = viewer.fullPaints();
  trainTo(41);
  EXPECT_DOUBLE_EQ(viewer.model().logTop(), 0.1);
  EXPECT_EQ(viewer.fullPaints(), paints + 1);
  EXPECT_EQ(viewer.topEdit()->text(), "1e-01");

  viewer.windowList()->setCurrentText("10");
  emit viewer.windowList()->activated(viewer.windowList()->currentIndex());
  EXPECT_EQ(viewer.model().window(), 10);
  EXPECT_EQ(viewer.model().windowStart(), 20);  // 41 epochs beyond 4 · 10: 2 · 10 · (2 − 1)
}

TEST_F(GraphWindowsTest, ScatteringDiagramShowsTheNetworksAnswers) {
  if (!prepare()) GTEST_SKIP() << "kestrel is not part of this build";
  trainTo(30);
  graphs->showScatteringDiagram();
  CScatterDlg& diagram = *graphs->scatteringDiagram();
  EXPECT_EQ(diagram.windowTitle(), "Scattering Diagram");
  ASSERT_EQ(diagram.outputList()->count(), 3);
  ASSERT_EQ(diagram.data().training.size(), 120u);
  ASSERT_EQ(diagram.data().test.size(), 30u);
  // The diagram's copy of the network answers exactly as the session's network does.
  session->run().WithModel([&](const TrainingModelView& view) {
    std::vector<double> answer(3);
    for (int p : {0, 57, 119, 120, 149}) {
      view.network->Answer(view.dataSet->questions()[p], 4, answer.data(), 3);
      const ScatterSample& s = p < 120 ? diagram.data().training[static_cast<std::size_t>(p)]
                                       : diagram.data().test[static_cast<std::size_t>(p - 120)];
      EXPECT_EQ(s.answer, answer[0]) << p;
      EXPECT_EQ(s.target, view.dataSet->answers()[p][0]) << p;
    }
  });
  diagram.outputList()->setCurrentIndex(2);
  emit diagram.outputList()->activated(2);
  EXPECT_EQ(diagram.model().output(), 2);

  diagram.maximumEdit()->setText("0.01");  // below 0.1: refused, the kept value shown
  emit diagram.maximumEdit()->editingFinished();
  EXPECT_EQ(diagram.maximumEdit()->text(), "1");
  diagram.maximumEdit()->setText("2.5");
  diagram.applyButton()->click();
  EXPECT_DOUBLE_EQ(diagram.model().maximum(), 2.5);

  // Refreshed after epochs while open.
  const double before = diagram.data().training[0].answer;
  trainTo(60);
  EXPECT_NE(diagram.data().training[0].answer, before);
  diagram.closeButton()->click();
  flushDeletes();
  EXPECT_EQ(graphs->scatteringDiagram(), nullptr);
}

// A scattering picture over hand-made examples.
class FixedScatter final : public QWidget {
 public:
  FixedScatter() : picture(model, data, this) { picture.resize(301, 241); }
  ScatterModel model;
  ScatterData data;
  CScatterPicture picture;
};

TEST(ScatterPicture, PerfectAnswerDrawsItsCrossOnTheDiagonal) {
  FixedScatter s;
  s.data.training = {{0.5, 0.5}};
  s.data.test = {{-0.5, 0.6}};
  s.picture.redraw();
  const QImage image = s.picture.picture();
  const ScatterGeometry g = s.picture.geometry();
  const GraphPoint c = g.crosses.at(0);
  // The cross: two diagonals of 4 pixels through its centre.
  const std::vector<std::pair<int, int>> arms = {{0, 0}, {-2, -2}, {1, 1}, {-2, 2}, {1, -1}};
  for (auto [dx, dy] : arms)
    EXPECT_EQ(pixel(image, c.x + dx, c.y + dy), graph_colours::kTraining) << dx << "," << dy;
  EXPECT_EQ(pixel(image, c.x + 2, c.y + 2), graph_colours::kBackground);
  // Drawn through the painter's lines (any other device, here a clipped image), the same pixels.
  QImage viaLines(image.size(), QImage::Format_RGB32);
  {
    QPainter painter(&viaLines);
    painter.setClipRect(viaLines.rect());
    renderScatter(painter, g);
  }
  EXPECT_EQ(countDifferingPixels(viaLines, image), 0);
  // Its centre lies on the diagonal from (5, h − 5) to (w − 5, 5).
  const double diagonalY = (241 - 5) - (c.x - 5) * (241.0 - 10) / (301 - 10);
  EXPECT_NEAR(c.y, diagonalY, 1.0);
  // The diagonal itself is yellow away from the points, and the test example is a red dot.
  const int lineY = static_cast<int>(236 - 29 * 231.0 / 291);
  bool yellow = false;
  for (int y = lineY - 1; y <= lineY + 1; ++y) yellow |= pixel(image, 34, y) == graph_colours::kDiagonal;
  EXPECT_TRUE(yellow);
  const GraphPoint d = g.dots.at(0);
  EXPECT_EQ(pixel(image, d.x, d.y), graph_colours::kTest);
  EXPECT_EQ(pixel(image, d.x + 1, d.y + 1), graph_colours::kTest);
  EXPECT_EQ(pixel(image, 5, 100), QColor(Qt::black));  // the grid's left line
}

TEST_F(GraphWindowsTest, AnswersViewPlotsTargetsAndAnswers) {
  if (!prepare()) GTEST_SKIP() << "kestrel is not part of this build";
  trainTo(30);
  bool ran = false;
  prompter.answerModal([&](platform::ModalDialog& d) -> int {
    auto& dialog = dynamic_cast<CAnswersDlg&>(dynamic_cast<QtModalRun&>(d).dialog());
    ran = true;
    EXPECT_EQ(d.dialogTitle(), "Network answers vs. real data");
    dialog.resize(700, 560);
    dialog.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialog.data().rows, 150);
    EXPECT_EQ(dialog.firstSlider()->maximum(), 149);
    EXPECT_EQ(dialog.lastSlider()->value(), 149);
    EXPECT_TRUE(dialog.normalizedButton()->isChecked());

    // The first slider past the last drags the last along.
    dialog.lastSlider()->setValue(10);
    dialog.firstSlider()->setValue(20);
    EXPECT_EQ(dialog.model().first(), 20);
    EXPECT_EQ(dialog.lastSlider()->value(), 20);
    dialog.lastSlider()->setValue(80);

    // The picture follows the selection: one point per example from 20 to 80.
    EXPECT_EQ(dialog.picture()->geometry().targetLine.size(), 61u);

    // Real scale: the targets are the worksheet's values again.
    dialog.realScaleButton()->setChecked(true);
    EXPECT_TRUE(dialog.model().realScale());
    for (int r : {0, 75, 149})
      EXPECT_NEAR(dialog.data().realTargets[static_cast<std::size_t>(r) * 3],
                  table.columns[5][static_cast<std::size_t>(r)], 1e-9);
    // Colouring: a test example's dot in red.
    dialog.coloringBox()->setChecked(true);
    const AnswersGeometry coloured = dialog.picture()->geometry();
    const QImage dots = dialog.picture()->picture();
    bool sawTest = false;
    for (const AnswersGeometry::Dot& dot : coloured.dots)
      if (dot.test) {
        EXPECT_EQ(pixel(dots, dot.at.x, dot.at.y), graph_colours::kTest);
        sawTest = true;
        break;
      }
    EXPECT_TRUE(sawTest);
    return IDOK;
  });
  graphs->showNetworkAnswers();
  EXPECT_TRUE(ran);
}

// An answers picture over hand-made examples: targets rising, answers far below them.
class FixedAnswers final : public QWidget {
 public:
  FixedAnswers() : model(40, 1), picture(model, data, this) {
    data.rows = 40;
    data.outputs = 1;
    for (int r = 0; r < 40; ++r) {
      data.targets.push_back(1.0 + 0.05 * r + 0.3 * std::sin(r));
      data.answers.push_back(-1.0 + 0.02 * r);
      data.isTest.push_back(r % 5 == 0);
    }
    data.realTargets = data.targets;
    data.realAnswers = data.answers;
    picture.resize(500, 300);
  }
  AnswersModel model;
  AnswersData data;
  CAnswersPicture picture;
};

TEST(AnswersPicture, TargetsOrangeAnswersGreenDotsByTheSplit) {
  FixedAnswers a;
  a.picture.redraw();
  QImage image = a.picture.picture();
  AnswersGeometry g = a.picture.geometry();
  ASSERT_EQ(g.targetLine.size(), 40u);
  for (std::size_t i = 1; i + 1 < 40; ++i) {
    EXPECT_TRUE(near(image, g.targetLine[i].x, g.targetLine[i].y, graph_colours::kRealData)) << i;
    EXPECT_TRUE(near(image, g.answerLine[i].x, g.answerLine[i].y, graph_colours::kAnswer)) << i;
  }
  EXPECT_EQ(g.topLabel, formatNumber("%7.3g", g.top));
  a.model.setColoring(true);
  a.picture.redraw();
  image = a.picture.picture();
  g = a.picture.geometry();
  ASSERT_EQ(g.dots.size(), 40u);
  EXPECT_EQ(pixel(image, g.dots[5].at.x, g.dots[5].at.y), graph_colours::kTest);
  EXPECT_EQ(pixel(image, g.dots[6].at.x, g.dots[6].at.y), graph_colours::kTraining);
}

SignificanceChartModel chartOf(int inputs, double value) {
  std::vector<std::string> names;
  std::vector<double> row;
  for (int i = 0; i < inputs; ++i) {
    names.push_back("x" + std::to_string(i + 1));
    row.push_back(value * (i + 1));
  }
  return SignificanceChartModel({row}, {0.5}, {0.25}, names, {"y"});
}

TEST(BoxcountingPage, SliderAndBarsFollowTheInputCount) {
  CBCMeaningPage many(chartOf(25, 0.01));
  EXPECT_TRUE(many.slider()->isEnabled());
  EXPECT_EQ(many.slider()->minimum(), 0);
  EXPECT_EQ(many.slider()->maximum(), 5);
  many.chart()->resize(500, 200);
  EXPECT_EQ(many.chart()->geometry().bars.size(), 20u);
  many.slider()->setValue(5);
  EXPECT_EQ(many.chart()->geometry().bars.front().label, "6");
  many.hoverAt(499);
  EXPECT_EQ(many.hoverLabel()->text(), "x25: 0.250");
  many.hoverAt(10);  // over the strip
  EXPECT_EQ(many.hoverLabel()->text(), "");

  CBCMeaningPage few(chartOf(7, 0.1));
  EXPECT_FALSE(few.slider()->isEnabled());
  few.chart()->resize(500, 200);
  EXPECT_EQ(few.chart()->geometry().bars.size(), 7u);
  EXPECT_EQ(few.predictabilityLabel()->text(), "Mean predictability: 0.500 bits");
  EXPECT_EQ(few.spreadLabel()->text(), "Variance: 0.250 bits");
}

TEST(BoxcountingPage, BarTopsAtTheirNormalisedHeight) {
  CBCMeaningPage page(SignificanceChartModel({{0.2, 0.8, 0.5}}, {1.0}, {0.0}, {"a", "b", "c"}, {"y"}));
  page.chart()->resize(400, 300);
  page.chart()->redraw();
  const QImage image = page.chart()->picture();
  const auto bars = page.chart()->geometry().bars;
  ASSERT_EQ(bars.size(), 3u);
  for (std::size_t k = 0; k < bars.size(); ++k) {
    const double v = std::vector<double>{0.25, 1.0, 0.625}[k];
    const int top = static_cast<int>((1.0 - v) * 300);
    EXPECT_EQ(bars[k].top, top);
    const int x = bars[k].left + 3;
    EXPECT_EQ(pixel(image, x, top + 3), graph_colours::kBar) << k;
    if (top >= 2) {
      EXPECT_EQ(pixel(image, x, top - 2), graph_colours::kBackground) << k;
    }
  }
  EXPECT_EQ(pixel(image, 2, 299), graph_colours::kStrip);
}

TEST(BoxcountingPage, AllZeroRowLeavesTheChartEmpty) {
  CBCMeaningPage page(chartOf(5, 0.0));
  page.chart()->resize(400, 300);
  page.chart()->redraw();
  const QImage image = page.chart()->picture();
  EXPECT_EQ(page.chart()->geometry().maximumLabel, "0.000");
  for (const SignificanceBar& bar : page.chart()->geometry().bars)
    EXPECT_EQ(pixel(image, bar.left + 3, 150), graph_colours::kBackground);
}

// The sheet over iris's boxcounting results, as the scripted modal run finds it.
void checkResultsSheet(CBCSheet& sheet, const significance::BoxCounter& results) {
  auto* buttons = sheet.findChild<QDialogButtonBox*>();
  ASSERT_NE(buttons, nullptr);
  EXPECT_EQ(buttons->buttons().size(), 1);
  EXPECT_EQ(buttons->standardButtons(), QDialogButtonBox::Ok);
  auto* tabs = sheet.findChild<QTabWidget*>();
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->tabText(0), "Inputs' significance");
  CBCMeaningPage& page = *sheet.page();
  EXPECT_EQ(page.outputList()->count(), 3);
  EXPECT_EQ(page.outputList()->itemText(0).toStdString(), results.outputNames()[0]);
  EXPECT_FALSE(page.slider()->isEnabled());  // four inputs
  char expected[64];
  std::snprintf(expected, sizeof expected, "Mean predictability: %5.3f bits",
                results.predictabilityMidpoint(0));
  EXPECT_EQ(page.predictabilityLabel()->text(), expected);
  page.outputList()->setCurrentIndex(1);
  emit page.outputList()->activated(1);
  std::snprintf(expected, sizeof expected, "Variance: %5.3f bits", results.predictabilityHalfWidth(1));
  EXPECT_EQ(page.spreadLabel()->text(), expected);
  page.chart()->resize(400, 200);
  page.hoverAt(399);
  EXPECT_TRUE(page.hoverLabel()->text().startsWith("petal_width_cm: "));
}

TEST_F(GraphWindowsTest, BoxcountingResultsSheetHasOnlyOk) {
  if (!prepare()) GTEST_SKIP() << "kestrel is not part of this build";
  NullProgress quiet;
  const significance::BoxCounter* results = session->Boxcounting(&quiet);
  ASSERT_NE(results, nullptr);
  bool ran = false;
  prompter.answerModal([&](platform::ModalDialog& d) -> int {
    ran = true;
    EXPECT_EQ(d.dialogTitle(), "Boxcounting results");
    checkResultsSheet(dynamic_cast<CBCSheet&>(dynamic_cast<QtModalRun&>(d).dialog()), *results);
    return IDOK;
  });
  graphs->showBoxcountingResults(*results);
  EXPECT_TRUE(ran);
}

TEST(GraphPicture, ExportsWriteTheSamePicture) {
  TempDir dir;
  CBCMeaningPage page(SignificanceChartModel({{0.2, 0.8, 0.5}}, {1.0}, {0.0}, {"a", "b", "c"}, {"y"}));
  page.chart()->resize(400, 300);
  page.chart()->redraw();
  const QImage shown = page.chart()->picture();

  const std::string png = dir.file("chart.png");
  ASSERT_TRUE(page.chart()->savePicture(QString::fromStdString(png)));
  EXPECT_EQ(countDifferingPixels(QImage(QString::fromStdString(png)), shown), 0);

  const std::string svg = dir.file("chart.SVG");
  ASSERT_TRUE(page.chart()->savePicture(QString::fromStdString(svg)));
  QFile file(QString::fromStdString(svg));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().startsWith("<?xml"));
  QSvgRenderer renderer(QString::fromStdString(svg));
  ASSERT_TRUE(renderer.isValid());
  QImage drawn(400, 300, QImage::Format_RGB32);
  drawn.fill(Qt::white);
  {
    QPainter painter(&drawn);
    renderer.render(&painter);
  }
  // Inside the bars, on the strip and on the background the vector copy has the same colours.
  const auto bars = page.chart()->geometry().bars;
  for (const auto& bar : bars) {
    const int x = (bar.left + bar.right) / 2;
    EXPECT_EQ(pixel(drawn, x, bar.top + 5), graph_colours::kBar);
    EXPECT_EQ(pixel(drawn, x, bar.top + 5), pixel(shown, x, bar.top + 5));
  }
  EXPECT_EQ(pixel(drawn, 10, 200), graph_colours::kStrip);
  EXPECT_EQ(pixel(drawn, bars[0].left + 5, 20), graph_colours::kBackground);
}

class SaveAsTest : public PromptedTest {};

TEST_F(SaveAsTest, SaveAsAsksForTheNameAndReportsAFailure) {
  TempDir dir;
  CBCMeaningPage page(chartOf(3, 0.1));
  page.chart()->resize(200, 100);
  const std::string target = dir.file("bars.png");
  prompter.answerFile(target);
  page.chart()->saveAs();
  EXPECT_TRUE(std::filesystem::exists(target));
  ASSERT_TRUE(prompter.lastFileRequest().has_value());
  EXPECT_TRUE(prompter.lastFileRequest()->save);
  EXPECT_EQ(prompter.lastFileRequest()->filter, CGraphPicture::kSaveFilter);

  const std::string unreachable = dir.file("missing/folder/bars.png");
  prompter.answerFile(unreachable);
  prompter.answerMessage(IDOK);
  page.chart()->saveAs();
  ASSERT_FALSE(prompter.messages().empty());
  EXPECT_EQ(prompter.messages().back().text, "Can't write file " + unreachable);
  EXPECT_EQ(prompter.messages().back().caption, "VANTOR3");
  EXPECT_FALSE(std::filesystem::exists(unreachable));
}

}  // namespace
}  // namespace lumivane::test
