#include "kohonen/workbench/palette_table.h"

#include <stdexcept>

namespace {
constexpr std::uint32_t kFullIntensity = 255;
constexpr unsigned kGreenShift = 8;
constexpr unsigned kBlueShift = 16;
constexpr unsigned kByteBits = 8;
constexpr std::size_t kBytesPerEntry = 4;
}  // namespace

std::uint32_t colourValue(platform::Rgb rgb) {
  return static_cast<std::uint32_t>(rgb.r) | (static_cast<std::uint32_t>(rgb.g) << kGreenShift) |
         (static_cast<std::uint32_t>(rgb.b) << kBlueShift);
}

platform::Rgb rgbOf(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value & 0xFFu), static_cast<std::uint8_t>((value >> kGreenShift) & 0xFFu),
          static_cast<std::uint8_t>((value >> kBlueShift) & 0xFFu)};
}

void PaletteTable::reset() {
  for (std::int32_t k = kMinColours; k <= kMaxColours; ++k) {
    for (std::int32_t j = 0; j < k; ++j) {
      const auto g = static_cast<std::uint8_t>(static_cast<std::uint32_t>(j) * kFullIntensity /
                                               static_cast<std::uint32_t>(k - 1));
      values_[firstEntry(k) + static_cast<std::size_t>(j)] = colourValue({g, g, g});
    }
  }
}

std::size_t PaletteTable::entryIndex(std::int32_t k, std::int32_t j) const {
  if (!validCount(k) || j < 0 || j >= k) throw std::out_of_range("PaletteTable: no such palette entry");
  return firstEntry(k) + static_cast<std::size_t>(j);
}

platform::Rgb PaletteTable::colour(std::int32_t k, std::int32_t j) const {
  return rgbOf(values_[entryIndex(k, j)]);
}

void PaletteTable::setColour(std::int32_t k, std::int32_t j, platform::Rgb rgb) {
  values_[entryIndex(k, j)] = colourValue(rgb);
}

std::vector<MapColour> PaletteTable::palette(std::int32_t k) const {
  std::vector<MapColour> colours;
  colours.reserve(static_cast<std::size_t>(k));
  for (std::int32_t j = 0; j < k; ++j) {
    const platform::Rgb rgb = colour(k, j);
    colours.push_back({rgb.r, rgb.g, rgb.b});
  }
  return colours;
}

std::array<std::byte, PaletteTable::kStoredBytes> PaletteTable::toBytes() const {
  std::array<std::byte, kStoredBytes> bytes{};
  for (std::size_t e = 0; e < kEntries; ++e)
    for (std::size_t b = 0; b < kBytesPerEntry; ++b)
      bytes[e * kBytesPerEntry + b] = static_cast<std::byte>((values_[e] >> (kByteBits * b)) & 0xFFu);
  return bytes;
}

PaletteTable PaletteTable::fromBytes(std::span<const std::byte, kStoredBytes> bytes) {
  PaletteTable table;
  for (std::size_t e = 0; e < kEntries; ++e) {
    std::uint32_t v = 0;
    for (std::size_t b = 0; b < kBytesPerEntry; ++b)
      v |= static_cast<std::uint32_t>(bytes[e * kBytesPerEntry + b]) << (kByteBits * b);
    table.values_[e] = v;
  }
  return table;
}
