#include "host/calc/calc_objects.h"

#include <algorithm>
#include <chrono>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>

#include "host/automation_support.h"
#include "host/calc/calc_uno.h"
#include "host/cell_address.h"
#include "host/host_model.h"
#include "host/range_object.h"
#include "platform/safe_array.h"

namespace host::calc {

using platform::equalsNoCase;
using platform::HRESULT;
using platform::Variant;
namespace table = com::sun::star::table;
namespace container = com::sun::star::container;

namespace {

// The most cells one Value moves: a block this size is about a gigabyte of variants.
constexpr std::int64_t kMaxBlockCells = 20'000'000;

Variant nothing() {
  return Variant(static_cast<platform::Dispatch*>(nullptr));
}

// Runs an office call, turning a lost office or a refusal into an exception for the caller.
template <class Call>
HRESULT guarded(const CalcOffice& office, platform::ExcepInfo* excepInfo, Call call) {
  try {
    office.impl().check();
    return call();
  } catch (const CalcError& e) {
    return raise(excepInfo, e.what());
  } catch (const uno::RuntimeException& e) {
    try {
      office.impl().lost(e);
    } catch (const CalcError& error) {
      return raise(excepInfo, error.what());
    }
  } catch (const uno::Exception& e) {
    try {
      office.impl().refused(e);
    } catch (const CalcError& error) {
      return raise(excepInfo, error.what());
    }
  }
  return platform::DISP_E_EXCEPTION;
}

template <class Find>
HRESULT collectionItem(const Variant& key, int count, Find find) {
  if (key.vt() == platform::VT_BSTR) return find(-1, key.bstrVal());
  std::int32_t index = 0;
  if (platform::FAILED(argToInt(key, index))) return platform::DISP_E_TYPEMISMATCH;
  if (index < 1 || index > count) return platform::DISP_E_BADINDEX;
  return find(index - 1, std::string_view());
}

// The tools read their data one cell at a time, and every office call is a round trip (about a
// millisecond): single cells are read from a block of the rows and columns around them, taken
// in one call and kept briefly. A write through the sheet drops it; the short life bounds what
// an edit made meanwhile in Calc itself can miss.
struct CellCache {
  static constexpr std::int32_t kRows = 256, kCols = 16;
  static constexpr std::chrono::milliseconds kLife{1000};
  CellArea area{};
  std::vector<Variant> values;
  std::chrono::steady_clock::time_point taken{};
  bool valid = false;

  const Variant* find(std::int32_t row, std::int32_t col) const {
    if (!valid || std::chrono::steady_clock::now() - taken > kLife) return nullptr;
    if (row < area.top || row > area.bottom || col < area.left || col > area.right) return nullptr;
    return &values[static_cast<std::size_t>(row - area.top) * static_cast<std::size_t>(area.cols()) +
                   static_cast<std::size_t>(col - area.left)];
  }
};

// One sheet of a document, with what every range on it needs to know.
struct SheetRef {
  uno::Reference<sheet::XSpreadsheet> sheet;
  std::string name;
  SheetLimits limits;
  CellCache cells;

  const Variant& cell(std::int32_t row, std::int32_t col) {
    if (const Variant* known = cells.find(row, col)) return *known;
    cells.valid = false;
    cells.area = CellArea{row, col, std::min(row + CellCache::kRows - 1, limits.rows),
                          std::min(col + CellCache::kCols - 1, limits.cols)};
    cells.values = readBlock(sheet, cells.area);
    cells.taken = std::chrono::steady_clock::now();
    cells.valid = true;
    return cells.values.front();
  }
};

std::shared_ptr<SheetRef> sheetRef(uno::Reference<sheet::XSpreadsheet> sheet) {
  auto ref = std::make_shared<SheetRef>();
  ref->name = sheetName(sheet);
  ref->limits = sheetLimits(sheet);
  ref->sheet = std::move(sheet);
  return ref;
}

HRESULT checkedCell(const SheetRef& sheet, std::int64_t row, std::int64_t col, CellArea& area,
                    platform::ExcepInfo* excepInfo) {
  if (row < 1 || row > sheet.limits.rows)
    return raise(excepInfo, "Row " + std::to_string(row) + " is outside the worksheet (rows 1 to " +
                                std::to_string(sheet.limits.rows) + ").");
  if (col < 1 || col > sheet.limits.cols)
    return raise(excepInfo, "Column " + std::to_string(col) + " is outside the worksheet (columns 1 to " +
                                std::to_string(sheet.limits.cols) + ").");
  const auto r = static_cast<std::int32_t>(row), c = static_cast<std::int32_t>(col);
  area = CellArea{r, c, r, c};
  return platform::S_OK;
}

class CalcRange final : public platform::Dispatch {
 public:
  using Counting = RangeObject::Counting;
  CalcRange(std::shared_ptr<CalcOffice> office, std::shared_ptr<SheetRef> sheet, const CellArea& area,
            Counting counting = Counting::Cells)
      : office_(std::move(office)), sheet_(std::move(sheet)), area_(area), counting_(counting) {}

