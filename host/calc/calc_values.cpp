#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XTitle.hpp>
#include <com/sun/star/sheet/FormulaResult.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <cstdint>

#include "host/calc/calc_uno.h"

namespace host::calc {

using platform::Variant;
namespace table = com::sun::star::table;

std::string toUtf8(const rtl::OUString& text) {
  const rtl::OString bytes = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
  return std::string(bytes.getStr(), static_cast<std::size_t>(bytes.getLength()));
}

rtl::OUString fromUtf8(std::string_view text) {
  return rtl::OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

std::string documentTitle(const uno::Reference<sheet::XSpreadsheetDocument>& document) {
  uno::Reference<com::sun::star::frame::XTitle> title(document, uno::UNO_QUERY);
  return title.is() ? toUtf8(title->getTitle()) : std::string();
}

std::string sheetName(const uno::Reference<sheet::XSpreadsheet>& sheet) {
  uno::Reference<com::sun::star::container::XNamed> named(sheet, uno::UNO_QUERY_THROW);
  return toUtf8(named->getName());
}

SheetLimits sheetLimits(const uno::Reference<sheet::XSpreadsheet>& sheet) {
  uno::Reference<table::XColumnRowRange> all(sheet, uno::UNO_QUERY_THROW);
  return SheetLimits{all->getRows()->getCount(), all->getColumns()->getCount()};
}

namespace {

// The office's error codes and the spreadsheet error numbers our variants carry.
struct ErrorCode {
  sal_Int32 office;
  std::int32_t number;  // 2000 #NULL!, 2007 #DIV/0!, 2015 #VALUE!, 2023 #REF!, ...
  const char* formula;  // a formula that gives the error back
};
constexpr ErrorCode kErrors[] = {
    {526, 2000, "=A1:A2 B5:B6"},     {532, 2007, "=1/0"},          {519, 2015, "=\"a\"+1"},
    {524, 2023, "=INDIRECT(\"#\")"}, {525, 2029, "=UNKNOWNNAME_"}, {503, 2036, "=SQRT(-1)"},
    {32767, 2042, "=NA()"},
};

table::CellRangeAddress addressOf(const uno::Reference<table::XCellRange>& range) {
  uno::Reference<sheet::XCellRangeAddressable> addressable(range, uno::UNO_QUERY_THROW);
  return addressable->getRangeAddress();
}

uno::Reference<table::XCellRange> blockOf(const uno::Reference<sheet::XSpreadsheet>& sheet,
                                          const CellArea& area) {
  return sheet->getCellRangeByPosition(area.left - 1, area.top - 1, area.right - 1, area.bottom - 1);
}

// Calls mark(row, col) (0-based in the block) for every cell of the ranges.
template <class Mark>
void forEachCell(const uno::Reference<sheet::XSheetCellRanges>& ranges, const table::CellRangeAddress& origin,
                 Mark mark) {
  if (!ranges.is()) return;
  const uno::Sequence<table::CellRangeAddress> addresses = ranges->getRangeAddresses();
  for (const auto& a : addresses)
    for (sal_Int32 r = a.StartRow; r <= a.EndRow; ++r)
      for (sal_Int32 c = a.StartColumn; c <= a.EndColumn; ++c)
        mark(r - origin.StartRow, c - origin.StartColumn);
}

}  // namespace

std::vector<Variant> readBlock(const uno::Reference<sheet::XSpreadsheet>& sheet, const CellArea& area) {
  const uno::Reference<table::XCellRange> range = blockOf(sheet, area);
  const auto rows = static_cast<std::size_t>(area.rows()), cols = static_cast<std::size_t>(area.cols());
  std::vector<Variant> values(rows * cols);
  uno::Reference<sheet::XCellRangeData> data(range, uno::UNO_QUERY_THROW);
  const uno::Sequence<uno::Sequence<uno::Any>> block = data->getDataArray();
  for (std::size_t i = 0; i < rows && i < static_cast<std::size_t>(block.getLength()); ++i) {
    const auto& row = block[static_cast<sal_Int32>(i)];
    for (std::size_t j = 0; j < cols && j < static_cast<std::size_t>(row.getLength()); ++j) {
      const uno::Any& any = row[static_cast<sal_Int32>(j)];
      double number = 0;
      rtl::OUString text;
      if (any >>= number)
        values[i * cols + j] = Variant(number);
      else if (any >>= text)
        values[i * cols + j] = Variant(toUtf8(text));
    }
  }
  // The block gives "" for an empty cell and nothing useful for an error: ask for both.
  uno::Reference<sheet::XCellRangesQuery> query(range, uno::UNO_QUERY_THROW);
  const table::CellRangeAddress origin = addressOf(range);
  forEachCell(query->queryEmptyCells(), origin, [&](sal_Int32 r, sal_Int32 c) {
    values[static_cast<std::size_t>(r) * cols + static_cast<std::size_t>(c)].clear();
  });
  forEachCell(query->queryFormulaCells(sheet::FormulaResult::ERROR), origin, [&](sal_Int32 r, sal_Int32 c) {
    const sal_Int32 code = range->getCellByPosition(c, r)->getError();
    std::int32_t number = 2015;
    for (const auto& e : kErrors)
      if (e.office == code) number = e.number;
    values[static_cast<std::size_t>(r) * cols + static_cast<std::size_t>(c)] =
        Variant::error(platform::kSpreadsheetErrorBase + number);
  });
  return values;
}

bool writeBlock(const uno::Reference<sheet::XSpreadsheet>& sheet, const CellArea& area,
                const std::vector<const Variant*>& values) {
  using namespace platform;
  const auto rows = static_cast<std::size_t>(area.rows()), cols = static_cast<std::size_t>(area.cols());
  uno::Sequence<uno::Sequence<uno::Any>> block(static_cast<sal_Int32>(rows));
  auto* blockRows = block.getArray();
  struct ErrorCell {
    sal_Int32 row, col;
    const char* formula;
  };
  std::vector<ErrorCell> errors;
  for (std::size_t i = 0; i < rows; ++i) {
    blockRows[i].realloc(static_cast<sal_Int32>(cols));
    uno::Any* cells = blockRows[i].getArray();
    for (std::size_t j = 0; j < cols; ++j) {
      const Variant& v = *values[i * cols + j];
      uno::Any& cell = cells[j];
      switch (v.vt()) {
        case VT_EMPTY:
        case VT_NULL:
          cell <<= rtl::OUString();  // the office refuses a void value
          break;
        case VT_I2:
          cell <<= static_cast<double>(v.iVal());
          break;
        case VT_I4:
          cell <<= static_cast<double>(v.lVal());
          break;
        case VT_R4:
          cell <<= static_cast<double>(v.fltVal());
          break;
        case VT_R8:
          cell <<= v.dblVal();
          break;
        case VT_CY:
          cell <<= static_cast<double>(v.cyVal()) / static_cast<double>(kCurrencyScale);
          break;
        case VT_DATE:
          cell <<= v.dateVal();
          break;
        case VT_UI1:
          cell <<= static_cast<double>(v.bVal());
          break;
        case VT_BOOL:
          // The office keeps a truth value as the number 1 or 0.
          cell <<= v.boolVal() ? 1.0 : 0.0;
          break;
        case VT_BSTR:
          cell <<= fromUtf8(v.bstrVal());
          break;
        case VT_ERROR: {
          const char* formula = "=NA()";
          for (const auto& e : kErrors)
            if (kSpreadsheetErrorBase + e.number == v.scode()) formula = e.formula;
          errors.push_back({static_cast<sal_Int32>(i), static_cast<sal_Int32>(j), formula});
          cell <<= rtl::OUString();
          break;
        }
        default:
          return false;  // objects and nested arrays cannot live in a cell
      }
    }
  }
  const uno::Reference<table::XCellRange> range = blockOf(sheet, area);
  uno::Reference<sheet::XCellRangeData> data(range, uno::UNO_QUERY_THROW);
  data->setDataArray(block);
  // Error values have no literal form in a block: each becomes a formula giving that error.
  for (const auto& e : errors) range->getCellByPosition(e.col, e.row)->setFormula(fromUtf8(e.formula));
  return true;
}

}  // namespace host::calc
