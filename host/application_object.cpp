#include "host/application_object.h"

#include <filesystem>

#include "host/add_in.h"
#include "host/automation_support.h"
#include "host/range_object.h"

namespace host {

using platform::equalsNoCase;
using platform::HRESULT;
using platform::Variant;

namespace {

// Finds an item of a collection by 1-based index or by name.
template <class Find>
HRESULT collectionItem(const Variant& key, int count, Find find) {
  if (key.vt() == platform::VT_BSTR) return find(-1, key.bstrVal());
  std::int32_t index = 0;
  if (platform::FAILED(argToInt(key, index))) return platform::DISP_E_TYPEMISMATCH;
  if (index < 1 || index > count) return platform::DISP_E_BADINDEX;
  return find(index - 1, std::string_view());
}

Variant nothing() {
  return Variant(static_cast<platform::Dispatch*>(nullptr));
}

}  // namespace

HRESULT ApplicationObject::invoke(std::string_view name, unsigned short flags, std::span<const Variant> args,
                                  Variant* result, platform::ExcepInfo* excepInfo) {
  if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
  if (equalsNoCase(name, "Run")) {
    if (args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    if (args[0].vt() != platform::VT_BSTR) return platform::DISP_E_TYPEMISMATCH;
    if (!addIn_) return raise(excepInfo, "The macro '" + args[0].bstrVal() + "' cannot be found.");
    return addIn_->run(*this, args[0].bstrVal(), args.subspan(1), result, excepInfo);
  }
  if (equalsNoCase(name, "Workbooks")) {
    auto books = platform::makeRef<WorkbooksObject>(model_);
    if (args.empty()) return returnObject(books, result);
    if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
    return books->item(args[0], result);
  }
  if (!args.empty()) {
    const bool known = equalsNoCase(name, "Version") || equalsNoCase(name, "ThisWorkbook") ||
                       equalsNoCase(name, "ActiveWorkbook") || equalsNoCase(name, "ActiveSheet") ||
                       equalsNoCase(name, "Selection");
    return known ? platform::DISP_E_BADPARAMCOUNT : platform::DISP_E_MEMBERNOTFOUND;
  }
  if (equalsNoCase(name, "Version")) return returnValue(Variant(model_->versionText()), result);
  if (equalsNoCase(name, "ThisWorkbook")) {
    return returnObject(platform::makeRef<WorkbookObject>(model_->addInPtr()), result);
  }
  Workbook* active = model_->activeWorkbook();
  if (equalsNoCase(name, "ActiveWorkbook")) {
    if (!active) return returnValue(nothing(), result);
    return returnObject(platform::makeRef<WorkbookObject>(model_->workbookPtr(model_->activeIndex())),
                        result);
  }
  if (equalsNoCase(name, "ActiveSheet") || equalsNoCase(name, "Selection")) {
    if (!active || !active->activeSheet()) return returnValue(nothing(), result);
    const auto& sheet = active->sheetPtr(active->activeSheetIndex());
    if (equalsNoCase(name, "ActiveSheet"))
      return returnObject(platform::makeRef<WorksheetObject>(sheet), result);
    return returnObject(platform::makeRef<RangeObject>(sheet, sheet->selection()), result);
  }
  return platform::DISP_E_MEMBERNOTFOUND;
}

HRESULT WorkbooksObject::invoke(std::string_view name, unsigned short flags, std::span<const Variant> args,
                                Variant* result, platform::ExcepInfo*) {
  if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
  if (equalsNoCase(name, "Count")) {
    if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    return returnValue(Variant(static_cast<std::int32_t>(model_->workbookCount())), result);
  }
  if (name.empty() || equalsNoCase(name, "Item")) {
    if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
    return item(args[0], result);
  }
  return platform::DISP_E_MEMBERNOTFOUND;
}

HRESULT WorkbooksObject::item(const Variant& key, Variant* result) const {
  return collectionItem(key, model_->workbookCount(), [&](int index, std::string_view name) {
    std::shared_ptr<Workbook> book = index >= 0 ? model_->workbookPtr(index) : model_->findWorkbook(name);
    if (!book) return platform::DISP_E_BADINDEX;
    return returnObject(platform::makeRef<WorkbookObject>(std::move(book)), result);
  });
}

HRESULT WorkbookObject::invoke(std::string_view name, unsigned short flags, std::span<const Variant> args,
                               Variant* result, platform::ExcepInfo* excepInfo) {
  if (!workbook_->attached())
    return raise(excepInfo, "The workbook \"" + workbook_->name() + "\" is no longer open.");
  if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
  if (equalsNoCase(name, "Name")) {
    if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    return returnValue(Variant(workbook_->name()), result);
  }
  // As spreadsheets report them: a workbook without a file has its name as FullName and an
  // empty Path.
  if (equalsNoCase(name, "FullName") || equalsNoCase(name, "Path")) {
    if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    const std::filesystem::path file(workbook_->path());
    if (equalsNoCase(name, "Path")) return returnValue(Variant(file.parent_path().string()), result);
    return returnValue(Variant(file.empty() ? workbook_->name() : file.string()), result);
  }
  if (equalsNoCase(name, "Saved")) {
    if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    return returnValue(Variant::boolean(workbook_->saved()), result);
  }
  if (equalsNoCase(name, "Worksheets")) {
    auto sheets = platform::makeRef<WorksheetsObject>(workbook_);
    if (args.empty()) return returnObject(sheets, result);
    if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
    return sheets->item(args[0], result);
  }
  return platform::DISP_E_MEMBERNOTFOUND;
}

HRESULT WorksheetsObject::invoke(std::string_view name, unsigned short flags, std::span<const Variant> args,
                                 Variant* result, platform::ExcepInfo* excepInfo) {
  if (!workbook_->attached())
    return raise(excepInfo, "The workbook \"" + workbook_->name() + "\" is no longer open.");
  if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
  if (equalsNoCase(name, "Count")) {
    if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    return returnValue(Variant(static_cast<std::int32_t>(workbook_->sheetCount())), result);
  }
  if (name.empty() || equalsNoCase(name, "Item")) {
    if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
    return item(args[0], result);
  }
  return platform::DISP_E_MEMBERNOTFOUND;
}

HRESULT WorksheetsObject::item(const Variant& key, Variant* result) const {
  return collectionItem(key, workbook_->sheetCount(), [&](int index, std::string_view name) {
    std::shared_ptr<Sheet> sheet = index >= 0 ? workbook_->sheetPtr(index) : workbook_->findSheet(name);
    if (!sheet) return platform::DISP_E_BADINDEX;
    return returnObject(platform::makeRef<WorksheetObject>(std::move(sheet)), result);
  });
}

HRESULT WorksheetObject::invoke(std::string_view name, unsigned short flags, std::span<const Variant> args,
                                Variant* result, platform::ExcepInfo* excepInfo) {
  if (!sheet_->attached())
    return raise(excepInfo, "The worksheet \"" + sheet_->name() + "\" is no longer open.");
  if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
  if (equalsNoCase(name, "Name")) {
    if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    return returnValue(Variant(sheet_->name()), result);
  }
  if (equalsNoCase(name, "Cells")) {
    const SheetLimits limits = sheet_->limits();
    RangeObject all(sheet_, CellArea{1, 1, limits.rows, limits.cols});
    return all.invoke("Cells", flags, args, result, excepInfo);
  }
  if (equalsNoCase(name, "Range")) return range(args, result, excepInfo);
  return platform::DISP_E_MEMBERNOTFOUND;
}

HRESULT WorksheetObject::range(std::span<const Variant> args, Variant* result,
                               platform::ExcepInfo* excepInfo) const {
  if (args.empty() || args.size() > 2) return platform::DISP_E_BADPARAMCOUNT;
  CellArea corners[2];
  for (std::size_t i = 0; i < args.size(); ++i) {
    const Variant& arg = args[i];
    if (arg.vt() == platform::VT_BSTR) {
      const auto area = parseAreaReference(arg.bstrVal());
      if (!area) return raise(excepInfo, "\"" + arg.bstrVal() + "\" is not a cell reference.");
      corners[i] = *area;
    } else if (arg.vt() == platform::VT_DISPATCH) {
      const auto* other = dynamic_cast<const RangeObject*>(arg.pdispVal());
      if (!other || other->sheet() != sheet_) return platform::DISP_E_TYPEMISMATCH;
      corners[i] = other->area();
    } else {
      return platform::DISP_E_TYPEMISMATCH;
    }
  }
  CellArea area = corners[0];
  if (args.size() == 2) {
    area = CellArea{std::min(corners[0].top, corners[1].top), std::min(corners[0].left, corners[1].left),
                    std::max(corners[0].bottom, corners[1].bottom),
                    std::max(corners[0].right, corners[1].right)};
  }
  CellArea check;
  HRESULT hr = checkedCell(*sheet_, area.top, area.left, check, excepInfo);
  if (platform::SUCCEEDED(hr)) hr = checkedCell(*sheet_, area.bottom, area.right, check, excepInfo);
  if (platform::FAILED(hr)) return hr;
  return returnObject(platform::makeRef<RangeObject>(sheet_, area), result);
}

}  // namespace host