  HRESULT invoke(std::string_view name, unsigned short flags, std::span<const Variant> args, Variant* result,
                 platform::ExcepInfo* excepInfo) override {
    if (equalsNoCase(name, "Value")) {
      if (isPut(flags)) {
        if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
        return guarded(*office_, excepInfo, [&] { return putValue(args[0], excepInfo); });
      }
      if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
      if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
      return guarded(*office_, excepInfo, [&] { return getValue(result, excepInfo); });
    }
    if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
    if (!office_->alive()) return raise(excepInfo, "LibreOffice Calc is no longer running.");
    if (equalsNoCase(name, "Cells")) return cells(args, result, excepInfo);
    if (equalsNoCase(name, "Rows")) return rowsOrColumns(Counting::Rows, args, result, excepInfo);
    if (equalsNoCase(name, "Columns")) return rowsOrColumns(Counting::Columns, args, result, excepInfo);
    return RangeObject::measure(name, area_, counting_, args, result);
  }

  const std::shared_ptr<SheetRef>& sheet() const { return sheet_; }
  const CellArea& area() const { return area_; }

 private:
  HRESULT tooLarge(platform::ExcepInfo* excepInfo) const {
    return raise(excepInfo, "The range " + cellName(area_.top, area_.left) + ":" +
                                cellName(area_.bottom, area_.right) + " is too large to move at once.");
  }
  std::int64_t cellCount() const { return static_cast<std::int64_t>(area_.rows()) * area_.cols(); }

  HRESULT getValue(Variant* result, platform::ExcepInfo* excepInfo) const {
    if (cellCount() > kMaxBlockCells) return tooLarge(excepInfo);
    if (cellCount() == 1) return returnValue(Variant(sheet_->cell(area_.top, area_.left)), result);
    std::vector<Variant> values = readBlock(sheet_->sheet, area_);
    if (values.size() == 1) return returnValue(std::move(values[0]), result);
    const platform::SafeArrayBound bounds[2] = {{static_cast<std::uint32_t>(area_.rows()), 1},
                                                {static_cast<std::uint32_t>(area_.cols()), 1}};
    auto array = platform::SafeArray::create(bounds);
    if (!array) return platform::E_OUTOFMEMORY;
    const auto cols = static_cast<std::uint32_t>(area_.cols());
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(area_.rows()); ++i)
      for (std::uint32_t j = 0; j < cols; ++j) array->at(i, j) = std::move(values[i * cols + j]);
    return returnValue(Variant(std::move(array)), result);
  }

  HRESULT putValue(const Variant& value, platform::ExcepInfo* excepInfo) {
    if (cellCount() > kMaxBlockCells) return tooLarge(excepInfo);
    const auto rows = static_cast<std::size_t>(area_.rows()), cols = static_cast<std::size_t>(area_.cols());
    std::vector<const Variant*> cells(rows * cols, &value);
    // The spreadsheet's rule for an array smaller than the block: a one-dimensional array is a
    // row; an array of one row is repeated down every row of the block and one of one column
    // across every column; any other cell past the array's edge gets #N/A.
    static const Variant notAvailable = Variant::error(platform::kSpreadsheetErrorBase + 2042);
    if (value.isArray()) {
      const platform::SafeArray* array = value.parray();
      if (!array || array->dims() < 1 || array->dims() > 2) return platform::DISP_E_TYPEMISMATCH;
      const bool oneDimension = array->dims() == 1;
      const std::size_t arrayRows = oneDimension ? 1 : array->rows(),
                        arrayCols = oneDimension ? array->rows() : array->cols();
      for (std::size_t i = 0; i < rows; ++i)
        for (std::size_t j = 0; j < cols; ++j) {
          const std::size_t r = arrayRows == 1 ? 0 : i, c = arrayCols == 1 ? 0 : j;
          const Variant* element = &notAvailable;
          if (r < arrayRows && c < arrayCols) {
            const auto row = static_cast<std::uint32_t>(r), col = static_cast<std::uint32_t>(c);
            element = oneDimension ? &array->at(col, 0) : &array->at(row, col);
          }
          cells[i * cols + j] = element;
        }
    }
    sheet_->cells.valid = false;
    if (!writeBlock(sheet_->sheet, area_, cells)) return platform::DISP_E_TYPEMISMATCH;
    return platform::S_OK;
  }

