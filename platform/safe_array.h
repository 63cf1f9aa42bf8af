#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/hresult.h"
#include "platform/variant.h"

namespace platform {

// One dimension of a safe array: its element count and the index of its first element.
struct SafeArrayBound {
  std::uint32_t elements = 0;
  std::int32_t lowerBound = 0;
};

// A one- or two-dimensional array of variants (the automation platform's SAFEARRAY of
// VT_VARIANT). Dimension 1 is the row index, dimension 2 the column index; elements are stored
// row by row in one contiguous block, so filling a row is a walk through memory.
class SafeArray {
 public:
  // Creates the array with every element VT_EMPTY, or returns null when the bounds are not one
  // or two dimensions or the memory cannot be had (SafeArrayCreate).
  static std::unique_ptr<SafeArray> create(std::span<const SafeArrayBound> bounds);
  // Rows x columns with lower bounds 0, the layout the output writers assign to a range.
  static std::unique_ptr<SafeArray> create2D(std::uint32_t rows, std::uint32_t cols);

  int dims() const { return static_cast<int>(bounds_.size()); }
  // Bounds of dimension dim (1-based, as SafeArrayGetLBound/UBound): DISP_E_BADINDEX for a
  // dimension the array does not have.
  HRESULT lBound(int dim, std::int32_t& bound) const;
  HRESULT uBound(int dim, std::int32_t& bound) const;
  std::uint32_t rows() const { return bounds_[0].elements; }
  std::uint32_t cols() const { return bounds_.size() > 1 ? bounds_[1].elements : 1; }

  // Element access by indices within the bounds, one index per dimension (row first):
  // DISP_E_BADINDEX when an index is outside its bounds or the count is wrong.
  HRESULT getElement(std::span<const std::int32_t> indices, Variant& out) const;
  HRESULT putElement(std::span<const std::int32_t> indices, const Variant& value);

  // Unchecked access by 0-based offsets (row, column) from the lower bounds.
  Variant& at(std::uint32_t row, std::uint32_t col) { return data_[row * cols() + col]; }
  const Variant& at(std::uint32_t row, std::uint32_t col) const { return data_[row * cols() + col]; }
  std::span<Variant> elements() { return data_; }
  std::span<const Variant> elements() const { return data_; }

  friend bool operator==(const SafeArray& a, const SafeArray& b);

 private:
  SafeArray(std::vector<SafeArrayBound> bounds, std::size_t count);
  bool offsetOf(std::span<const std::int32_t> indices, std::size_t& offset) const;

  std::vector<SafeArrayBound> bounds_;
  std::vector<Variant> data_;
};

}  // namespace platform
