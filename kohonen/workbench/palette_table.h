#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "kohonen/engine/map_views.h"
#include "platform/prompter.h"

// The colours map windows take their classes' colours from: one palette for every colour count
// k = 2 … 10, stored one after another (54 entries). The palette for k colours starts at entry
// (k − 2)(k + 1) / 2. Each entry is a 32-bit colour value with red in the low byte, then green,
// then blue, and a zero top byte.
class PaletteTable {
 public:
  static constexpr std::int32_t kMinColours = 2;
  static constexpr std::int32_t kMaxColours = 10;
  static constexpr std::size_t kEntries = 54;
  // Size of the stored form: every entry as 4 little-endian bytes.
  static constexpr std::size_t kStoredBytes = kEntries * 4;

  // The default palettes.
  PaletteTable() { reset(); }

  // Entry j of palette k is the grey ⌊j·255 / (k − 1)⌋, black to white.
  void reset();

  static bool validCount(std::int32_t k) { return k >= kMinColours && k <= kMaxColours; }
  // Index of the first entry of palette k (2 ≤ k ≤ 10).
  static std::size_t firstEntry(std::int32_t k) { return static_cast<std::size_t>((k - 2) * (k + 1) / 2); }

  // Colour j (0 ≤ j < k) of palette k; arguments outside those ranges are a programming error
  // (std::out_of_range).
  platform::Rgb colour(std::int32_t k, std::int32_t j) const;
  void setColour(std::int32_t k, std::int32_t j, platform::Rgb rgb);
  // The k colours of palette k, copied, as a map window takes them.
  std::vector<MapColour> palette(std::int32_t k) const;

  std::uint32_t value(std::size_t entry) const { return values_.at(entry); }

  // The stored form: every entry little-endian, in entry order.
  std::array<std::byte, kStoredBytes> toBytes() const;
  static PaletteTable fromBytes(std::span<const std::byte, kStoredBytes> bytes);

  friend bool operator==(const PaletteTable&, const PaletteTable&) = default;

 private:
  std::size_t entryIndex(std::int32_t k, std::int32_t j) const;
  std::array<std::uint32_t, kEntries> values_{};
};

// The colour value of rgb (red in the low byte) and back.
std::uint32_t colourValue(platform::Rgb rgb);
platform::Rgb rgbOf(std::uint32_t value);