  HRESULT cells(std::span<const Variant> args, Variant* result, platform::ExcepInfo* excepInfo) const {
    if (args.empty()) return returnObject(platform::makeRef<CalcRange>(office_, sheet_, area_), result);
    std::int32_t first = 0, second = 0;
    if (platform::FAILED(argToInt(args[0], first))) return platform::DISP_E_TYPEMISMATCH;
    CellArea cell;
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
    return returnObject(platform::makeRef<CalcRange>(office_, sheet_, cell), result);
  }

  HRESULT rowsOrColumns(Counting counting, std::span<const Variant> args, Variant* result,
                        platform::ExcepInfo* excepInfo) const {
    if (args.empty())
      return returnObject(platform::makeRef<CalcRange>(office_, sheet_, area_, counting), result);
    if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
    std::int32_t index = 0;
    if (platform::FAILED(argToInt(args[0], index))) return platform::DISP_E_TYPEMISMATCH;
    CellArea part = area_, corner;
    const bool rows = counting == Counting::Rows;
    const HRESULT hr =
        rows ? checkedCell(*sheet_, static_cast<std::int64_t>(area_.top) + index - 1, area_.left, corner,
                           excepInfo)
             : checkedCell(*sheet_, area_.top, static_cast<std::int64_t>(area_.left) + index - 1, corner,
                           excepInfo);
    if (platform::FAILED(hr)) return hr;
    if (rows)
      part.top = part.bottom = corner.top;
    else
      part.left = part.right = corner.left;
    return returnObject(platform::makeRef<CalcRange>(office_, sheet_, part, counting), result);
  }

  std::shared_ptr<CalcOffice> office_;
  std::shared_ptr<SheetRef> sheet_;
  CellArea area_;
  Counting counting_;
};

class CalcWorksheet final : public platform::Dispatch {
 public:
  CalcWorksheet(std::shared_ptr<CalcOffice> office, std::shared_ptr<SheetRef> sheet)
      : office_(std::move(office)), sheet_(std::move(sheet)) {}

  HRESULT invoke(std::string_view name, unsigned short flags, std::span<const Variant> args, Variant* result,
                 platform::ExcepInfo* excepInfo) override {
    if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
    if (!office_->alive()) return raise(excepInfo, "LibreOffice Calc is no longer running.");
    if (equalsNoCase(name, "Name")) {
      if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
      return returnValue(Variant(sheet_->name), result);
    }
    if (equalsNoCase(name, "Cells")) {
      CalcRange all(office_, sheet_, CellArea{1, 1, sheet_->limits.rows, sheet_->limits.cols});
      return all.invoke("Cells", flags, args, result, excepInfo);
    }
    if (equalsNoCase(name, "Range")) return range(args, result, excepInfo);
    return platform::DISP_E_MEMBERNOTFOUND;
  }

 private:
  HRESULT range(std::span<const Variant> args, Variant* result, platform::ExcepInfo* excepInfo) const {
    if (args.empty() || args.size() > 2) return platform::DISP_E_BADPARAMCOUNT;
    CellArea corners[2];
    for (std::size_t i = 0; i < args.size(); ++i) {
      const Variant& arg = args[i];
      if (arg.vt() == platform::VT_BSTR) {
        const auto area = parseAreaReference(arg.bstrVal());
        if (!area) return raise(excepInfo, "\"" + arg.bstrVal() + "\" is not a cell reference.");
        corners[i] = *area;
      } else if (arg.vt() == platform::VT_DISPATCH) {
        const auto* other = dynamic_cast<const CalcRange*>(arg.pdispVal());
        if (!other || other->sheet() != sheet_) return platform::DISP_E_TYPEMISMATCH;
        corners[i] = other->area();
      } else {
        return platform::DISP_E_TYPEMISMATCH;
      }
    }
    CellArea area = corners[0];
    if (args.size() == 2)
      area = CellArea{std::min(corners[0].top, corners[1].top), std::min(corners[0].left, corners[1].left),
                      std::max(corners[0].bottom, corners[1].bottom),
                      std::max(corners[0].right, corners[1].right)};
    CellArea check;
    HRESULT hr = checkedCell(*sheet_, area.top, area.left, check, excepInfo);
    if (platform::SUCCEEDED(hr)) hr = checkedCell(*sheet_, area.bottom, area.right, check, excepInfo);
    if (platform::FAILED(hr)) return hr;
    return returnObject(platform::makeRef<CalcRange>(office_, sheet_, area), result);
  }

