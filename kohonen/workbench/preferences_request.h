#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "kohonen/engine/training_run.h"
#include "kohonen/workbench/palette_table.h"
#include "platform/prompter.h"

// The "Program preferences" sheet: working copies of the palette ("Colors" page) and of the
// training parameters ("Training Parameters" page). Editing marks a page modified, which
// enables Apply; apply() copies both pages back to the main sheet exactly as OK does, and
// Cancel leaves the main sheet as it was at the last apply.
class PreferencesRequest final : public platform::ModalDialog {
 public:
  static constexpr char kTitle[] = "Program preferences";
  static constexpr char kColoursPage[] = "Colors";
  static constexpr char kTrainingPage[] = "Training Parameters";
  static constexpr char kColoursText[] =
      "Here you can view and change color palette of your Kohonen map. Double click on the color you need "
      "to change.";
  static constexpr char kColourCountLabel[] = "Palette for the following number of colors:";

  // Where apply() delivers the pages.
  using ApplySink = std::function<void(const TrainingSettings&, const PaletteTable&)>;

  PreferencesRequest(const TrainingSettings& training, const PaletteTable& palette, ApplySink sink)
      : training_(training), palette_(palette), sink_(std::move(sink)) {}

  std::string dialogTitle() const override { return kTitle; }
  int execModal() override;

  // --- "Colors"
  const PaletteTable& palette() const { return palette_; }
  // The palette shown in the swatch, 2 … 10 ("2" when the sheet opens); other values are ignored.
  std::int32_t colourCount() const { return colourCount_; }
  void setColourCount(std::int32_t k);
  // The stripe of the swatch drawn at x for a swatch width: ⌊x·k / width⌋, at most k − 1, except
  // on the first pixel of a stripe whose drawn edge ⌊i·width / k⌋ lies below that value.
  static std::int32_t stripeAt(int x, int width, std::int32_t k);
  // Stripe i of k spans [i·width / k, (i + 1)·width / k).
  static int stripeLeft(std::int32_t i, int width, std::int32_t k) { return i * width / k; }
  // A double click at x: the colour dialog through the prompter at that stripe's colour; OK
  // stores the new colour in the working copy and marks the page modified. False when nothing
  // changed (cancelled, or x outside the swatch).
  bool pickColour(int x, int width);
  void setColour(std::int32_t k, std::int32_t j, platform::Rgb rgb);

  // --- "Training Parameters"
  const TrainingSettings& training() const { return training_; }
  void setTraining(const TrainingSettings& training);

  bool modified() const { return coloursModified_ || trainingModified_; }
  bool coloursModified() const { return coloursModified_; }
  bool trainingModified() const { return trainingModified_; }

  // The fields of the "Training Parameters" page, in their order on the page.
  enum class TrainingField { Iterations, InitialStiffness, Delta, DecayFactor };

  // The check made on leaving the training page: the standard message for the first value out
  // of its range, or nothing.
  std::optional<std::string> problem() const;
  // The field that message is about (the page puts the caret there), or nothing.
  std::optional<TrainingField> problemField() const;
  // Apply (and the first step of OK): with a value out of range shows the message (caption
  // "Gridwise", exclamation icon) and returns false, changing nothing; otherwise delivers both
  // pages and clears the modified marks.
  bool apply();

 private:
  TrainingSettings training_;
  PaletteTable palette_;
  ApplySink sink_;
  std::int32_t colourCount_ = PaletteTable::kMinColours;
  bool coloursModified_ = false;
  bool trainingModified_ = false;
};
