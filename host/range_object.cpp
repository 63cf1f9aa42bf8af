#include "host/range_object.h"

#include <algorithm>

#include "host/automation_support.h"
#include "platform/safe_array.h"

namespace host {

using platform::HRESULT;
using platform::Variant;

namespace {

SheetWriteObserver& writeObserver() {
  static SheetWriteObserver observer;
  return observer;
}

void notifyWritten(const Sheet& sheet, const CellArea& area) {
  if (!writeObserver()) return;
  const SheetLimits limits = sheet.limits();
  const CellArea clipped{std::max(area.top, 1), std::max(area.left, 1), std::min(area.bottom, limits.rows),
                         std::min(area.right, limits.cols)};
  if (clipped.top <= clipped.bottom && clipped.left <= clipped.right) writeObserver()(sheet, clipped);
}

}  // namespace

void setSheetWriteObserver(SheetWriteObserver observer) {
  writeObserver() = std::move(observer);
}

HRESULT argToInt(const Variant& arg, std::int32_t& value) {
  // The types cell positions usually come in, without a conversion.
  if (arg.vt() == platform::VT_I4) {
    value = arg.lVal();
    return platform::S_OK;
  }
  if (arg.vt() == platform::VT_I2) {
    value = arg.iVal();
    return platform::S_OK;
  }
  Variant converted;
  const HRESULT hr = platform::VariantChangeType(converted, arg, 0, platform::VT_I4);
  if (platform::FAILED(hr)) return platform::DISP_E_TYPEMISMATCH;
  value = converted.lVal();
  return platform::S_OK;
}

HRESULT checkedCell(const Sheet& sheet, std::int64_t row, std::int64_t col, CellArea& area,
                    platform::ExcepInfo* excepInfo) {
  const SheetLimits limits = sheet.limits();
  if (row < 1 || row > limits.rows)
    return raise(excepInfo, "Row " + std::to_string(row) + " is outside the worksheet (rows 1 to " +
                                std::to_string(limits.rows) + ").");
  if (col < 1 || col > limits.cols)
    return raise(excepInfo, "Column " + std::to_string(col) + " is outside the worksheet (columns 1 to " +
                                std::to_string(limits.cols) + ").");
  const auto r = static_cast<std::int32_t>(row), c = static_cast<std::int32_t>(col);
  area = CellArea{r, c, r, c};
  return platform::S_OK;
}

HRESULT RangeObject::invoke(std::string_view name, unsigned short flags, std::span<const Variant> args,
                            Variant* result, platform::ExcepInfo* excepInfo) {
  using platform::equalsNoCase;
  if (!sheet_->attached())
    return raise(excepInfo, "The worksheet \"" + sheet_->name() + "\" is no longer open.");
  if (equalsNoCase(name, "Value")) {
    if (isPut(flags)) {
      if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
      return putValue(args[0], excepInfo);
    }
    if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
    if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    return getValue(result);
  }
  if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
  if (equalsNoCase(name, "Cells")) return cells(args, result, excepInfo);
  if (equalsNoCase(name, "Rows")) return rowsOrColumns(Counting::Rows, args, result, excepInfo);
  if (equalsNoCase(name, "Columns")) return rowsOrColumns(Counting::Columns, args, result, excepInfo);
  return measure(name, area_, counting_, args, result);
}

HRESULT RangeObject::measure(std::string_view name, const CellArea& area, Counting counting,
                             std::span<const Variant> args, Variant* result) {
  if (!platform::equalsNoCase(name, "Row") && !platform::equalsNoCase(name, "Column") &&
      !platform::equalsNoCase(name, "Count"))
    return platform::DISP_E_MEMBERNOTFOUND;
  if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
  std::int32_t n = 0;
  if (platform::equalsNoCase(name, "Row"))
    n = area.top;
  else if (platform::equalsNoCase(name, "Column"))
    n = area.left;
  else if (counting == Counting::Rows)
    n = area.rows();
  else if (counting == Counting::Columns)
    n = area.cols();
  else
    n = area.rows() * area.cols();
  return returnValue(Variant(n), result);
}

HRESULT RangeObject::getValue(Variant* result) const {
  if (area_.rows() == 1 && area_.cols() == 1)
    return returnValue(sheet_->value(area_.top, area_.left), result);
  // Several cells read as a 2-D array whose indices are the 1-based positions in the block.
  const platform::SafeArrayBound bounds[2] = {{static_cast<std::uint32_t>(area_.rows()), 1},
                                              {static_cast<std::uint32_t>(area_.cols()), 1}};
  auto array = platform::SafeArray::create(bounds);
  if (!array) return platform::E_OUTOFMEMORY;
  for (std::int32_t i = 0; i < area_.rows(); ++i)
    for (std::int32_t j = 0; j < area_.cols(); ++j)
      array->at(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j)) =
          sheet_->value(area_.top + i, area_.left + j);
  return returnValue(Variant(std::move(array)), result);
}