  std::shared_ptr<CalcOffice> office_;
  std::shared_ptr<SheetRef> sheet_;
};

uno::Reference<container::XIndexAccess> sheetsOf(
    const uno::Reference<sheet::XSpreadsheetDocument>& document) {
  return uno::Reference<container::XIndexAccess>(document->getSheets(), uno::UNO_QUERY_THROW);
}

class CalcWorksheets final : public platform::Dispatch {
 public:
  CalcWorksheets(std::shared_ptr<CalcOffice> office, uno::Reference<sheet::XSpreadsheetDocument> document)
      : office_(std::move(office)), document_(std::move(document)) {}

  HRESULT invoke(std::string_view name, unsigned short flags, std::span<const Variant> args, Variant* result,
                 platform::ExcepInfo* excepInfo) override {
    if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
    if (equalsNoCase(name, "Count")) {
      if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
      return guarded(*office_, excepInfo, [&] {
        return returnValue(Variant(static_cast<std::int32_t>(sheetsOf(document_)->getCount())), result);
      });
    }
    if (name.empty() || equalsNoCase(name, "Item")) {
      if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
      return guarded(*office_, excepInfo, [&] { return item(args[0], result); });
    }
    return platform::DISP_E_MEMBERNOTFOUND;
  }

  HRESULT item(const Variant& key, Variant* result) const {
    const auto sheets = sheetsOf(document_);
    return collectionItem(key, sheets->getCount(), [&](int index, std::string_view name) {
      uno::Reference<sheet::XSpreadsheet> found;
      if (index >= 0) {
        found.set(sheets->getByIndex(index), uno::UNO_QUERY);
      } else {
        for (sal_Int32 i = 0; i < sheets->getCount() && !found.is(); ++i) {
          uno::Reference<sheet::XSpreadsheet> candidate(sheets->getByIndex(i), uno::UNO_QUERY);
          if (candidate.is() && equalsNoCase(sheetName(candidate), name)) found = candidate;
        }
      }
      if (!found.is()) return platform::DISP_E_BADINDEX;
      return returnObject(platform::makeRef<CalcWorksheet>(office_, sheetRef(found)), result);
    });
  }

 private:
  std::shared_ptr<CalcOffice> office_;
  uno::Reference<sheet::XSpreadsheetDocument> document_;
};

class CalcWorkbook final : public platform::Dispatch {
 public:
  CalcWorkbook(std::shared_ptr<CalcOffice> office, uno::Reference<sheet::XSpreadsheetDocument> document)
      : office_(std::move(office)), document_(std::move(document)) {}

  HRESULT invoke(std::string_view name, unsigned short flags, std::span<const Variant> args, Variant* result,
                 platform::ExcepInfo* excepInfo) override {
    if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
    if (equalsNoCase(name, "Name")) {
      if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
      return guarded(*office_, excepInfo,
                     [&] { return returnValue(Variant(documentTitle(document_)), result); });
    }
    if (equalsNoCase(name, "Worksheets")) {
      auto sheets = platform::makeRef<CalcWorksheets>(office_, document_);
      if (args.empty()) return returnObject(sheets, result);
      if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
      return sheets->invoke("Item", flags, args, result, excepInfo);
    }
    return platform::DISP_E_MEMBERNOTFOUND;
  }

 private:
  std::shared_ptr<CalcOffice> office_;
  uno::Reference<sheet::XSpreadsheetDocument> document_;
};

class CalcWorkbooks final : public platform::Dispatch {
 public:
  explicit CalcWorkbooks(std::shared_ptr<CalcOffice> office) : office_(std::move(office)) {}

  HRESULT invoke(std::string_view name, unsigned short flags, std::span<const Variant> args, Variant* result,
                 platform::ExcepInfo* excepInfo) override {
    if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
    if (equalsNoCase(name, "Count")) {
      if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
      return guarded(*office_, excepInfo, [&] {
        return returnValue(Variant(static_cast<std::int32_t>(office_->impl().documents().size())), result);
      });
    }
    if (name.empty() || equalsNoCase(name, "Item")) {
      if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
      return guarded(*office_, excepInfo, [&] { return item(args[0], result); });
    }
    return platform::DISP_E_MEMBERNOTFOUND;
  }

