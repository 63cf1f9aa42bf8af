#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/workbook.h"

namespace host {

// Name of the host's built-in add-in workbook (ThisWorkbook), which holds the reader macros and
// is not listed among the open workbooks.
inline constexpr std::string_view kAddInWorkbookName = "LUMIVANE.XLA";

// The spreadsheet host's state: the open workbooks in the order opened, the active one, the
// add-in workbook and the version the host reports. Not thread-safe: the host and the tools
// use it on the GUI thread.
class HostModel {
 public:
  // version is 7, 8 or 9 (the generation the host reports); 7 gives 16,384-row sheets.
  // Throws std::invalid_argument for another version.
  explicit HostModel(int version = 9);

  int version() const { return version_; }
  // "9.0", "8.0" or "7.0", as the Version property reads.
  std::string versionText() const;
  SheetLimits limits() const { return limits_; }

  int workbookCount() const { return static_cast<int>(workbooks_.size()); }
  // 0-based.
  Workbook& workbook(int index) const { return *workbooks_.at(index); }
  const std::shared_ptr<Workbook>& workbookPtr(int index) const { return workbooks_.at(index); }
  // The open workbook of that name (without regard to case), or null.
  std::shared_ptr<Workbook> findWorkbook(std::string_view name) const;

  // Opens a file (see importWorkbook) and makes it active; throws WorkbookFileError, also
  // when a workbook of the same name is already open.
  Workbook& open(const std::string& path);
  // What open() reads files with (importWorkbook when none is set; the window sets
  // importWorkbookIsolated).
  using Importer = std::function<std::shared_ptr<Workbook>(const std::string& path, SheetLimits limits)>;
  void setImporter(Importer importer) { importer_ = std::move(importer); }
  // The importer set, or an empty one (importWorkbook).
  const Importer& importer() const { return importer_; }
  // A new workbook "Book1", "Book2", ... with one empty sheet "Sheet1", made active.
  Workbook& newWorkbook();
  // Adds a workbook built elsewhere and makes it active; throws std::invalid_argument when
  // its name is already open.
  Workbook& add(std::shared_ptr<Workbook> workbook);
  // Saves (see exportWorkbook) and, for .xlsx, takes the file's name; throws WorkbookFileError.
  void save(Workbook& workbook, const std::string& path);
  // Closes the workbook: it leaves the list and its sheets are detached.
  void close(Workbook& workbook);

  // The active workbook, or null when none is open.
  Workbook* activeWorkbook() const { return active_ < 0 ? nullptr : workbooks_[active_].get(); }
  // 0-based index of the active workbook, -1 when none is open.
  int activeIndex() const { return active_; }
  void activate(int index);

  Workbook& addIn() const { return *addIn_; }
  const std::shared_ptr<Workbook>& addInPtr() const { return addIn_; }

 private:
  int version_;
  SheetLimits limits_;
  std::vector<std::shared_ptr<Workbook>> workbooks_;
  int active_ = -1;
  int newBooks_ = 0;
  std::shared_ptr<Workbook> addIn_;
  Importer importer_;
};

}  // namespace host
