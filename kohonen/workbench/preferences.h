#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "kohonen/engine/training_run.h"
#include "kohonen/workbench/palette_table.h"

// Gridwise's preferences in the registry store: the key, the five values and their order, and
// the ranges the preferences sheet accepts.

// The package key is "Software\" + maker + "\" + package; Gridwise's values live in its subkey.
inline constexpr char kSoftwareKey[] = "Software";
inline constexpr char kMakerKey[] = "Software\\Veltrax";
inline constexpr char kPackageKey[] = "Software\\Veltrax\\Lumivane";
inline constexpr char kPackageSubkey[] = "Lumivane";
inline constexpr char kMakerSubkey[] = "Veltrax";
inline constexpr char kGridwiseKey[] = "Software\\Veltrax\\Lumivane\\Gridwise";

inline constexpr char kPaletteValue[] = "Palette";
inline constexpr char kDecayFactorValue[] = "Decay factor";
inline constexpr char kDeltaValue[] = "Delta";
inline constexpr char kIterationsValue[] = "Number of iterations";
inline constexpr char kInitialStiffnessValue[] = "Initial Stiffness";

// Accepted ranges of the training parameters (inclusive).
inline constexpr std::int32_t kMinIterations = 1;
inline constexpr std::int32_t kMaxIterations = 1000000;
inline constexpr double kMaxInitialStiffness = 100.0;
inline constexpr double kMaxDelta = 10.0;
inline constexpr double kMaxDecayFactor = 1.0;

// The message the preferences sheet shows for the first parameter out of its range ("Please
// enter an integer between 1 and 1000000." …), or nothing when all four are acceptable. A value
// that is not a number is out of every range.
std::optional<std::string> trainingSettingsProblem(const TrainingSettings& settings);

// Reads, in this order, "Palette" (216 bytes), "Decay factor" (8), "Delta" (8), "Number of
// iterations" (4) and "Initial Stiffness" (8) from Gridwise's key, stopping at the first that
// cannot be read. A value of another length, or a parameter outside its accepted range, counts
// as unreadable. When the key is missing or any value fails, both settings become the defaults
// (also the values read before the failure) and the result is false.
bool loadPreferences(TrainingSettings& settings, PaletteTable& palette);

// Creates the key when needed and writes the five values in the same order, stopping silently
// at the first that cannot be written (the ones before it stay written). Each value is
// replaced atomically.
void storePreferences(const TrainingSettings& settings, const PaletteTable& palette);

// Both settings back to the defaults of a fresh installation; nothing is written.
void resetPreferences(TrainingSettings& settings, PaletteTable& palette);

// Removes the package's keys from the store: every subkey of "Software\Veltrax\Lumivane" depth
// first, then that key, then "Software\Veltrax" when it has no subkeys left. Nothing happens
// when the package key does not exist. The result carries no meaning.
int unregisterPackage();
