#include "kohonen/workbench/gridwise_session.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <span>

#include "kohonen/engine/gridwise_project.h"
#include "kohonen/engine/principal_components.h"
#include "kohonen/workbench/gridwise_messages.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/preferences.h"
#include "kohonen/workbench/preferences_request.h"
#include "shared/tool_ui.h"

using platform::IDOK;

namespace {

constexpr char kOutOfMemoryMessage[] = "Out of memory";
// The project dialogs append this when the user types a name without extension.
constexpr char kProjectDefaultExt[] = "gwp";

void refusal(const std::string& text) {
  gridwiseMessage(text, kRefusalBox);
}
void failure(const std::string& text) {
  gridwiseMessage(text, kFailureBox);
}

platform::FileDialogRequest projectDialog(bool save) {
  platform::FileDialogRequest request;
  request.save = save;
  request.defaultExt = kProjectDefaultExt;
  request.filter = kProjectFilter;
  if (save) {
    request.fileName = kProjectDefaultName;
    request.overwritePrompt = true;
  } else {
    request.mustExist = true;
  }
  return request;
}

}  // namespace

GridwiseSession::GridwiseSession(const RawTable& table, ExcelConnection& connection)
    : table_(table),
      connection_(connection),
      dataSet_(table),
      choice_(ColumnChoice::initial(table.columnCount())) {
  place_.firstCell = "A1";
}

GridwiseSession::~GridwiseSession() = default;

void GridwiseSession::addObserver(GridwiseObserver& observer) {
  if (std::find(observers_.begin(), observers_.end(), &observer) == observers_.end())
    observers_.push_back(&observer);
}

void GridwiseSession::removeObserver(GridwiseObserver& observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), &observer), observers_.end());
}

void GridwiseSession::notify(unsigned changes) {
  if (changes == 0) return;
  // An observer may remove itself while being told.
  const std::vector<GridwiseObserver*> observers = observers_;
  for (GridwiseObserver* o : observers)
    if (std::find(observers_.begin(), observers_.end(), o) != observers_.end()) o->sessionChanged(changes);
}

// ---------------------------------------------------------------------------------------------
// The sheet's life

bool GridwiseSession::openSheet() {
  const bool all = loadPreferences(settings_, palette_);
  notify(kSettingsChanged | kPaletteChanged);
  return all;
}

void GridwiseSession::closeSheet() {
  storePreferences(settings_, palette_);
}

// ---------------------------------------------------------------------------------------------
// Project page texts

std::vector<std::string> GridwiseSession::patternLines() const {
  std::vector<std::string> lines;
  const auto& chosen = dataSet_.chosenColumns();
  for (std::size_t j = 0; j < chosen.size(); ++j)
    lines.push_back(dataSet_.columnNames()[static_cast<std::size_t>(chosen[j])] + " (" +
                    dataSet_.normalisers()[j].name() + ")");
  return lines;
}

std::vector<std::string> GridwiseSession::componentLines() const {
  if (!patterns_) return {"", ""};
  if (!dataSet_.projected()) return {"PCs are not supported", "Info percent: 100"};
  return {"Number of PC's: " + std::to_string(dataSet_.projectionMatrix().Cols()),
          "Info percent: " + std::to_string(informationPercent(dataSet_.retainedFraction()))};
}

std::vector<std::string> GridwiseSession::networkLines() const {
  if (!net_) return {"Net doesn't exist", ""};
  return {"Number of rows: " + std::to_string(net_->rows()),
          "Number of columns: " + std::to_string(net_->columns())};
}

std::string GridwiseSession::qualityLine() const {
  if (!net_ || !quality_) return std::string();
  char line[96];
  std::snprintf(line, sizeof line, "Quantisation error: %.5g, topographic error: %.3f",
                quality_->quantisationError, quality_->topographicError);
  return line;
}

void GridwiseSession::measureQuality() {
  quality_.reset();
  if (!net_) return;
  try {
    quality_ = measureMapQuality(*net_, dataSet_.workingMatrix());
  } catch (const MyException&) {
    // A map that does not fit the patterns has no quality to show.
  }
}

// ---------------------------------------------------------------------------------------------
// Commands of the Project page

void GridwiseSession::destroyNet() {
  if (!net_) return;
  // An output still waiting its turn must not write from a map that is gone.
  for (const auto& writer : queuedWriters_) connection_.withdrawRequest(*writer);
  queuedWriters_.clear();
  net_.reset();
  cellIndex_.clear();
  lastTraining_ = {};
  quality_.reset();
  notify(kNetChanged);
}

