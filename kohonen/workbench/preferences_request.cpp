#include "kohonen/workbench/preferences_request.h"

#include "kohonen/workbench/dialog_hooks.h"
#include "kohonen/workbench/gridwise_messages.h"
#include "kohonen/workbench/preferences.h"

int PreferencesRequest::execModal() {
  return runDialogHook(gridwiseDialogHooks().editPreferences, *this);
}

void PreferencesRequest::setColourCount(std::int32_t k) {
  if (PaletteTable::validCount(k)) colourCount_ = k;
}

std::int32_t PreferencesRequest::stripeAt(int x, int width, std::int32_t k) {
  if (width <= 0 || k <= 0 || x < 0) return 0;
  auto stripe = static_cast<std::int32_t>(static_cast<std::int64_t>(x) * k / width);
  if (stripe >= k) return k - 1;
  // Stripes are drawn from ⌊i·width / k⌋, so a stripe's first pixel can lie just below
  // x·k / width = i; it belongs to the stripe drawn there.
  while (stripe + 1 < k && stripeLeft(stripe + 1, width, k) <= x) ++stripe;
  return stripe;
}

bool PreferencesRequest::pickColour(int x, int width) {
  if (width <= 0 || x < 0 || x >= width) return false;
  const std::int32_t j = stripeAt(x, width, colourCount_);
  const std::optional<platform::Rgb> chosen =
      platform::prompter().chooseColour(palette_.colour(colourCount_, j));
  if (!chosen) return false;
  setColour(colourCount_, j, *chosen);
  return true;
}

void PreferencesRequest::setColour(std::int32_t k, std::int32_t j, platform::Rgb rgb) {
  palette_.setColour(k, j, rgb);
  coloursModified_ = true;
}

void PreferencesRequest::setTraining(const TrainingSettings& training) {
  training_ = training;
  trainingModified_ = true;
}

std::optional<std::string> PreferencesRequest::problem() const {
  return trainingSettingsProblem(training_);
}

std::optional<PreferencesRequest::TrainingField> PreferencesRequest::problemField() const {
  // Each field checked alone beside the defaults, which every range accepts, in page order.
  const auto alone = [&](auto copy) {
    TrainingSettings probe;
    copy(probe);
    return trainingSettingsProblem(probe).has_value();
  };
  if (alone([&](TrainingSettings& p) { p.iterations = training_.iterations; }))
    return TrainingField::Iterations;
  if (alone([&](TrainingSettings& p) { p.initialStiffness = training_.initialStiffness; }))
    return TrainingField::InitialStiffness;
  if (alone([&](TrainingSettings& p) { p.delta = training_.delta; })) return TrainingField::Delta;
  if (alone([&](TrainingSettings& p) { p.decayFactor = training_.decayFactor; }))
    return TrainingField::DecayFactor;
  return std::nullopt;
}

bool PreferencesRequest::apply() {
  if (const std::optional<std::string> message = problem()) {
    gridwiseMessage(*message, kWarningBox);
    return false;
  }
  if (sink_) sink_(training_, palette_);
  coloursModified_ = trainingModified_ = false;
  return true;
}
