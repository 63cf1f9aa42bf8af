#include "platform/safe_array.h"

#include <limits>
#include <new>

namespace platform {

namespace {
// Arrays above this many elements cannot be addressed by 32-bit automation indices.
constexpr std::uint64_t kMaxElements = std::numeric_limits<std::int32_t>::max();
}  // namespace

SafeArray::SafeArray(std::vector<SafeArrayBound> bounds, std::size_t count)
    : bounds_(std::move(bounds)), data_(count) {}

std::unique_ptr<SafeArray> SafeArray::create(std::span<const SafeArrayBound> bounds) {
  if (bounds.empty() || bounds.size() > 2) return nullptr;
  std::uint64_t count = 1;
  for (const auto& b : bounds) {
    count *= b.elements;
    if (count > kMaxElements) return nullptr;
  }
  try {
    return std::unique_ptr<SafeArray>(
        new SafeArray(std::vector<SafeArrayBound>(bounds.begin(), bounds.end()), count));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

std::unique_ptr<SafeArray> SafeArray::create2D(std::uint32_t rows, std::uint32_t cols) {
  const SafeArrayBound bounds[2] = {{rows, 0}, {cols, 0}};
  return create(bounds);
}

HRESULT SafeArray::lBound(int dim, std::int32_t& bound) const {
  if (dim < 1 || dim > dims()) return DISP_E_BADINDEX;
  bound = bounds_[dim - 1].lowerBound;
  return S_OK;
}

HRESULT SafeArray::uBound(int dim, std::int32_t& bound) const {
  if (dim < 1 || dim > dims()) return DISP_E_BADINDEX;
  const auto& b = bounds_[dim - 1];
  bound = static_cast<std::int32_t>(static_cast<std::int64_t>(b.lowerBound) + b.elements - 1);
  return S_OK;
}

bool SafeArray::offsetOf(std::span<const std::int32_t> indices, std::size_t& offset) const {
  if (indices.size() != bounds_.size()) return false;
  offset = 0;
  for (std::size_t d = 0; d < bounds_.size(); ++d) {
    const std::int64_t i = static_cast<std::int64_t>(indices[d]) - bounds_[d].lowerBound;
    if (i < 0 || i >= static_cast<std::int64_t>(bounds_[d].elements)) return false;
    offset = offset * bounds_[d].elements + static_cast<std::size_t>(i);
  }
  return true;
}

HRESULT SafeArray::getElement(std::span<const std::int32_t> indices, Variant& out) const {
  std::size_t offset = 0;
  if (!offsetOf(indices, offset)) return DISP_E_BADINDEX;
  out = data_[offset];
  return S_OK;
}

HRESULT SafeArray::putElement(std::span<const std::int32_t> indices, const Variant& value) {
  std::size_t offset = 0;
  if (!offsetOf(indices, offset)) return DISP_E_BADINDEX;
  data_[offset] = value;
  return S_OK;
}

bool operator==(const SafeArray& a, const SafeArray& b) {
  if (a.bounds_.size() != b.bounds_.size()) return false;
  for (std::size_t d = 0; d < a.bounds_.size(); ++d) {
    if (a.bounds_[d].elements != b.bounds_[d].elements || a.bounds_[d].lowerBound != b.bounds_[d].lowerBound)
      return false;
  }
  return a.data_ == b.data_;
}

}  // namespace platform
