#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

namespace host {

// One <c> element of a worksheet's <sheetData> as the file writes it: its attributes, the text
// of its <v> and <f>, and the text of its inline string (the <t> runs joined, _xHHHH_ escapes
// decoded). Character and entity references are decoded. The views last until the callback
// that receives the cell returns.
struct ScannedCell {
  std::optional<std::string_view> ref, type, style;
  std::optional<std::string_view> value, formula, inlineText;
  bool hasFormula = false;
  std::string_view formulaType = "normal";
  std::string_view shareIndex;
};

// What a worksheet scan hands on, in document order.
class ScannedSheetSink {
 public:
  virtual void row(std::optional<std::string_view> number) = 0;
  virtual void cell(const ScannedCell& cell) = 0;

 protected:
  ~ScannedSheetSink() = default;
};

// Thrown when the part holds XML the scanner leaves to the general reader: another encoding, a
// document type, namespace prefixes on the sheet's own elements, carriage returns in kept
// text, and anything that is not well-formed. Cells may have reached the sink before it is
// thrown; the caller starts the sheet again with the general reader, which reads what the
// scanner declined or refuses the file with its own message.
struct SheetScanDeclined {};

// Reads a worksheet part of an .xlsx package from source (which fills a buffer and returns
// the bytes written, 0 at the end) and hands every row and cell of its <sheetData> to sink.
// Written for the size of a full sheet: one pass over a buffer refilled in large blocks, the
// cells taken apart where they lie, no allocation per cell. Everything outside <sheetData>
// is checked to be well-formed and otherwise passed over. Exceptions from source and sink
// pass through.
void scanWorksheet(const std::function<std::size_t(char*, std::size_t)>& source, ScannedSheetSink& sink);

}  // namespace host