 private:
  HRESULT item(const Variant& key, Variant* result) const {
    const auto documents = office_->impl().documents();
    return collectionItem(key, static_cast<int>(documents.size()), [&](int index, std::string_view name) {
      uno::Reference<sheet::XSpreadsheetDocument> found;
      if (index >= 0) {
        found = documents[static_cast<std::size_t>(index)];
      } else {
        for (const auto& document : documents)
          if (!found.is() && equalsNoCase(documentTitle(document), name)) found = document;
      }
      if (!found.is()) return platform::DISP_E_BADINDEX;
      return returnObject(platform::makeRef<CalcWorkbook>(office_, found), result);
    });
  }

  std::shared_ptr<CalcOffice> office_;
};

// The add-in workbook as the tools may ask for it: its name, and no sheets.
class AddInWorkbook final : public platform::Dispatch {
 public:
  HRESULT invoke(std::string_view name, unsigned short flags, std::span<const Variant> args, Variant* result,
                 platform::ExcepInfo*) override {
    if (!isGet(flags) || !equalsNoCase(name, "Name")) return platform::DISP_E_MEMBERNOTFOUND;
    if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    return returnValue(Variant(kAddInWorkbookName), result);
  }
};

// The active sheet of the active document and, when asked, the selected block on it.
HRESULT activeSheetOrSelection(const std::shared_ptr<CalcOffice>& office, bool selection, Variant* result) {
  const auto document = office->impl().activeDocument();
  if (!document.is()) return returnValue(nothing(), result);
  uno::Reference<com::sun::star::frame::XModel> model(document, uno::UNO_QUERY_THROW);
  const auto sheets = sheetsOf(document);
  const auto controller = model->getCurrentController();
  uno::Reference<sheet::XSpreadsheet> active;
  if (uno::Reference<sheet::XSpreadsheetView> view{controller, uno::UNO_QUERY}; view.is())
    active = view->getActiveSheet();
  if (!active.is()) active.set(sheets->getByIndex(0), uno::UNO_QUERY_THROW);
  if (!selection) return returnObject(platform::makeRef<CalcWorksheet>(office, sheetRef(active)), result);

  // A single block is the selection; of several blocks the first; a cursor cell otherwise.
  const uno::Reference<uno::XInterface> selected(model->getCurrentSelection(), uno::UNO_QUERY);
  table::CellRangeAddress address{};
  bool found = false;
  if (uno::Reference<sheet::XCellRangeAddressable> block{selected, uno::UNO_QUERY}; block.is()) {
    address = block->getRangeAddress();
    found = true;
  } else if (uno::Reference<sheet::XSheetCellRanges> blocks{selected, uno::UNO_QUERY}; blocks.is()) {
    const auto addresses = blocks->getRangeAddresses();
    if (addresses.getLength() > 0) address = addresses[0], found = true;
  }
  if (!found) return returnValue(nothing(), result);
  uno::Reference<sheet::XSpreadsheet> onSheet(sheets->getByIndex(address.Sheet), uno::UNO_QUERY_THROW);
  const CellArea area{address.StartRow + 1, address.StartColumn + 1, address.EndRow + 1,
                      address.EndColumn + 1};
  return returnObject(platform::makeRef<CalcRange>(office, sheetRef(onSheet), area), result);
}

struct Macro {
  std::string_view name;
  const char* reader;
  const char* bookAndSheet;
  bool bookAndSheetHasResult;
};

constexpr Macro kMacros[] = {
    {"Vantor3DataReader97", "Vantor3Reader97", "GetBookAndSheetVT", false},
    {"Vantor3DataReader", "Vantor3Reader", nullptr, false},
    {"GridwiseDataReader97", "GridwiseReader97", "GetBookAndSheetGW", true},
    {"GridwiseDataReader", "GridwiseReader", nullptr, false},
};

// A worksheet whose every member fails: the reader of a target that has gone still runs on
// it, so the tool's pending request ends instead of waiting for ever.
class GoneWorksheet final : public platform::Dispatch {
 public:
  explicit GoneWorksheet(std::string name) : name_(std::move(name)) {}
  HRESULT invoke(std::string_view, unsigned short, std::span<const Variant>, Variant*,
                 platform::ExcepInfo* excepInfo) override {
    return raise(excepInfo, "The worksheet \"" + name_ + "\" is no longer open.");
  }

