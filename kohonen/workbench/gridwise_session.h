#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kohonen/engine/cell_index.h"
#include "kohonen/engine/kohonen_net.h"
#include "kohonen/engine/map_quality.h"
#include "kohonen/engine/map_views.h"
#include "kohonen/engine/training_run.h"
#include "kohonen/workbench/cell_requests.h"
#include "kohonen/workbench/gridwise_output.h"
#include "kohonen/workbench/palette_table.h"
#include "kohonen/workbench/selector_request.h"
#include "shared/excel_connection.h"
#include "shared/gridwise_data_set.h"
#include "shared/output_writer.h"
#include "shared/raw_table.h"

// What changed in a session; observers receive a mask of these.
enum GridwiseChange : unsigned {
  kPatternsChanged = 1u << 0,         // selection, normalisation, working matrix or the patterns flag
  kComponentsChanged = 1u << 1,       // the principal-component projection (or its absence)
  kNetChanged = 1u << 2,              // the map was created, trained, loaded or destroyed; map
                                      // windows made from an earlier map must close
  kSettingsChanged = 1u << 3,         // the training parameters
  kPaletteChanged = 1u << 4,          // the palette table
  kOutputPlaceChanged = 1u << 5,      // the output target's lists or fields
  kCellDescriptionChanged = 1u << 6,  // the open "Cell description" shows another cell
};

class GridwiseObserver {
 public:
  virtual ~GridwiseObserver() = default;
  // Called on the session's thread after a command changed what changes says; the observer
  // re-reads the session's state.
  virtual void sessionChanged(unsigned changes) = 0;
};

// The working state of one Gridwise window and every command of its main sheet and pages, free
// of widgets. It refers to the task's raw table (which must outlive it) and owns the data set
// over that table, the chosen columns and their normalisation, the principal-component
// projection, the map and its cell index, the training parameters, the palette and the output
// target. Every message box and dialog goes through the prompter, with the caption "Gridwise".
//
// Threading: one thread (the window's); long work runs under progress windows that pump events.
class GridwiseSession {
 public:
  GridwiseSession(const RawTable& table, ExcelConnection& connection);
  ~GridwiseSession();
  GridwiseSession(const GridwiseSession&) = delete;
  GridwiseSession& operator=(const GridwiseSession&) = delete;

  void addObserver(GridwiseObserver& observer);
  void removeObserver(GridwiseObserver& observer);

  // --- the sheet's life
  // When the sheet opens: the training parameters and palette from the registry store
  // (defaults when any value fails). True when all five values were read.
  bool openSheet();
  // When the sheet closes: both written to the store (silently stopping at a failure).
  void closeSheet();

  // --- state
  const RawTable& table() const { return table_; }
  const GridwiseDataSet& dataSet() const { return dataSet_; }
  bool hasPatterns() const { return patterns_; }
  bool hasNet() const { return net_.has_value(); }
  // The map, or null.
  const KohonenNet* net() const { return net_ ? &*net_ : nullptr; }
  const CellIndex& cellIndex() const { return cellIndex_; }
  const TrainingSettings& trainingSettings() const { return settings_; }
  const PaletteTable& palette() const { return palette_; }
  // The choice the "Select relevant columns" dialog starts from next time.
  const ColumnChoice& columnChoice() const { return choice_; }
  // The outcome of the last training run (passes done, cancelled).
  const TrainingOutcome& lastTraining() const { return lastTraining_; }
  // The map's quantisation and topographic error over the working matrix, measured after each
  // training run and when a project is loaded; nothing without a map.
  const std::optional<MapQuality>& mapQuality() const { return quality_; }