bool GridwiseSession::createPatterns() {
  if ((patterns_ || net_) && !gridwiseAsk(kDestroyNetAndDataQuestion)) return false;
  if (table_.rowCount <= 1) {
    refusal(kOneRowMessage);
    return false;
  }
  if (table_.columnCount() <= 1) {
    refusal(kOneColumnMessage);
    return false;
  }
  ColumnSelectionRequest request(dataSet_.columnNames(), choice_);
  // OK is disabled while nothing is selected; a dialog that returns OK regardless counts as
  // cancelled.
  if (platform::prompter().runModal(request) != IDOK || !request.canAccept()) return false;

  destroyNet();
  patterns_ = false;
  choice_ = request.choice();
  const unsigned changes = kPatternsChanged | kComponentsChanged;
  try {
    dataSet_.prepare(choice_.selected, choice_.kinds);
  } catch (const MyException& e) {
    failure(e.what());
    notify(changes);
    return false;
  } catch (const std::bad_alloc&) {
    failure(kOutOfMemoryMessage);
    notify(changes);
    return false;
  }
  if (choice_.extractComponents) {
    if (!principalComponentsPossible(dataSet_.chosenCount())) {
      refusal(kPcNeedsTwoColumnsMessage);
    } else if (!extractComponents()) {
      notify(changes);
      return false;
    }
  }
  patterns_ = true;
  notify(changes);
  return true;
}

bool GridwiseSession::extractComponents() {
  try {
    PcDecomposition pc;
    {
      std::unique_ptr<ProgressWindow> progress = openProgressWindow(ProgressVariant::GridwisePlain);
      pc = decomposeWorkingMatrix(dataSet_.workingMatrix(), *progress);
      progress->close();
    }
    PcAnalyzerRequest request(pc.values);
    // The dialog has a single OK; however it closes, its selection decides.
    platform::prompter().runModal(request);
    const PcProjection projection =
        projectOnComponents(dataSet_.workingMatrix(), pc, request.componentsToKeep());
    dataSet_.applyProjection(projection.projection, projection.retainedFraction);
    return true;
  } catch (const MyException& e) {
    dataSet_.clearSelection();
    failure(e.what());
  } catch (const std::bad_alloc&) {
    dataSet_.clearSelection();
    failure(kOutOfMemoryMessage);
  }
  return false;
}

bool GridwiseSession::createNetwork() {
  if (!patterns_) return false;
  if (net_ && !gridwiseAsk(kDestroyNetQuestion)) return false;
  NetworkSizeRequest request(net_ ? net_->rows() : NetworkSizeRequest::kDefaultSize,
                             net_ ? net_->columns() : NetworkSizeRequest::kDefaultSize);
  if (platform::prompter().runModal(request) != IDOK) return false;
  if (const std::optional<std::string> problem = request.problem()) {
    gridwiseMessage(*problem, kWarningBox);
    return false;
  }
  destroyNet();
  const RealMatrix& working = dataSet_.workingMatrix();
  try {
    net_.emplace(::createNetwork(request.rows, request.columns, working));
  } catch (const MyException& e) {
    net_.reset();
    failure(e.what());
    return false;
  } catch (const std::bad_alloc&) {
    net_.reset();
    failure(kOutOfMemoryMessage);
    return false;
  }
  {
    std::unique_ptr<ProgressWindow> progress = openProgressWindow(ProgressVariant::GridwiseCancellable);
    lastTraining_ = trainNetwork(*net_, working, settings_, *progress, cellIndex_);
    progress->close();
  }
  measureQuality();
  notify(kNetChanged);
  return true;
}

bool GridwiseSession::saveProject() {
  if (!canSaveProject()) return false;
  const std::optional<std::string> path = platform::prompter().fileDialog(projectDialog(true));
  if (!path) return false;
  const ProjectResult result = ::saveProject(*path, dataSet_, *net_);
  if (!result.ok()) {
    refusal(result.message);
    return false;
  }
  return true;
}

bool GridwiseSession::loadProject() {
  if ((patterns_ || net_) && !gridwiseAsk(kDestroyNetAndDataQuestion)) return false;
  const std::optional<std::string> path = platform::prompter().fileDialog(projectDialog(false));
  if (!path) return false;
  destroyNet();
  LoadedProject loaded = ::loadProject(*path, dataSet_);
  switch (loaded.result.status) {
    case ProjectStatus::Done:
      break;
    case ProjectStatus::CannotOpen:
    case ProjectStatus::BadFormat:
      // Nothing was read: the patterns stand, only the map is gone.
      refusal(loaded.result.message);
      return false;
    case ProjectStatus::Corrupted:
    case ProjectStatus::OutOfMemory:
      patterns_ = false;
      refusal(loaded.result.message);
      notify(kPatternsChanged | kComponentsChanged);
      return false;
  }
  net_ = std::move(loaded.net);
  patterns_ = true;
  cellIndex_.rebuild(*net_, dataSet_.workingMatrix());
  measureQuality();
  rememberChoiceFromDataSet();
  notify(kPatternsChanged | kComponentsChanged | kNetChanged);
  return true;
}

void GridwiseSession::rememberChoiceFromDataSet() {
  ColumnChoice choice = ColumnChoice::initial(table_.columnCount());
  const auto& chosen = dataSet_.chosenColumns();
  for (std::size_t j = 0; j < chosen.size(); ++j)
    choice.kinds[static_cast<std::size_t>(chosen[j])] = dataSet_.normalisers()[j].kind();
  choice.selected = chosen;
  std::sort(choice.selected.begin(), choice.selected.end());
  choice.selected.erase(std::unique(choice.selected.begin(), choice.selected.end()), choice.selected.end());
  choice.extractComponents = dataSet_.projected();
  choice_ = std::move(choice);
}

