#include "kohonen/workbench/preferences.h"

#include <array>
#include <bit>
#include <cstdio>

#include "kohonen/workbench/registry_store.h"

namespace {

constexpr unsigned kByteBits = 8;

std::array<std::byte, 8> doubleBytes(double value) {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  std::array<std::byte, 8> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::byte>((bits >> (kByteBits * i)) & 0xFFu);
  return bytes;
}

std::array<std::byte, 4> int32Bytes(std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  std::array<std::byte, 4> bytes{};
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::byte>((bits >> (kByteBits * i)) & 0xFFu);
  return bytes;
}

template <std::size_t N>
std::uint64_t littleEndian(const std::array<std::byte, N>& bytes) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < N; ++i) v |= static_cast<std::uint64_t>(bytes[i]) << (kByteBits * i);
  return v;
}

// Reads a value that must fill buf exactly.
template <std::size_t N>
bool readExact(const RegistryKey& key, const char* name, std::array<std::byte, N>& buf) {
  const std::optional<std::size_t> n = key.queryValue(name, buf);
  return n && *n == N;
}

bool readDouble(const RegistryKey& key, const char* name, double& out) {
  std::array<std::byte, 8> buf{};
  if (!readExact(key, name, buf)) return false;
  out = std::bit_cast<double>(littleEndian(buf));
  return true;
}

bool inRange(double v, double lo, double hi) {
  return v >= lo && v <= hi;
}  // false for NaN

// Formats a range bound as the standard validation message does (shortest %g form).
std::string bound(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.15g", v);
  return text;
}

std::string numberMessage(double lo, double hi) {
  return "Please enter a number between " + bound(lo) + " and " + bound(hi) + ".";
}

// Every setting read so far, applied only when all five succeed.
bool readAll(TrainingSettings& settings, PaletteTable& palette) {
  const std::optional<RegistryKey> key = RegistryKey::open(kGridwiseKey);
  if (!key) return false;
  std::array<std::byte, PaletteTable::kStoredBytes> paletteBytes{};
  if (!readExact(*key, kPaletteValue, paletteBytes)) return false;
  TrainingSettings read;
  if (!readDouble(*key, kDecayFactorValue, read.decayFactor)) return false;
  if (!readDouble(*key, kDeltaValue, read.delta)) return false;
  std::array<std::byte, 4> iterations{};
  if (!readExact(*key, kIterationsValue, iterations)) return false;
  read.iterations = static_cast<std::int32_t>(static_cast<std::uint32_t>(littleEndian(iterations)));
  if (!readDouble(*key, kInitialStiffnessValue, read.initialStiffness)) return false;
  // A store edited by hand, or by another program, must not reach the training with values the
  // preferences sheet would refuse.
  if (trainingSettingsProblem(read)) return false;
  settings = read;
  palette = PaletteTable::fromBytes(paletteBytes);
  return true;
}

}  // namespace

std::optional<std::string> trainingSettingsProblem(const TrainingSettings& settings) {
  if (settings.iterations < kMinIterations || settings.iterations > kMaxIterations)
    return "Please enter an integer between " + std::to_string(kMinIterations) + " and " +
           std::to_string(kMaxIterations) + ".";
  if (!inRange(settings.initialStiffness, 0.0, kMaxInitialStiffness))
    return numberMessage(0.0, kMaxInitialStiffness);
  if (!inRange(settings.delta, 0.0, kMaxDelta)) return numberMessage(0.0, kMaxDelta);
  if (!inRange(settings.decayFactor, 0.0, kMaxDecayFactor)) return numberMessage(0.0, kMaxDecayFactor);
  return std::nullopt;
}

bool loadPreferences(TrainingSettings& settings, PaletteTable& palette) {
  if (readAll(settings, palette)) return true;
  resetPreferences(settings, palette);
  return false;
}

void storePreferences(const TrainingSettings& settings, const PaletteTable& palette) {
  const std::optional<RegistryKey> key = RegistryKey::create(kGridwiseKey);
  if (!key) return;
  const auto paletteBytes = palette.toBytes();
  if (!key->setValue(kPaletteValue, paletteBytes)) return;
  if (!key->setValue(kDecayFactorValue, doubleBytes(settings.decayFactor))) return;
  if (!key->setValue(kDeltaValue, doubleBytes(settings.delta))) return;
  if (!key->setValue(kIterationsValue, int32Bytes(settings.iterations))) return;
  key->setValue(kInitialStiffnessValue, doubleBytes(settings.initialStiffness));
}

void resetPreferences(TrainingSettings& settings, PaletteTable& palette) {
  settings = TrainingSettings{};
  palette.reset();
}

int unregisterPackage() {
  const std::optional<RegistryKey> package = RegistryKey::open(kPackageKey);
  if (!package) return 0;
  deleteSubkeysRecursively(*package);
  const std::optional<RegistryKey> maker = RegistryKey::open(kMakerKey);
  if (!maker) return 0;
  maker->deleteSubkey(kPackageSubkey);
  if (!maker->subkeys().empty()) return 0;
  if (const std::optional<RegistryKey> software = RegistryKey::open(kSoftwareKey))
    software->deleteSubkey(kMakerSubkey);
  return 0;
}
