#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/sheet.h"

namespace host {

// A workbook: a name (the file name once it has one), the file it came from, and its ordered
// worksheets, one of them active. Sheets are shared with the automation objects that refer to
// them. Not thread-safe.
class Workbook {
 public:
  Workbook(std::string name, SheetLimits limits);

  const std::string& name() const { return name_; }
  void setName(std::string name) { name_ = std::move(name); }
  // The file the workbook was opened from or last saved to; empty for a new one.
  const std::string& path() const { return path_; }
  void setPath(std::string path) { path_ = std::move(path); }
  // False while the window holding the workbook shows unsaved changes.
  bool saved() const { return saved_; }
  void setSaved(bool saved) { saved_ = saved; }
  SheetLimits limits() const { return limits_; }

  int sheetCount() const { return static_cast<int>(sheets_.size()); }
  // 0-based.
  Sheet& sheet(int index) const { return *sheets_.at(index); }
  const std::shared_ptr<Sheet>& sheetPtr(int index) const { return sheets_.at(index); }
  // Appends a sheet; throws std::invalid_argument when the name is empty or already used
  // (names compare without regard to case).
  Sheet& addSheet(std::string name);
  // The sheet of that name (without regard to case), or null.
  std::shared_ptr<Sheet> findSheet(std::string_view name) const;

  // The active sheet, or null for a workbook without sheets.
  Sheet* activeSheet() const { return sheets_.empty() ? nullptr : sheets_[activeSheet_].get(); }
  int activeSheetIndex() const { return activeSheet_; }
  void activateSheet(int index);

  // Closing a workbook detaches its sheets (see Sheet::attached).
  bool attached() const { return attached_; }
  void detach();

 private:
  std::string name_;
  std::string path_;
  SheetLimits limits_;
  std::vector<std::shared_ptr<Sheet>> sheets_;
  int activeSheet_ = 0;
  bool attached_ = true;
  bool saved_ = true;
};

}  // namespace host
