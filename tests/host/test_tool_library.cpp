// A tool library for the add-in tests: the exports a tool offers its add-in macros, writing a
// recognisable table so the tests can see which export ran with which object.
#include <cstdint>
#include <string>

#include "platform/dispatch.h"
#include "platform/safe_array.h"

using platform::Dispatch;
using platform::RefPtr;
using platform::Variant;

namespace {

bool pending = false;
std::string pendingBook, pendingSheet;
std::string lastReader;
platform::HRESULT lastResult = platform::S_OK;
int readerCalls = 0;

// The block path: one assignment of a 2 x 2 array to B2:C3 of the target worksheet.
void writeBlock(Dispatch* sheet, const char* who) {
  ++readerCalls;
  lastReader = who;
  if (!pending) return;
  auto array = platform::SafeArray::create2D(2, 2);
  array->at(0, 0) = Variant(who);
  array->at(0, 1) = Variant(1.5);
  array->at(1, 0) = Variant(std::int32_t{2});
  array->at(1, 1) = Variant::boolean(true);
  const Variant corners[] = {Variant("B2"), Variant("C3")};
  RefPtr<Dispatch> range;
  lastResult = platform::getObjectProperty(sheet, "Range", range, corners);
  if (platform::SUCCEEDED(lastResult))
    lastResult = platform::putProperty(range.get(), "Value", Variant(std::move(array)));
  pending = false;
}

// The cell-by-cell path: Workbooks(book).Worksheets(sheet).Cells(1, 1).Value through the Application.
void writeCells(Dispatch* application, const char* who) {
  ++readerCalls;
  lastReader = who;
  if (!pending) return;
  RefPtr<Dispatch> book, sheet, cell;
  const Variant bookName[] = {Variant(pendingBook)};
  const Variant sheetName[] = {Variant(pendingSheet)};
  const Variant position[] = {Variant::i2(1), Variant::i2(1)};
  lastResult = platform::getObjectProperty(application, "Workbooks", book, bookName);
  if (platform::SUCCEEDED(lastResult))
    lastResult = platform::getObjectProperty(book.get(), "Worksheets", sheet, sheetName);
  if (platform::SUCCEEDED(lastResult))
    lastResult = platform::getObjectProperty(sheet.get(), "Cells", cell, position);
  if (platform::SUCCEEDED(lastResult)) lastResult = platform::putProperty(cell.get(), "Value", Variant(who));
  pending = false;
}

std::intptr_t bookAndSheet(Variant* book, Variant* sheet) {
  if (!pending) return 0;
  book->clear();
  sheet->clear();
  *book = Variant(pendingBook);
  *sheet = Variant(pendingSheet);
  return 1;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void TestToolSetPending(const char* book, const char* sheet) {
  pending = book != nullptr;
  pendingBook = book ? book : "";
  pendingSheet = sheet ? sheet : "";
  lastReader.clear();
  lastResult = platform::S_OK;
  readerCalls = 0;
}
__attribute__((visibility("default"))) bool TestToolPending() {
  return pending;
}
__attribute__((visibility("default"))) int TestToolReaderCalls() {
  return readerCalls;
}
__attribute__((visibility("default"))) const char* TestToolLastReader() {
  return lastReader.c_str();
}
__attribute__((visibility("default"))) platform::HRESULT TestToolLastResult() {
  return lastResult;
}

__attribute__((visibility("default"))) void Vantor3Reader97(Dispatch* sheet) {
  writeBlock(sheet, "Vantor3Reader97");
}
__attribute__((visibility("default"))) void GridwiseReader97(Dispatch* sheet) {
  writeBlock(sheet, "GridwiseReader97");
}
__attribute__((visibility("default"))) void Vantor3Reader(Dispatch* app) {
  writeCells(app, "Vantor3Reader");
}
__attribute__((visibility("default"))) void GridwiseReader(Dispatch* app) {
  writeCells(app, "GridwiseReader");
}
__attribute__((visibility("default"))) void GetBookAndSheetVT(Variant* book, Variant* sheet) {
  bookAndSheet(book, sheet);
}
__attribute__((visibility("default"))) std::intptr_t GetBookAndSheetGW(Variant* book, Variant* sheet) {
  return bookAndSheet(book, sheet);
}
}
