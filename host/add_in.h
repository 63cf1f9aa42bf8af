#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "host/host_model.h"
#include "platform/dispatch.h"

namespace host {

// Finds an exported function of one loaded tool library by name; null when it has none.
using SymbolLookup = std::function<void*(const char* name)>;

// Signatures of the tool exports the reader macros call.
using ReaderExport = void (*)(platform::Dispatch* target);
using BookAndSheetExport = void (*)(platform::Variant* book, platform::Variant* sheet);
// Gridwise's book-and-sheet export also returns a pointer-sized word (0: nothing pending).
using BookAndSheetExportWithResult = std::intptr_t (*)(platform::Variant* book, platform::Variant* sheet);

// The built-in add-in workbook's macros, run through Application.Run with names
// "LUMIVANE.XLA!Vantor3DataReader97" and so on:
// - Vantor3DataReader97 / GridwiseDataReader97 ask GetBookAndSheetVT / GetBookAndSheetGW for
//   the pending target, find that worksheet and call Vantor3Reader97 / GridwiseReader97 with
//   it. With nothing pending they do nothing. When the target is no longer open the reader is
//   still called (with a worksheet whose every member fails, so the tool's request ends) and
//   the macro then fails naming the missing target.
// - Vantor3DataReader / GridwiseDataReader call Vantor3Reader / GridwiseReader with the
//   Application.
// Exports are looked up by name in the libraries added, first library first; the host links no
// tool. Runs on the calling thread.
class AddIn {
 public:
  explicit AddIn(std::shared_ptr<HostModel> model) : model_(std::move(model)) {}

  void addLibrary(SymbolLookup lookup) { libraries_.push_back(std::move(lookup)); }
  void clearLibraries() { libraries_.clear(); }

  // Runs the macro; DISP_E_EXCEPTION (with a description) for a macro that does not exist,
  // an export no loaded library has, or a target that is not open.
  platform::HRESULT run(platform::Dispatch& application, std::string_view macroName,
                        std::span<const platform::Variant> args, platform::Variant* result,
                        platform::ExcepInfo* excepInfo);

 private:
  void* find(const char* exportName) const;

  std::shared_ptr<HostModel> model_;
  std::vector<SymbolLookup> libraries_;
};

}  // namespace host
