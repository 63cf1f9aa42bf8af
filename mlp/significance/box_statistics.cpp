#include "mlp/significance/box_statistics.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "shared/exceptions.h"
#include "shared/portable_math.h"

namespace significance {

namespace {

// Shrinks the quantisation range a little so that the largest value stays below 65535 and
// falls into the top box of every level rather than one beyond it.
constexpr double kQuantisationShrink = 0.999999999;
// 2^16 − 1: the scale of the 16-bit coordinates.
constexpr double kQuantisationScale = 65535.0;
constexpr std::uint16_t kLargestCoordinate = 65534;

// Radix sort digits: 8 bits, 4 per 32-bit word.
constexpr int kDigitBits = 8;
constexpr int kDigitValues = 1 << kDigitBits;
constexpr int kDigitsPerWord = 32 / kDigitBits;

// Box populations up to this size take p·log2 p from a table built once per call.
constexpr std::int32_t kPopulationTable = 64;

inline std::uint16_t quantiseValue(double x, double lo, double hi) {
  if (!(hi > lo)) return 0;
  const double v = (x - lo) * kQuantisationShrink / (hi - lo) * kQuantisationScale;
  if (!(v > 0.0)) return 0;  // also catches a value that is not a number
  if (v >= kLargestCoordinate) return kLargestCoordinate;
  return static_cast<std::uint16_t>(v);  // truncation toward zero
}

struct Range {
  double lo;
  double hi;
};

Range valueRange(std::span<const ColumnRef> columns, std::int32_t n) {
  double lo = columns[0].values[0];
  double hi = lo;
  for (const ColumnRef& c : columns) {
    const double* x = c.values;
    for (std::int32_t i = 0; i < n; ++i, x += c.stride) {
      const double v = *x;
      lo = v < lo ? v : lo;
      hi = v > hi ? v : hi;
    }
  }
  return Range{lo, hi};
}

// Largest D for which one bit level of every coordinate fits in the 64-bit accumulator that
// streams the interleaved bits into words (at most 31 pending bits plus D new ones).
constexpr std::int32_t kStreamedDimensions = 32;

// Interleaves one row's quantised coordinates into its code: for each bit level, the D bits of
// that level (coordinate 0 first) are appended to a bit stream that fills the words from
// their most significant bit on; branch-free, unlike depositing bit by bit.
inline void streamCode(const std::uint16_t* q, std::int32_t dimensions, std::uint32_t* words) {
  std::uint64_t pending = 0;
  int pendingBits = 0;
  for (int shift = kBoxCodeBits - 1; shift >= 0; --shift) {
    std::uint64_t chunk = 0;
    for (std::int32_t d = 0; d < dimensions; ++d) chunk = (chunk << 1) | ((q[d] >> shift) & 1u);
    pending = (pending << dimensions) | chunk;
    pendingBits += dimensions;
    if (pendingBits >= 32) {
      pendingBits -= 32;
      *words++ = static_cast<std::uint32_t>(pending >> pendingBits);
      pending &= (std::uint64_t{1} << pendingBits) - 1;
    }
  }
  if (pendingBits > 0) *words = static_cast<std::uint32_t>(pending << (32 - pendingBits));
}

// Up to this D a whole code (16·D bits) fits in one 128-bit integer.
constexpr std::int32_t kWideWordDimensions = 8;

__extension__ typedef unsigned __int128 Bits128;

// spread[v] has bit k of the byte v at bit D·k: one byte of a coordinate with the gaps where the
// other coordinates' bits go.
void fillSpreadTable(std::int32_t dimensions, std::uint64_t* spread) {
  for (int v = 0; v < kDigitValues; ++v) {
    std::uint64_t bits = 0;
    for (int k = 0; k < kDigitBits; ++k) bits |= static_cast<std::uint64_t>((v >> k) & 1) << (dimensions * k);
    spread[v] = bits;
  }
}

// Counting bit positions from the least significant end of the 16·D-bit code, bit k of
// coordinate d sits at D·k + (D − 1 − d); the code is the OR of the spread coordinates, cut
// into words from the top (the last word padded with zeros).
inline void spreadCode(const std::uint16_t* q, std::int32_t dimensions, const std::uint64_t* spread,
                       std::uint32_t* words) {
  Bits128 code = 0;
  for (std::int32_t d = 0; d < dimensions; ++d) {
    const Bits128 low = spread[q[d] & 0xFFu];
    const Bits128 high = spread[q[d] >> kDigitBits];
    code |= (low | (high << (kDigitBits * dimensions))) << (dimensions - 1 - d);
  }
  const std::int32_t wordCount = boxCodeWords(dimensions);
  code <<= 32 * wordCount - kBoxCodeBits * dimensions;
  for (std::int32_t w = 0; w < wordCount; ++w) {
    words[w] = static_cast<std::uint32_t>(code >> (32 * (wordCount - 1 - w)));
  }
}

// Fills n codes of W words; the codes must be zeroed. Equal extremes leave every code 0.
void buildCodes(std::span<const ColumnRef> columns, std::int32_t n, Range range, std::uint32_t* codes) {
  if (!(range.hi > range.lo)) return;
  const auto dimensions = static_cast<std::int32_t>(columns.size());
  const std::int32_t wordCount = boxCodeWords(dimensions);
  if (dimensions <= kStreamedDimensions) {
    std::uint64_t spread[kDigitValues];
    if (dimensions > 2 && dimensions <= kWideWordDimensions) fillSpreadTable(dimensions, spread);
    std::uint16_t q[kStreamedDimensions];
    for (std::int32_t i = 0; i < n; ++i) {
      for (std::int32_t d = 0; d < dimensions; ++d) {
        q[d] = quantiseValue(columns[d].values[i * columns[d].stride], range.lo, range.hi);
      }
      std::uint32_t* code = codes + std::ptrdiff_t{i} * wordCount;
      if (dimensions <= 2) {
        packBoxCode(q, dimensions, code);  // W = 1, bit tricks
      } else if (dimensions <= kWideWordDimensions) {
        spreadCode(q, dimensions, spread, code);
      } else {
        streamCode(q, dimensions, code);
      }
    }
    return;
  }
  // Very wide data: column by column, depositing each coordinate's bits.
  for (std::int32_t d = 0; d < dimensions; ++d) {
    const double* x = columns[d].values;
    for (std::int32_t i = 0; i < n; ++i, x += columns[d].stride) {
      depositCoordinate(quantiseValue(*x, range.lo, range.hi), d, dimensions,
                        codes + std::ptrdiff_t{i} * wordCount);
    }
  }
}

// True when code a orders before code b (unsigned words from word 0).
inline bool codeLess(const std::uint32_t* a, const std::uint32_t* b, std::int32_t wordCount) {
  for (std::int32_t w = 0; w < wordCount; ++w) {
    if (a[w] != b[w]) return a[w] < b[w];
  }
  return false;
}

inline void copyCode(const std::uint32_t* from, std::uint32_t* to, std::int32_t wordCount) {
  for (std::int32_t w = 0; w < wordCount; ++w) to[w] = from[w];
}

// Buckets of at most this many codes are finished by insertion sort.
constexpr std::int32_t kInsertionSortLimit = 24;

void insertionSort(std::uint32_t* codes, std::int32_t n, std::int32_t wordCount, std::uint32_t* hold) {
  for (std::int32_t i = 1; i < n; ++i) {
    std::uint32_t* code = codes + std::ptrdiff_t{i} * wordCount;
    if (!codeLess(code, code - wordCount, wordCount)) continue;
    copyCode(code, hold, wordCount);
    std::int32_t j = i;
    for (; j > 0 && codeLess(hold, codes + std::ptrdiff_t{j - 1} * wordCount, wordCount); --j) {
      copyCode(codes + std::ptrdiff_t{j - 1} * wordCount, codes + std::ptrdiff_t{j} * wordCount, wordCount);
    }
    copyCode(hold, codes + std::ptrdiff_t{j} * wordCount, wordCount);
  }
}

// Sorts n codes of W words ascending by most-significant-digit radix sort on 8-bit digits,
// `digit` counting from the top of word 0. Buckets stop splitting once they are small, so data
// whose points separate within the first few bit levels (most data of many dimensions) is
// sorted in a few passes however wide its codes are. `scratch` holds n codes.
void sortCodes(std::uint32_t* codes, std::uint32_t* scratch, std::int32_t n, std::int32_t wordCount,
               std::int32_t digit) {
  const std::int32_t digits = wordCount * kDigitsPerWord;
  for (; digit < digits; ++digit) {
    if (n <= kInsertionSortLimit) {
      insertionSort(codes, n, wordCount, scratch);
      return;
    }
    const std::int32_t word = digit / kDigitsPerWord;
    const int shift = (kDigitsPerWord - 1 - digit % kDigitsPerWord) * kDigitBits;
    std::int32_t counts[kDigitValues] = {};
    for (std::int32_t i = 0; i < n; ++i)
      ++counts[(codes[std::ptrdiff_t{i} * wordCount + word] >> shift) & 0xFFu];
    if (*std::max_element(counts, counts + kDigitValues) == n) continue;  // one bucket: next digit

    std::int32_t starts[kDigitValues];
    std::int32_t total = 0;
    for (int v = 0; v < kDigitValues; ++v) {
      starts[v] = total;
      total += counts[v];
    }
    std::int32_t next[kDigitValues];
    std::copy(starts, starts + kDigitValues, next);
    for (std::int32_t i = 0; i < n; ++i) {
      const std::uint32_t* code = codes + std::ptrdiff_t{i} * wordCount;
      copyCode(code, scratch + std::ptrdiff_t{next[(code[word] >> shift) & 0xFFu]++} * wordCount, wordCount);
    }
    std::copy(scratch, scratch + std::ptrdiff_t{n} * wordCount, codes);
    for (int v = 0; v < kDigitValues; ++v) {
      if (counts[v] > 1) {
        sortCodes(codes + std::ptrdiff_t{starts[v]} * wordCount, scratch, counts[v], wordCount, digit + 1);
      }
    }
    return;
  }
}

struct LevelSums {
  std::array<double, kBoxLevels> plogp{};  // Σ p·log2 p
  std::array<double, kBoxLevels> p2{};     // Σ p²
  std::array<std::int32_t, kBoxLevels> boxes{};
};

}  // namespace

std::uint16_t quantise(double x, double lo, double hi) {
  return quantiseValue(x, lo, hi);
}

BoxStatisticsTable boxStatistics(std::span<const ColumnRef> columns, std::int32_t n) {
  if (n < 1 || columns.empty()) {
    throw IllegalMatrixSizeException("BoxStatistics: the matrix must have at least one row and one column");
  }
  const auto dimensions = static_cast<std::int32_t>(columns.size());
  const std::int32_t wordCount = boxCodeWords(dimensions);
  const std::ptrdiff_t codeWords = std::ptrdiff_t{n} * wordCount;

  // Codes and the sort's second buffer in one block; after sorting, the free half keeps the
  // common level of each code with its predecessor.
  std::vector<std::uint32_t> block;
  try {
    block.assign(static_cast<std::size_t>(2 * codeWords), 0u);
  } catch (const std::bad_alloc&) {
    throw OutOfMemoryException("Out of memory");
  }
  buildCodes(columns, n, valueRange(columns, n), block.data());
  std::uint32_t* sorted = block.data();
  sortCodes(sorted, block.data() + codeWords, n, wordCount, 0);
  std::uint32_t* common = block.data() + codeWords;

  // Once every point is alone in its box, the finer levels repeat the same boxes; count only
  // up to that level and copy it down.
  std::int32_t deepestShared = 0;
  for (std::int32_t i = 1; i < n; ++i) {
    const std::uint32_t* code = sorted + std::ptrdiff_t{i} * wordCount;
    common[i] = static_cast<std::uint32_t>(commonBoxLevel(code - wordCount, code, dimensions));
    deepestShared = std::max(deepestShared, static_cast<std::int32_t>(common[i]));
  }
  const std::int32_t lastCounted = std::min(kFinestBoxLevel, deepestShared + 1);

  // Small populations (singletons above all) take p·log2 p and p² from tables computed with
  // the very same expressions, so the sums do not depend on which path a box takes.
  const double total = n;
  double plogpTable[kPopulationTable + 1];
  double p2Table[kPopulationTable + 1];
  for (std::int32_t c = 1; c <= std::min(n, kPopulationTable); ++c) {
    const double p = c / total;
    plogpTable[c] = p * portable_math::log2(p);
    p2Table[c] = p * p;
  }
  LevelSums sums;
  auto closeBox = [&](std::int32_t level, std::int32_t population) {
    if (population <= kPopulationTable) {
      sums.plogp[level] += plogpTable[population];
      sums.p2[level] += p2Table[population];
    } else {
      const double p = population / total;
      sums.plogp[level] += p * portable_math::log2(p);
      sums.p2[level] += p * p;
    }
    ++sums.boxes[level];
  };
  // Walking the sorted codes, code i ends the boxes of every level deeper than the one it
  // shares with code i − 1; boxes of each level are closed in code order.
  std::array<std::int32_t, kBoxLevels> boxStart{};
  for (std::int32_t i = 1; i < n; ++i) {
    for (auto level = static_cast<std::int32_t>(common[i]) + 1; level <= lastCounted; ++level) {
      closeBox(level, i - boxStart[level]);
      boxStart[level] = i;
    }
  }
  for (std::int32_t level = 1; level <= lastCounted; ++level) closeBox(level, n - boxStart[level]);

  BoxStatisticsTable table{};
  table[0] = BoxLevel{0.0, 1.0, 0.0, 0.0, 0.0};
  for (std::int32_t level = 1; level < kBoxLevels; ++level) {
    if (level > lastCounted) {
      table[level] = table[lastCounted];
    } else {
      const double boxes = sums.boxes[level];
      table[level].boxes = boxes;
      table[level].log2Boxes = portable_math::log2(boxes);
      table[level].entropy = 0.0 - sums.plogp[level];
      table[level].collisionEntropy = 0.0 - portable_math::log2(sums.p2[level]);
    }
    table[level].level = level;
  }
  return table;
}

RealMatrix BoxStatistics(const RealMatrix& m) {
  std::vector<ColumnRef> columns(static_cast<std::size_t>(m.Cols()));
  for (std::int32_t d = 0; d < m.Cols(); ++d) columns[d] = ColumnRef{m.data() + d, m.Cols()};
  const BoxStatisticsTable table = boxStatistics(columns, m.Rows());
  RealMatrix result(kBoxLevels, kBoxStatisticsColumns);
  for (std::int32_t level = 0; level < kBoxLevels; ++level) {
    const BoxLevel& row = table[level];
    result(level, kLevelColumn) = row.level;
    result(level, kBoxCountColumn) = row.boxes;
    result(level, kLog2BoxCountColumn) = row.log2Boxes;
    result(level, kEntropyColumn) = row.entropy;
    result(level, kCollisionEntropyColumn) = row.collisionEntropy;
  }
  return result;
}

}  // namespace significance
