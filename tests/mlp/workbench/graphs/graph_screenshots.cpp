// Pictures of the graph windows with real data, for looking at them: trains wine.csv (13
// measurements standardised, the three cultivar indicators on [-1, +1], 40 random test examples)
// with kestrel, runs the boxcounting, then saves each window as its screen shows it into the
// folder given as the first argument:
//   error_viewer.png, error_viewer_log.png, scattering_diagram.png,
//   error_viewer_svg_rendered.png (the SVG export drawn back), answers_view.png,
//   boxcounting_results.png, and the error viewer's own export error_viewer.svg.
// Not a test: run it by hand (under Xvfb for a real screen size).

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPainter>
#include <QRadioButton>
#include <QSlider>
#include <QSvgRenderer>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "mlp/workbench/qt/graphs/answers_dlg.h"
#include "mlp/workbench/qt/graphs/bc_sheet.h"
#include "mlp/workbench/qt/graphs/graph_window.h"
#include "mlp/workbench/qt/graphs/qt_modal_run.h"
#include "mlp/workbench/qt/graphs/scatter_dlg.h"
#include "mlp/workbench/qt/graphs/vantor_graphs.h"
#include "mlp/workbench/vantor_dialogs.h"
#include "mlp/workbench/vantor_session.h"
#include "platform/scripted_prompter.h"
#include "shared/progress.h"
#include "tests/shared/data_set_test_tables.h"

namespace {

void settle() {
  for (int i = 0; i < 5; ++i) {
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

bool save(QWidget& window, const QString& folder, const char* name) {
  settle();
  const QString path = folder + "/" + name;
  const bool ok = window.grab().save(path);
  std::printf("%s %s (%dx%d)\n", ok ? "wrote" : "FAILED", qPrintable(path), window.width(), window.height());
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(folder);
  const std::filesystem::path work = std::filesystem::temp_directory_path() / "lumivane-graph-screenshots";
  std::filesystem::create_directories(work);
  std::ofstream(work / "methinfo") << KESTREL_LIBRARY << "\n";

  platform::ScriptedPrompter prompter;
  platform::PrompterScope scope(prompter);
  RawTable table = lumivane::test::loadSampleTable("wine.csv");
  VantorSession session(table, work.string());
  if (!session.Initialise()) return 1;
  auto columns = [&](int first, int count, const char* normalisation) {
    std::vector<std::string> names(table.columnNames.begin() + first,
                                   table.columnNames.begin() + first + count);
    prompter.answerModal([names](platform::ModalDialog& d) {
      auto& dialog = dynamic_cast<ColumnChoiceDialog&>(d);
      dialog.choose(names);
      dialog.normalise();
      return dialog.canAccept() ? platform::IDOK : platform::IDCANCEL;
    });
    prompter.answerModal([normalisation](platform::ModalDialog& d) {
      dynamic_cast<NormalisationDialog&>(d).choose(normalisation);
      return platform::IDOK;
    });
  };
  columns(0, 13, "Mean / Variance");
  if (!session.SelectInputs()) return 1;
  columns(14, 3, "(-1, +1) normalization");
  if (!session.SelectOutputs()) return 1;
  prompter.answerModal([](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<NetworkConstructorDialog&>(d);
    dialog.rows[0].neurons = 8;
    return dialog.accept() ? platform::IDOK : platform::IDCANCEL;
  });
  if (!session.CreateNetwork()) return 1;
  prompter.answerModal([](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<TestSetDialog&>(d);
    dialog.mode = TestSetMode::RandomTestSet;
    dialog.testCount = 40;
    return dialog.accept() ? platform::IDOK : platform::IDCANCEL;
  });
  if (!session.EditTestSet()) return 1;
  prompter.answerModal([](platform::ModalDialog& d) {
    dynamic_cast<StoppingCriteriaDialog&>(d).criteria = {1, 399, 0.0f, 0.0f};
    return platform::IDOK;
  });
  session.EditStoppingCriteria();

  VantorGraphs graphs(session, nullptr);
  graphs.showErrorViewer();  // open while training: it grows epoch by epoch
  if (!session.StartTraining()) return 1;
  while (session.isTraining()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  session.WaitForTrainingEnd();
  std::printf("trained %d epochs, training error %s, test error %s\n", session.run().Snapshot().epochCounter,
              session.TrainingErrorText().c_str(), session.TestErrorText().c_str());

  CGraphWindow& viewer = *graphs.errorViewer();
  viewer.windowList()->setCurrentText("100");
  emit viewer.windowList()->activated(viewer.windowList()->currentIndex());
  save(viewer, folder, "error_viewer.png");
  viewer.savePicture(folder + "/error_viewer.svg");
  {
    // The SVG drawn back into an image, to compare with the window.
    QSvgRenderer svg(folder + "/error_viewer.svg");
    QImage back(viewer.size(), QImage::Format_RGB32);
    back.fill(Qt::white);
    QPainter painter(&back);
    svg.render(&painter);
    painter.end();
    back.save(folder + "/error_viewer_svg_rendered.png");
  }
  viewer.yScaleList()->setCurrentIndex(1);
  emit viewer.yScaleList()->activated(1);
  viewer.xScaleList()->setCurrentIndex(1);
  emit viewer.xScaleList()->activated(1);
  save(viewer, folder, "error_viewer_log.png");

  graphs.showScatteringDiagram();
  CScatterDlg& diagram = *graphs.scatteringDiagram();
  diagram.resize(560, 420);
  save(diagram, folder, "scattering_diagram.png");

  prompter.answerModal([&](platform::ModalDialog& d) {
    auto& dialog = dynamic_cast<CAnswersDlg&>(dynamic_cast<QtModalRun&>(d).dialog());
    dialog.resize(760, 620);
    dialog.show();
    dialog.coloringBox()->setChecked(true);
    save(dialog, folder, "answers_view.png");
    dialog.realScaleButton()->setChecked(true);
    dialog.lastSlider()->setValue(100);
    dialog.firstSlider()->setValue(40);
    save(dialog, folder, "answers_view_real_scale.png");
    return platform::IDOK;
  });
  graphs.showNetworkAnswers();

  NullProgress quiet;
  const significance::BoxCounter* results = session.Boxcounting(&quiet);
  if (results == nullptr) return 1;
  prompter.answerModal([&](platform::ModalDialog& d) {
    auto& sheet = dynamic_cast<CBCSheet&>(dynamic_cast<QtModalRun&>(d).dialog());
    sheet.resize(640, 480);
    sheet.show();
    settle();
    sheet.page()->hoverAt(sheet.page()->chart()->width() * 7 / 10);
    save(sheet, folder, "boxcounting_results.png");
    return platform::IDOK;
  });
  graphs.showBoxcountingResults(*results);
  std::filesystem::remove_all(work);
  return 0;
}
