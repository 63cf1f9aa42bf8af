#pragma once

#include <memory>
#include <vector>

#include "host/add_in.h"
#include "host/calc/calc_office.h"
#include "platform/dispatch.h"

namespace host::calc {

// The Application object over a running Calc, with the members the tools use: Version ("9.0"),
// ThisWorkbook (the add-in workbook, by name only), ActiveWorkbook, ActiveSheet and Selection
// (of the active sheet; Nothing when no spreadsheet is open), Workbooks (Calc's open
// spreadsheet documents by title), and Run (the add-in's reader macros, calling the exports of
// the libraries added). Below it Workbook (Name, Worksheets), Worksheets (Count, items),
// Worksheet (Name, Cells, Range) and Range behave as the host's own; a range's Value moves its
// cells in one block each way. Once the office has gone every member fails with a message
// saying so.
class CalcApplication final : public platform::Dispatch {
 public:
  explicit CalcApplication(std::shared_ptr<CalcOffice> office) : office_(std::move(office)) {}

  void addLibrary(SymbolLookup lookup) { libraries_.push_back(std::move(lookup)); }
  void clearLibraries() { libraries_.clear(); }

  platform::HRESULT invoke(std::string_view name, unsigned short flags,
                           std::span<const platform::Variant> args, platform::Variant* result,
                           platform::ExcepInfo* excepInfo) override;

  const std::shared_ptr<CalcOffice>& office() const { return office_; }

 private:
  platform::HRESULT run(std::string_view macroName, platform::Variant* result,
                        platform::ExcepInfo* excepInfo);
  void* find(const char* exportName) const;

  std::shared_ptr<CalcOffice> office_;
  std::vector<SymbolLookup> libraries_;
};

}  // namespace host::calc
