// Pictures of Gridwise's map windows over iris, for looking at them:
//   gridwise_map_screenshots IRIS_CSV OUTPUT_FOLDER
// Reads the table (first column the row IDs), makes patterns of the four measurements with
// "Mean / Variance" and the principal components the analyzer proposes, trains a 10 × 10 map
// through the session, and saves every window as shown (menu included) and the plain pictures.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

#include "kohonen/workbench/gridwise_session.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/qt/maps/cell_dialogs.h"
#include "kohonen/workbench/qt/maps/gridwise_maps.h"
#include "kohonen/workbench/qt/maps/map_window.h"
#include "kohonen/workbench/selector_request.h"
#include "platform/scripted_prompter.h"

namespace {

bool readTable(const QString& path, RawTable& table) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
  QTextStream in(&file);
  const QStringList header = in.readLine().split(QLatin1Char(','));
  std::vector<QStringList> rows;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (!line.isEmpty()) rows.push_back(line.split(QLatin1Char(',')));
  }
  const auto columns = static_cast<std::int32_t>(header.size() - 1);
  if (!table.allocate(columns, static_cast<std::int32_t>(rows.size()), true)) return false;
  for (std::int32_t c = 0; c < columns; ++c)
    table.columnNames[static_cast<std::size_t>(c)] = header[c + 1].toStdString();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    table.rowIds[i] = rows[i][0].toStdString();
    for (std::int32_t c = 0; c < columns; ++c)
      table.columns[static_cast<std::size_t>(c)][i] = rows[i][c + 1].toDouble();
  }
  table.loaded = true;
  return true;
}

void save(MapWindow& w, const QString& folder, const QString& name) {
  QApplication::processEvents();
  w.grab().save(folder + QLatin1Char('/') + name + QStringLiteral("-window.png"));
  w.writePicture(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
  std::printf("%s: %s, client %dx%d\n", name.toLocal8Bit().constData(),
              w.windowTitle().toLocal8Bit().constData(), w.canvas()->width(), w.canvas()->height());
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s IRIS_CSV OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[2]);
  QDir().mkpath(folder);
  RawTable table;
  if (!readTable(QString::fromLocal8Bit(argv[1]), table)) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }

  platform::ScriptedPrompter prompter;
  platform::PrompterScope scope(prompter);
  GridwiseSession session(table, ExcelConnection::instance(Tool::Gridwise));
  PaletteTable palette;
  palette.setColour(2, 0, {70, 110, 200});
  palette.setColour(2, 1, {240, 190, 40});
  palette.setColour(3, 0, {214, 60, 50});
  palette.setColour(3, 1, {80, 175, 75});
  palette.setColour(3, 2, {70, 110, 215});
  session.applyPreferences(session.trainingSettings(), palette);

  prompter.answerModal([](platform::ModalDialog& d) {
    auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
    const std::vector<std::int32_t> measurements{0, 1, 2, 3};
    r.deselectAll();
    r.select(measurements);
    r.normaliseCommand();
    r.setExtractComponents(true);
    return platform::IDOK;
  });
  prompter.answerModal([](platform::ModalDialog& d) {
    dynamic_cast<NormalisationRequest&>(d).button = 1;  // Mean / Variance
    return platform::IDOK;
  });
  prompter.answerModal([](platform::ModalDialog&) { return platform::IDOK; });  // PC Analyzer
  if (!session.createPatterns()) return 1;
  prompter.answerModal([](platform::ModalDialog& d) {
    auto& r = dynamic_cast<NetworkSizeRequest&>(d);
    r.rows = 10;
    r.columns = 10;
    return platform::IDOK;
  });
  if (!session.createNetwork()) return 1;

  const auto newMap = [&](std::int32_t column, MapMode mode, std::int32_t colours) {
    prompter.answerModal([=](platform::ModalDialog& d) {
      auto& r = dynamic_cast<NewMapRequest&>(d);
      r.setMode(mode);
      r.featureColumn = column;
      if (mode == MapMode::Average) r.colourCount = colours;
      return platform::IDOK;
    });
    std::optional<MapPicture> picture = session.createNewMap();
    if (!picture) std::exit(1);
    return std::move(*picture);
  };

  MapWindowSet maps(session, nullptr);
  const QSize client(480, 420);
  const auto sized = [&](MapWindow& w) {
    w.resize(client + (w.size() - w.canvas()->size()));
    QApplication::processEvents();
  };

  constexpr std::int32_t kSpecies = 4, kIsSetosa = 5;
  maps.open(newMap(kSpecies, MapMode::Average, 3));
  MapWindow& species = *maps.window(0);
  sized(species);
  save(species, folder, QStringLiteral("species-cell-size"));
  species.setCellSize(false);
  species.setShowNames(true);
  species.setExtraInfo(true);
  save(species, folder, QStringLiteral("species-average-names-legend"));
  species.setUMatrix(true);
  save(species, folder, QStringLiteral("species-umatrix"));

  maps.open(newMap(kIsSetosa, MapMode::Existence, 2));
  MapWindow& setosa = *maps.window(1);
  sized(setosa);
  setosa.setExtraInfo(true);
  save(setosa, folder, QStringLiteral("setosa-existence-cell-size"));
  setosa.setUMatrix(true);
  setosa.setShowNames(true);
  setosa.setNamesFontSize(20);
  save(setosa, folder, QStringLiteral("setosa-existence-umatrix-names20"));

  // The two dialogs over the same map.
  CellDescriptionRequest description(*session.net(), session.cellIndex(), session.dataSet(), {0, 0});
  CellDescriptionDialog describe(description);
  description.selectCell(session.cellIndex().cellOf(0));
  describe.refresh();
  describe.show();
  QApplication::processEvents();
  describe.grab().save(folder + QStringLiteral("/cell-description.png"));
  CellFinderRequest finder(session.cellIndex(), session.dataSet());
  CellFinderDialog find(finder);
  find.substringEdit()->setText(QStringLiteral("iris01"));
  find.findButton()->click();
  find.idList()->setCurrentRow(2);
  find.show();
  QApplication::processEvents();
  find.grab().save(folder + QStringLiteral("/cell-finder.png"));
  return 0;
}
