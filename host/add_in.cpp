#include "host/add_in.h"

#include "host/application_object.h"
#include "host/automation_support.h"

namespace host {

using platform::HRESULT;
using platform::Variant;

namespace {

struct Macro {
  std::string_view name;
  const char* reader;        // the reader export the macro calls
  const char* bookAndSheet;  // the book-and-sheet export ("97" macros only)
  bool bookAndSheetHasResult;
};

constexpr Macro kMacros[] = {
    {"Vantor3DataReader97", "Vantor3Reader97", "GetBookAndSheetVT", false},
    {"Vantor3DataReader", "Vantor3Reader", nullptr, false},
    {"GridwiseDataReader97", "GridwiseReader97", "GetBookAndSheetGW", true},
    {"GridwiseDataReader", "GridwiseReader", nullptr, false},
};

// Splits "BOOK!MACRO" (the book may be quoted, 'My Book.xls'!MACRO) into its two parts; a
// name without '!' names a macro of the add-in itself.
void splitMacroName(std::string_view full, std::string_view& book, std::string_view& macro) {
  const std::size_t bang = full.rfind('!');
  if (bang == std::string_view::npos) {
    book = {};
    macro = full;
    return;
  }
  book = full.substr(0, bang);
  macro = full.substr(bang + 1);
  if (book.size() >= 2 && book.front() == '\'' && book.back() == '\'') book = book.substr(1, book.size() - 2);
}

}  // namespace

void* AddIn::find(const char* exportName) const {
  for (const auto& lookup : libraries_)
    if (void* symbol = lookup(exportName)) return symbol;
  return nullptr;
}

HRESULT AddIn::run(platform::Dispatch& application, std::string_view macroName, std::span<const Variant>,
                   Variant* result, platform::ExcepInfo* excepInfo) {
  std::string_view book, name;
  splitMacroName(macroName, book, name);
  const Macro* macro = nullptr;
  if (book.empty() || platform::equalsNoCase(book, kAddInWorkbookName)) {
    for (const auto& m : kMacros)
      if (platform::equalsNoCase(m.name, name)) macro = &m;
  }
  if (!macro) return raise(excepInfo, "The macro '" + std::string(macroName) + "' cannot be found.");

  const auto reader = reinterpret_cast<ReaderExport>(find(macro->reader));
  void* bookAndSheet = macro->bookAndSheet ? find(macro->bookAndSheet) : nullptr;
  const char* missing =
      !reader ? macro->reader : (macro->bookAndSheet && !bookAndSheet ? macro->bookAndSheet : nullptr);
  if (missing)
    return raise(excepInfo, "The macro '" + std::string(macroName) +
                                "' cannot run: no loaded tool library exports " + missing + ".");
  if (result) result->clear();
  if (!macro->bookAndSheet) {
    reader(&application);
    return platform::S_OK;
  }

  Variant bookName, sheetName;
  if (macro->bookAndSheetHasResult)
    reinterpret_cast<BookAndSheetExportWithResult>(bookAndSheet)(&bookName, &sheetName);
  else
    reinterpret_cast<BookAndSheetExport>(bookAndSheet)(&bookName, &sheetName);
  if (bookName.vt() != platform::VT_BSTR || sheetName.vt() != platform::VT_BSTR) return platform::S_OK;

  std::shared_ptr<Sheet> sheet;
  if (const auto workbook = model_->findWorkbook(bookName.bstrVal()))
    sheet = workbook->findSheet(sheetName.bstrVal());
  if (sheet) {
    auto target = platform::makeRef<WorksheetObject>(sheet);
    reader(target.get());
    return platform::S_OK;
  }
  // The target has gone: the reader still runs, on a worksheet whose members all fail, so the
  // tool's pending request ends instead of waiting for ever.
  auto gone = std::make_shared<Sheet>(sheetName.bstrVal(), model_->limits());
  gone->detach();
  auto target = platform::makeRef<WorksheetObject>(gone);
  reader(target.get());
  return raise(excepInfo, "Unable to find the worksheet \"" + sheetName.bstrVal() + "\" of the workbook \"" +
                              bookName.bstrVal() + "\".");
}

}  // namespace host