 private:
  std::string name_;
};

}  // namespace

void* CalcApplication::find(const char* exportName) const {
  for (const auto& lookup : libraries_)
    if (void* symbol = lookup(exportName)) return symbol;
  return nullptr;
}

HRESULT CalcApplication::invoke(std::string_view name, unsigned short flags, std::span<const Variant> args,
                                Variant* result, platform::ExcepInfo* excepInfo) {
  if (!isGet(flags)) return platform::DISP_E_MEMBERNOTFOUND;
  if (equalsNoCase(name, "Run")) {
    if (args.empty()) return platform::DISP_E_BADPARAMCOUNT;
    if (args[0].vt() != platform::VT_BSTR) return platform::DISP_E_TYPEMISMATCH;
    return run(args[0].bstrVal(), result, excepInfo);
  }
  if (equalsNoCase(name, "Workbooks")) {
    auto books = platform::makeRef<CalcWorkbooks>(office_);
    if (args.empty()) return returnObject(books, result);
    if (args.size() != 1) return platform::DISP_E_BADPARAMCOUNT;
    return books->invoke("Item", flags, args, result, excepInfo);
  }
  const bool known = equalsNoCase(name, "Version") || equalsNoCase(name, "ThisWorkbook") ||
                     equalsNoCase(name, "ActiveWorkbook") || equalsNoCase(name, "ActiveSheet") ||
                     equalsNoCase(name, "Selection");
  if (!known) return platform::DISP_E_MEMBERNOTFOUND;
  if (!args.empty()) return platform::DISP_E_BADPARAMCOUNT;
  if (equalsNoCase(name, "Version")) return returnValue(Variant("9.0"), result);
  if (equalsNoCase(name, "ThisWorkbook")) return returnObject(platform::makeRef<AddInWorkbook>(), result);
  return guarded(*office_, excepInfo, [&] {
    if (equalsNoCase(name, "ActiveWorkbook")) {
      const auto document = office_->impl().activeDocument();
      if (!document.is()) return returnValue(nothing(), result);
      return returnObject(platform::makeRef<CalcWorkbook>(office_, document), result);
    }
    return activeSheetOrSelection(office_, equalsNoCase(name, "Selection"), result);
  });
}

HRESULT CalcApplication::run(std::string_view macroName, Variant* result, platform::ExcepInfo* excepInfo) {
  std::string_view book, name = macroName;
  if (const std::size_t bang = macroName.rfind('!'); bang != std::string_view::npos) {
    book = macroName.substr(0, bang);
    name = macroName.substr(bang + 1);
    if (book.size() >= 2 && book.front() == '\'' && book.back() == '\'')
      book = book.substr(1, book.size() - 2);
  }
  const Macro* macro = nullptr;
  if (book.empty() || equalsNoCase(book, kAddInWorkbookName))
    for (const auto& m : kMacros)
      if (equalsNoCase(m.name, name)) macro = &m;
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
    reader(this);
    return platform::S_OK;
  }
  Variant bookName, sheetName;
  if (macro->bookAndSheetHasResult)
    reinterpret_cast<BookAndSheetExportWithResult>(bookAndSheet)(&bookName, &sheetName);
  else
    reinterpret_cast<BookAndSheetExport>(bookAndSheet)(&bookName, &sheetName);
  if (bookName.vt() != platform::VT_BSTR || sheetName.vt() != platform::VT_BSTR) return platform::S_OK;

  Variant target;
  platform::ExcepInfo ignored;
  Variant key[] = {bookName};
  Variant workbook;
  HRESULT hr = invoke("Workbooks", platform::DISPATCH_PROPERTYGET, key, &workbook, &ignored);
  if (platform::SUCCEEDED(hr) && workbook.vt() == platform::VT_DISPATCH && workbook.pdispVal()) {
    Variant sheetKey[] = {sheetName};
    hr = workbook.pdispVal()->invoke("Worksheets", platform::DISPATCH_PROPERTYGET, sheetKey, &target,
                                     &ignored);
  }
  if (platform::SUCCEEDED(hr) && target.vt() == platform::VT_DISPATCH && target.pdispVal()) {
    reader(target.pdispVal());
    return platform::S_OK;
  }
  auto gone = platform::makeRef<GoneWorksheet>(sheetName.bstrVal());
  reader(gone.get());
  return raise(excepInfo, "Unable to find the worksheet \"" + sheetName.bstrVal() + "\" of the workbook \"" +
                              bookName.bstrVal() + "\".");
}

}  // namespace host::calc