  // --- Project page
  // "Patterns": each selected column as "name (normalisation)".
  std::vector<std::string> patternLines() const;
  // "Principal components": "Number of PC's: %i" and "Info percent: %i" after a projection,
  // "PCs are not supported" and "Info percent: 100" without one, both empty without patterns.
  std::vector<std::string> componentLines() const;
  // "Kohonen Network": "Number of rows: %i" and "Number of columns: %i", or "Net doesn't exist"
  // and an empty line.
  std::vector<std::string> networkLines() const;
  // The line under the net's size: "Quantisation error: %.5g, topographic error: %.3f", or
  // empty without a measured map.
  std::string qualityLine() const;
  bool canCreateNetwork() const { return patterns_; }
  bool canSaveProject() const { return patterns_ && hasNet(); }
  // "Create New Map...", "Cell Description...", "Find Cell..." and "Output".
  bool canUseMap() const { return patterns_ && hasNet(); }

  // "Create patterns...": the confirmation, the table checks, the selector dialog, the working
  // matrix and, when asked for, the principal-component step with the "PC Analyzer". True when
  // patterns were built.
  bool createPatterns();
  // "Create Network...": the confirmation, the size dialog, the map laid on the leading
  // components and trained under the cancellable progress window. True when a map exists
  // afterwards (also after a Cancel, which keeps the partly trained map).
  bool createNetwork();
  // "Save Project..." and "Load Project...": file names from the prompter's file dialogs.
  bool saveProject();
  bool loadProject();

  // --- Results page
  // "Create New Map...": the dialog, then the picture of the chosen feature for a new map
  // window (copied, so later changes leave the window as it was). Nothing on Cancel.
  std::optional<MapPicture> createNewMap();

  // "Cell Description...": the dialog at cell (0, 0).
  void describeCells();
  // A double click on a cell of one of this session's map windows: the open "Cell description"
  // shows that cell (observers are told), or the dialog opens at it.
  void showCell(CellPos cell);
  // The "Cell description" currently open, or null.
  CellDescriptionRequest* openCellDescription() const { return openDescription_; }
  // "Find Cell...": the "Cell finder".
  void findCells();

  // The output target: "Use active Excel sheet", the two lists and "First cell:"; "Output IDs".
  const OutputPlace& outputPlace() const { return place_; }
  bool outputIds() const { return outputIds_; }
  // When the page is first shown: the active workbook and sheet, lists disabled.
  void initOutputPlace();
  // The check box: set → the active target, disabled lists; cleared → every open workbook and
  // the sheets of the first, enabled lists.
  void setUseActiveSheet(bool on);
  // A workbook chosen in the list: its sheets are listed.
  void selectWorkbook(int index);
  void selectWorksheet(int index);
  void setFirstCell(const std::string& text);
  void setOutputIds(bool on);
  // "Output": the output sequence with Gridwise's checks, then the write on the host's thread.
  OutputWriter::Outcome output();

  // --- the main sheet's menu
  // "Set Custom...": the "Program preferences" sheet; its OK and Apply change the settings.
  void setCustomPreferences();
  // "Set Defaults": after Yes both settings go back to the defaults (nothing written yet).
  bool setDefaultPreferences();
  // What the preferences sheet's OK and Apply deliver.
  void applyPreferences(const TrainingSettings& settings, const PaletteTable& palette);
  void measureQuality();

 private:
  void notify(unsigned changes);
  // Drops the map (observers close its windows).
  void destroyNet();
  // The principal-component step on the prepared working matrix; false on a failure (shown).
  bool extractComponents();
  // The selector's previous choice taken from the data set (after a project load).
  void rememberChoiceFromDataSet();

  const RawTable& table_;
  ExcelConnection& connection_;
  GridwiseDataSet dataSet_;
  bool patterns_ = false;
  std::optional<KohonenNet> net_;
  CellIndex cellIndex_;
  TrainingOutcome lastTraining_;
  std::optional<MapQuality> quality_;
  TrainingSettings settings_;
  PaletteTable palette_;
  ColumnChoice choice_;
  OutputPlace place_;
  bool outputIds_ = false;
  // Outputs that wait for another write to end (each withdraws itself when destroyed).
  std::vector<std::unique_ptr<GridwiseOutput>> queuedWriters_;
  CellDescriptionRequest* openDescription_ = nullptr;
  std::vector<GridwiseObserver*> observers_;
};