// ---------------------------------------------------------------------------------------------
// Results page

std::optional<MapPicture> GridwiseSession::createNewMap() {
  if (!canUseMap()) return std::nullopt;
  NewMapRequest request(table_.columnNames);
  if (platform::prompter().runModal(request) != IDOK || !request.valid()) return std::nullopt;
  const std::int32_t k =
      request.mode() == MapMode::Existence ? PaletteTable::kMinColours : request.colourCount;
  const std::span<const double> feature(table_.column(request.featureColumn),
                                        static_cast<std::size_t>(table_.rowCount));
  try {
    return buildMapPicture(*net_, dataSet_.workingMatrix(), feature,
                           table_.columnNames[static_cast<std::size_t>(request.featureColumn)],
                           request.mode(), k, palette_.palette(k));
  } catch (const MyException& e) {
    failure(e.what());
  } catch (const std::bad_alloc&) {
    failure(kOutOfMemoryMessage);
  }
  return std::nullopt;
}

void GridwiseSession::describeCells() {
  showCell({0, 0});
}

void GridwiseSession::showCell(CellPos cell) {
  if (!canUseMap()) return;
  if (openDescription_) {
    openDescription_->selectCell(cell);
    notify(kCellDescriptionChanged);
    return;
  }
  // Forgets the open dialog however it closes.
  struct OpenDialog {
    CellDescriptionRequest*& slot;
    ~OpenDialog() { slot = nullptr; }
  };
  try {
    CellDescriptionRequest request(*net_, cellIndex_, dataSet_, cell);
    OpenDialog open{openDescription_};
    openDescription_ = &request;
    platform::prompter().runModal(request);
  } catch (const MyException& e) {
    failure(e.what());
  } catch (const std::bad_alloc&) {
    failure(kOutOfMemoryMessage);
  }
}

void GridwiseSession::findCells() {
  if (!canUseMap()) return;
  CellFinderRequest request(cellIndex_, dataSet_);
  platform::prompter().runModal(request);
}

void GridwiseSession::initOutputPlace() {
  place_.useActive = true;
  fillActiveTarget(connection_, place_);
  notify(kOutputPlaceChanged);
}

void GridwiseSession::setUseActiveSheet(bool on) {
  place_.useActive = on;
  if (on)
    fillActiveTarget(connection_, place_);
  else
    fillAllTargets(connection_, place_);
  notify(kOutputPlaceChanged);
}

void GridwiseSession::selectWorkbook(int index) {
  if (index < 0 || index >= static_cast<int>(place_.workbooks.size())) return;
  place_.selectedWorkbook = index;
  fillWorksheets(connection_, place_);
  notify(kOutputPlaceChanged);
}

void GridwiseSession::selectWorksheet(int index) {
  if (index < 0 || index >= static_cast<int>(place_.worksheets.size())) return;
  place_.selectedWorksheet = index;
  notify(kOutputPlaceChanged);
}

void GridwiseSession::setFirstCell(const std::string& text) {
  // The field holds at most 10 characters.
  constexpr std::size_t kMaxFirstCell = 10;
  place_.firstCell = text.substr(0, kMaxFirstCell);
  notify(kOutputPlaceChanged);
}

void GridwiseSession::setOutputIds(bool on) {
  outputIds_ = on;
  notify(kOutputPlaceChanged);
}

OutputWriter::Outcome GridwiseSession::output() {
  if (!canUseMap()) return OutputWriter::Outcome::Refused;
  auto writer = std::make_unique<GridwiseOutput>(connection_);
  writer->bind(*net_, dataSet_, outputIds_);
  const OutputWriter::Outcome outcome = writer->output(place_);
  // A write waiting for another one to end runs later from this writer: keep it until then
  // (the map's end or the session's withdraws it if it is still waiting).
  if (outcome == OutputWriter::Outcome::Queued) queuedWriters_.push_back(std::move(writer));
  notify(kOutputPlaceChanged);  // the lists may have been refilled from the active sheet
  return outcome;
}

// ---------------------------------------------------------------------------------------------
// Preferences

void GridwiseSession::setCustomPreferences() {
  PreferencesRequest request(settings_, palette_, [this](const TrainingSettings& s, const PaletteTable& p) {
    applyPreferences(s, p);
  });
  if (platform::prompter().runModal(request) == IDOK) request.apply();
}

bool GridwiseSession::setDefaultPreferences() {
  if (!gridwiseAsk(kSetDefaultsQuestion)) return false;
  resetPreferences(settings_, palette_);
  notify(kSettingsChanged | kPaletteChanged);
  return true;
}

void GridwiseSession::applyPreferences(const TrainingSettings& settings, const PaletteTable& palette) {
  unsigned changes = kPaletteChanged;
  palette_ = palette;
  // Parameters the sheet would refuse never reach the training.
  if (!trainingSettingsProblem(settings)) {
    settings_ = settings;
    changes |= kSettingsChanged;
  }
  notify(changes);
}
