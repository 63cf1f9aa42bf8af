#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kohonen/engine/map_views.h"
#include "platform/prompter.h"

// The "Create Network..." dialog: the map size, each an integer 1 … 255.
class NetworkSizeRequest final : public platform::ModalDialog {
 public:
  static constexpr char kTitle[] = "Create Network";
  static constexpr char kRowsPrompt[] = "Enter number of rows:";
  static constexpr char kColumnsPrompt[] = "Enter number of columns:";
  static constexpr std::int32_t kMinSize = 1;
  static constexpr std::int32_t kMaxSize = 255;
  // A new map without a previous one is 10 × 10.
  static constexpr std::int32_t kDefaultSize = 10;

  NetworkSizeRequest(std::int32_t rows, std::int32_t columns) : rows(rows), columns(columns) {}

  std::string dialogTitle() const override { return kTitle; }
  int execModal() override;

  std::int32_t rows;
  std::int32_t columns;

  // The standard message for a size out of range ("Please enter an integer between 1 and
  // 255."), or nothing when both are acceptable.
  std::optional<std::string> problem() const;
};

// The "Create New Map..." dialog ("Choose parameters to create map:"): the colouring, the
// feature column and the number of colours. Existence needs two colours and disables the count.
class NewMapRequest final : public platform::ModalDialog {
 public:
  static constexpr char kTitle[] = "Create New Map";
  static constexpr char kPrompt[] = "Choose parameters to create map:";
  static constexpr char kAverageText[] = "average of some feature in the cell";
  static constexpr char kExistenceText[] = "existence of some feature in the cell";

  explicit NewMapRequest(std::vector<std::string> columnNames) : names_(std::move(columnNames)) {}

  std::string dialogTitle() const override { return kTitle; }
  int execModal() override;

  const std::vector<std::string>& columnNames() const { return names_; }

  MapMode mode() const { return mode_; }
  // Existence selects "2" and disables the count; average enables it again.
  void setMode(MapMode mode);
  bool colourCountEnabled() const { return mode_ == MapMode::Average; }

  std::int32_t featureColumn = 0;  // index into the table's columns; the first preselected
  std::int32_t colourCount = 2;    // 2 … 10

  // The request can be carried out: a column of the table and a count the palette has.
  bool valid() const;

 private:
  std::vector<std::string> names_;
  MapMode mode_ = MapMode::Average;
};
