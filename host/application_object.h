#pragma once

#include <memory>

#include "host/host_model.h"
#include "platform/dispatch.h"

namespace host {

class AddIn;

// The host's Application: Version (text "9.0"), ThisWorkbook (the add-in workbook),
// ActiveWorkbook, ActiveSheet and Selection (Nothing when no workbook is open), Workbooks
// (the collection, or with an index or name one of its items) and Run (a macro "BOOK!MACRO"
// of the add-in workbook, see AddIn). The model and add-in are shared so the object may
// outlive the host's own references.
class ApplicationObject final : public platform::Dispatch {
 public:
  ApplicationObject(std::shared_ptr<HostModel> model, std::shared_ptr<AddIn> addIn)
      : model_(std::move(model)), addIn_(std::move(addIn)) {}
  platform::HRESULT invoke(std::string_view name, unsigned short flags,
                           std::span<const platform::Variant> args, platform::Variant* result,
                           platform::ExcepInfo* excepInfo) override;

 private:
  std::shared_ptr<HostModel> model_;
  std::shared_ptr<AddIn> addIn_;
};

// Workbooks: Count and items (Item, or the collection invoked with an empty member name) by
// 1-based index or by name; DISP_E_BADINDEX for one that is not open.
class WorkbooksObject final : public platform::Dispatch {
 public:
  explicit WorkbooksObject(std::shared_ptr<HostModel> model) : model_(std::move(model)) {}
  platform::HRESULT invoke(std::string_view name, unsigned short flags,
                           std::span<const platform::Variant> args, platform::Variant* result,
                           platform::ExcepInfo* excepInfo) override;
  platform::HRESULT item(const platform::Variant& key, platform::Variant* result) const;

 private:
  std::shared_ptr<HostModel> model_;
};

// Workbook: Name and Worksheets (the collection, or with an index or name one sheet).
class WorkbookObject final : public platform::Dispatch {
 public:
  explicit WorkbookObject(std::shared_ptr<Workbook> workbook) : workbook_(std::move(workbook)) {}
  platform::HRESULT invoke(std::string_view name, unsigned short flags,
                           std::span<const platform::Variant> args, platform::Variant* result,
                           platform::ExcepInfo* excepInfo) override;

 private:
  std::shared_ptr<Workbook> workbook_;
};

// Worksheets: Count and items by 1-based index or by name, like Workbooks.
class WorksheetsObject final : public platform::Dispatch {
 public:
  explicit WorksheetsObject(std::shared_ptr<Workbook> workbook) : workbook_(std::move(workbook)) {}
  platform::HRESULT invoke(std::string_view name, unsigned short flags,
                           std::span<const platform::Variant> args, platform::Variant* result,
                           platform::ExcepInfo* excepInfo) override;
  platform::HRESULT item(const platform::Variant& key, platform::Variant* result) const;

 private:
  std::shared_ptr<Workbook> workbook_;
};

// Worksheet: Name, Cells (every cell of the sheet; Cells(row, column) one cell) and Range
// (Range("A1"), Range("A1:C5"), Range("A1", "C5") or Range(range1, range2) of this sheet).
class WorksheetObject final : public platform::Dispatch {
 public:
  explicit WorksheetObject(std::shared_ptr<Sheet> sheet) : sheet_(std::move(sheet)) {}
  platform::HRESULT invoke(std::string_view name, unsigned short flags,
                           std::span<const platform::Variant> args, platform::Variant* result,
                           platform::ExcepInfo* excepInfo) override;
  const std::shared_ptr<Sheet>& sheet() const { return sheet_; }

 private:
  platform::HRESULT range(std::span<const platform::Variant> args, platform::Variant* result,
                          platform::ExcepInfo* excepInfo) const;

  std::shared_ptr<Sheet> sheet_;
};

}  // namespace host
