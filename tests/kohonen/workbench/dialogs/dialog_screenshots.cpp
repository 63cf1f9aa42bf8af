// Renders every Gridwise dialog over iris-like data into PNG files, for looking at them:
//   gridwise_dialog_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>

#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/preferences_request.h"
#include "kohonen/workbench/qt/dialogs/create_network_dialog.h"
#include "kohonen/workbench/qt/dialogs/pc_analyzer_dialog.h"
#include "kohonen/workbench/qt/dialogs/preferences_sheet.h"
#include "kohonen/workbench/qt/dialogs/selector_dialog.h"
#include "kohonen/workbench/selector_request.h"

namespace {

bool save(QWidget& dialog, const QDir& folder, const char* name) {
  dialog.show();
  QApplication::processEvents();
  const QString path = folder.filePath(QString::fromUtf8(name) + QStringLiteral(".png"));
  const bool ok = dialog.grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.toLocal8Bit().constData());
  dialog.hide();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(QStringLiteral("."))) return 1;
  bool ok = true;

  const std::vector<std::string> columns = {"sepal_length_cm", "sepal_width_cm", "petal_length_cm",
                                            "petal_width_cm",  "species",        "is_setosa",
                                            "is_versicolor",   "is_virginica"};
  ColumnChoice previous = ColumnChoice::initial(static_cast<std::int32_t>(columns.size()));
  previous.selected = {0, 1, 2, 3};
  previous.extractComponents = true;
  ColumnSelectionRequest selection(columns, previous);
  SelectorDialog selector(selection);
  ok &= save(selector, folder, "selector");

  NormalisationRequest normalisation;
  normalisation.button = 1;
  GridwiseNormalisationDialog normalise(normalisation);
  ok &= save(normalise, folder, "normalisation");

  // Eigenvalues of the four iris measurements under mean / variance normalisation.
  RealMatrix values(4, 1);
  const double iris[] = {2.9185, 0.9140, 0.1468, 0.0207};
  for (int i = 0; i < 4; ++i) values(i, 0) = iris[i];
  PcAnalyzerRequest components(values);
  PcAnalyzerDialog analyser(components);
  ok &= save(analyser, folder, "pc_analyzer");

  // Four constant columns: no variance at all.
  RealMatrix flat(4, 1);
  for (int i = 0; i < 4; ++i) flat(i, 0) = 0.0;
  PcAnalyzerRequest noVariance(flat);
  PcAnalyzerDialog flatAnalyser(noVariance);
  ok &= save(flatAnalyser, folder, "pc_analyzer_no_variance");

  NetworkSizeRequest size(NetworkSizeRequest::kDefaultSize, NetworkSizeRequest::kDefaultSize);
  CreateNetworkDialog network(size);
  ok &= save(network, folder, "create_network");

  PreferencesRequest preferences(TrainingSettings{}, PaletteTable{}, {});
  PreferencesSheet sheet(preferences);
  sheet.findChild<QComboBox*>()->setCurrentIndex(3);
  ok &= save(sheet, folder, "preferences_colors");
  sheet.findChild<QTabWidget*>()->setCurrentIndex(1);
  ok &= save(sheet, folder, "preferences_training");
  return ok ? 0 : 1;
}
