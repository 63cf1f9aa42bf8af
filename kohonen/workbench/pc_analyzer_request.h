#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/prompter.h"
#include "shared/real_matrix.h"

// The "PC Analyzer" dialog: the combo box "1" … "d" with its preselection, and the
// information curve. It has a single OK; however it closes, the entry selected then decides.
class PcAnalyzerRequest final : public platform::ModalDialog {
 public:
  static constexpr char kTitle[] = "PC Analyzer";
  static constexpr char kPrompt[] = "Enter the number of principal components you want to use";

  // values: the d × 1 eigenvalues, descending.
  explicit PcAnalyzerRequest(const RealMatrix& values);

  std::string dialogTitle() const override { return kTitle; }
  int execModal() override;

  std::int32_t componentCount() const { return static_cast<std::int32_t>(cumulative_.size()); }
  // S₁ … S_d, the running sums of the eigenvalues; the last is the total variance T.
  const std::vector<double>& cumulative() const { return cumulative_; }

  // The 0-based entry selected in the combo box: at first the smallest count holding 90 % of
  // the variance, nothing when the total is not positive. A value outside 0 … d − 1 counts as
  // nothing selected.
  std::optional<std::int32_t> selectedEntry;

  // The number of components kept: selected entry + 1, or all d when nothing is selected.
  std::int32_t componentsToKeep() const;

 private:
  std::vector<double> cumulative_;
};

struct PixelPoint {
  int x = 0;
  int y = 0;
  friend bool operator==(const PixelPoint&, const PixelPoint&) = default;
};

// Where the dialog's picture puts things in a client area of width w and height h (origin top
// left): the plot rectangle, the information curve, the marker of the selected entry and the
// grid. Without a positive total variance there is neither curve nor marker; without a
// selection no marker.
struct PcCurveGeometry {
  // Label positions: "Number of PC's" and d horizontal; "Information" and "100%" vertical.
  PixelPoint componentsLabel, countLabel, informationLabel, fullLabel;
  int left = 0, top = 0, right = 0, bottom = 0;  // plot rectangle
  std::vector<PixelPoint> curve;                 // one point per component
  bool marker = false;
  std::array<PixelPoint, 3> markerPath{};  // (left, y) → (x, y) → (x, bottom)
  std::array<int, 3> gridX{};              // vertical grid lines at ¼, ½, ¾ of the width
  std::array<int, 3> gridY{};              // horizontal ones at ¼, ½, ¾ of the height
};

PcCurveGeometry pcCurveGeometry(const std::vector<double>& cumulative, std::optional<std::int32_t> selected,
                                int w, int h);
