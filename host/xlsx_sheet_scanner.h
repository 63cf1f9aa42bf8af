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
// The same over a part held whole in memory, taken apart where it lies (the views handed to
// the sink point into whole).
void scanWorksheet(std::string_view whole, ScannedSheetSink& sink);

// The same on two threads, for a large part: upper gets the rows of <sheetData> before a row
// start near the middle of the part, lower the rows from it on, both scans running at once.
// True when that was a row start at the top level of <sheetData> and the lower scan ended
// without an exception: each sink then got exactly the rows and cells, in order, that one
// scan hands on for its share of the rows. False otherwise, and upper then got every row and
// cell of the part, as from scanWorksheet; what lower got is to be dropped. Exceptions of
// the upper scan (SheetScanDeclined, its sink's) pass through; the lower one's are dropped.
// The sinks are called on different threads; each must only touch state of its own.
bool scanWorksheetSplit(std::string_view whole, ScannedSheetSink& upper, ScannedSheetSink& lower);

// Fills a part held in memory, calling ready(n) whenever its first n bytes are final.
using PartFiller = std::function<void(const std::function<void(std::size_t)>& ready)>;
// The same while the part is being filled (inflated) by fill on the calling thread: the upper
// scan follows the bytes as they become final, on a thread of its own, and stops at the first
// row at or after upperShare of the part; the calling thread then reads the rows from there
// on. Exceptions of fill pass through first (the scans' results are then to be dropped), then
// those of the upper scan.
bool scanWorksheetWhileFilled(std::string_view whole, double upperShare, const PartFiller& fill,
                              ScannedSheetSink& upper, ScannedSheetSink& lower);

}  // namespace host
