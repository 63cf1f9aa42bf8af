#pragma once

#include <functional>
#include <memory>

#include "host/cell_address.h"
#include "host/sheet.h"
#include "platform/dispatch.h"

namespace host {

// A block of cells of one worksheet as automation sees it. Members: Value (get: the cell's
// variant, or a 2-D array with lower bounds 1 for several cells; put: a scalar fills every
// cell, a 2-D array is assigned in one pass, a 1-D array fills each row), Rows and Columns (the
// same block counted by rows or columns; with an index, that row or column), Row and Column
// (of the first cell), Count (cells, rows or columns), Cells (without arguments the block as
// cells; Cells(row, column) relative to the block; Cells(i) the i-th cell row by row).
class RangeObject final : public platform::Dispatch {
 public:
  enum class Counting { Cells, Rows, Columns };

  RangeObject(std::shared_ptr<Sheet> sheet, const CellArea& area, Counting counting = Counting::Cells)
      : sheet_(std::move(sheet)), area_(area), counting_(counting) {}

  platform::HRESULT invoke(std::string_view name, unsigned short flags,
                           std::span<const platform::Variant> args, platform::Variant* result,
                           platform::ExcepInfo* excepInfo) override;

  const std::shared_ptr<Sheet>& sheet() const { return sheet_; }
  const CellArea& area() const { return area_; }
  Counting counting() const { return counting_; }

  // Row, Column and Count of a block counted as given; DISP_E_MEMBERNOTFOUND for any other name.
  // Shared by every implementation of the range object.
  static platform::HRESULT measure(std::string_view name, const CellArea& area, Counting counting,
                                   std::span<const platform::Variant> args, platform::Variant* result);

 private:
  platform::HRESULT getValue(platform::Variant* result) const;
  platform::HRESULT putValue(const platform::Variant& value, platform::ExcepInfo* excepInfo);
  platform::HRESULT cells(std::span<const platform::Variant> args, platform::Variant* result,
                          platform::ExcepInfo* excepInfo) const;
  platform::HRESULT rowsOrColumns(Counting counting, std::span<const platform::Variant> args,
                                  platform::Variant* result, platform::ExcepInfo* excepInfo) const;

  std::shared_ptr<Sheet> sheet_;
  CellArea area_;
  Counting counting_;
};

// Told after automation has written values into an area of a sheet (clipped to the sheet), so
// that a window showing the sheet repaints it at once. One observer per process, installed by
// the host's window; an empty function removes it. Called on the thread that wrote, which is
// the GUI thread for every write the tools make.
using SheetWriteObserver = std::function<void(const Sheet& sheet, const CellArea& area)>;
void setSheetWriteObserver(SheetWriteObserver observer);

// The area of a cell reached from a block, checked against the sheet: DISP_E_EXCEPTION naming
// the limit when it falls outside.
platform::HRESULT checkedCell(const Sheet& sheet, std::int64_t row, std::int64_t col, CellArea& area,
                              platform::ExcepInfo* excepInfo);

}  // namespace host