HRESULT RangeObject::putValue(const Variant& value, platform::ExcepInfo*) {
  if (value.isArray()) {
    const platform::SafeArray* array = value.parray();
    if (!array) return platform::DISP_E_TYPEMISMATCH;
    if (!sheet_->assignBlock(area_, *array)) return platform::DISP_E_TYPEMISMATCH;
    notifyWritten(*sheet_, area_);
    return platform::S_OK;
  }
  // Objects cannot live in a cell; refuse before anything is written.
  if (!sheet_->setValue(area_.top, area_.left, value)) return platform::DISP_E_TYPEMISMATCH;
  for (std::int32_t col = area_.left; col <= area_.right; ++col)
    for (std::int32_t row = area_.top; row <= area_.bottom; ++row) sheet_->setValue(row, col, value);
  notifyWritten(*sheet_, area_);
  return platform::S_OK;
}

HRESULT RangeObject::cells(std::span<const Variant> args, Variant* result,
                           platform::ExcepInfo* excepInfo) const {
  CellArea cell;
  if (args.empty()) return returnObject(platform::makeRef<RangeObject>(sheet_, area_), result);
  std::int32_t first = 0, second = 0;
  if (platform::FAILED(argToInt(args[0], first))) return platform::DISP_E_TYPEMISMATCH;
  HRESULT hr = platform::S_OK;
  if (args.size() == 1) {
    // Cells(i): the i-th cell counting along the rows of the block.
    const std::int64_t index = static_cast<std::int64_t>(first) - 1;
    const std::int64_t row = index >= 0 ? index / area_.cols() : -1;
    hr = checkedCell(*sheet_, area_.top + row, area_.left + (index >= 0 ? index % area_.cols() : 0), cell,
                     excepInfo);
  } else if (args.size() == 2) {
    if (platform::FAILED(argToInt(args[1], second))) return platform::DISP_E_TYPEMISMATCH;
    hr = checkedCell(*sheet_, static_cast<std::int64_t>(area_.top) + first - 1,
                     static_cast<std::int64_t>(area_.left) + second - 1, cell, excepInfo);
  } else {
    return platform::DISP_E_BADPARAMCOUNT;
  }
  if (platform::FAILED(hr)) return hr;
  return returnObject(platform::makeRef<RangeObject>(sheet_, cell), result);
}

HRESULT RangeObject::rowsOrColumns(Counting counting, std::span<const Variant> args, Variant* result,
                                   platform::ExcepInfo* excepInfo) const {
  if (args.empty()) return returnObject(platform::makeRef<RangeObject>(sheet_, area_, counting), result);
  if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
  std::int32_t index = 0;
  if (platform::FAILED(argToInt(args[0], index))) return platform::DISP_E_TYPEMISMATCH;
  CellArea part = area_;
  CellArea corner;
  if (counting == Counting::Rows) {
    const HRESULT hr =
        checkedCell(*sheet_, static_cast<std::int64_t>(area_.top) + index - 1, area_.left, corner, excepInfo);
    if (platform::FAILED(hr)) return hr;
    part.top = part.bottom = corner.top;
  } else {
    const HRESULT hr =
        checkedCell(*sheet_, area_.top, static_cast<std::int64_t>(area_.left) + index - 1, corner, excepInfo);
    if (platform::FAILED(hr)) return hr;
    part.left = part.right = corner.left;
  }
  return returnObject(platform::makeRef<RangeObject>(sheet_, part, counting), result);
}

}  // namespace host
