#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kohonen/engine/cell_index.h"
#include "kohonen/engine/cell_lookup.h"
#include "kohonen/engine/kohonen_net.h"
#include "platform/prompter.h"
#include "shared/gridwise_data_set.h"

// The two modal dialogs of the Results page that look at single cells and rows. Both only read
// the net, the data set and the cell index, which must not change while they are open (the
// dialogs are modal, so no command can run meanwhile).

// "Cell description": the combo "Active cell:" with every cell's name in row-major order and,
// for the selected cell, its rows, their count, its centre and the rows' averages.
class CellDescriptionRequest final : public platform::ModalDialog {
 public:
  static constexpr char kTitle[] = "Cell description";

  // Opens at cell (clamped into the map).
  CellDescriptionRequest(const KohonenNet& net, const CellIndex& index, const GridwiseDataSet& dataSet,
                         CellPos cell);

  std::string dialogTitle() const override { return kTitle; }
  int execModal() override;

  // "Active cell:".
  const std::vector<std::string>& cellNames() const { return names_; }
  // Row-major index of the selected cell.
  std::int32_t selectedEntry() const { return selected_; }
  CellPos cell() const;
  // The combo box closed on an entry, or a map window's double click chose a cell: the lists
  // are filled again. Entries and cells outside the map are ignored.
  void selectEntry(std::int32_t entry);
  void selectCell(CellPos cell);

  // "Data points in this cell:", "Number of points:", "Cell center:", "Cell averages:".
  const CellDescription& description() const { return description_; }

 private:
  void refresh();

  const KohonenNet& net_;
  const CellIndex& index_;
  const GridwiseDataSet& dataSet_;
  std::vector<std::string> names_;
  std::int32_t selected_ = 0;
  CellDescription description_;
};

// "Cell finder": rows found by their IDs and the cell each falls into.
class CellFinderRequest final : public platform::ModalDialog {
 public:
  static constexpr char kTitle[] = "Cell finder";

  CellFinderRequest(const CellIndex& index, const GridwiseDataSet& dataSet);

  std::string dialogTitle() const override { return kTitle; }
  int execModal() override;

  // "Show all IDs": set, every row is listed and the substring field and "Find" are disabled;
  // cleared, the list follows the substring rule again.
  bool showAll() const { return showAll_; }
  void setShowAll(bool on);
  bool findEnabled() const { return !showAll_; }

  // "Use IDs that contain substring:" (at most 50 characters; longer text is cut).
  const std::string& text() const { return text_; }
  void setText(const std::string& text);
  // "Find": the rows whose ID contains the text, in row order; nothing for an empty text.
  void find();

  // The listed rows (data-row numbers) and their IDs.
  const std::vector<std::int32_t>& listedRows() const { return listed_; }
  std::vector<std::string> listedIds() const;

  // Selecting entry i of the list: "Cell, containing selected ID:" and "Other points in the
  // cell:". Entries outside the list clear both.
  void selectListed(std::int32_t entry);
  const std::optional<FoundRow>& found() const { return found_; }

 private:
  const CellIndex& index_;
  const GridwiseDataSet& dataSet_;
  std::vector<std::string> ids_;
  bool showAll_ = false;
  std::string text_;
  std::vector<std::int32_t> listed_;
  std::optional<FoundRow> found_;
};
