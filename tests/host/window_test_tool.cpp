// A tool library for the window tests: the entry exports Vantor3_97 and Gridwise_97 read the
// Selection as the data-source dialog does, subclass the host window and "open" a tool window;
// the window procedure keeps the host open while that window is open, and turns the request
// message into the add-in's reader macro, whose reader export writes a small table into the
// pending target.
#include <cstdint>
#include <string>

#include "platform/dispatch.h"
#include "platform/host_window.h"
#include "platform/safe_array.h"

using platform::Dispatch;
using platform::RefPtr;
using platform::Variant;

namespace {

constexpr platform::UINT kVantorRequest = 1737;

int entryCalls = 0;
std::string lastEntry;
std::int32_t selection[4] = {0, 0, 0, 0};  // first column, columns, first row, rows
int openToolWindows = 0;
int closeRequests = 0;
int requestMessages = 0;
platform::WindowProc savedProcedure = nullptr;
RefPtr<Dispatch> application;
std::string pendingBook, pendingSheet;
bool pending = false;

std::int32_t readCount(Dispatch* object, const char* part, const char* member) {
  RefPtr<Dispatch> piece;
  Variant value;
  if (platform::FAILED(platform::getObjectProperty(object, part, piece))) return -1;
  if (platform::FAILED(platform::getProperty(piece.get(), member, value))) return -1;
  return value.vt() == platform::VT_I4 ? value.lVal() : -1;
}

platform::LRESULT toolProcedure(platform::HostWindow& window, platform::UINT message, platform::WPARAM wParam,
                                platform::LPARAM lParam) {
  if (message == platform::WM_CLOSE) {
    if (openToolWindows > 0) {
      // Only the tool windows are asked to close; the host stays open.
      ++closeRequests;
      return 0;
    }
    window.setProcedure(savedProcedure);
    savedProcedure = nullptr;
    window.post(platform::WM_CLOSE);
    return 0;
  }
  if (message == kVantorRequest) {
    ++requestMessages;
    const Variant macro[] = {Variant("LUMIVANE.XLA!Vantor3DataReader97")};
    platform::callMethod(application.get(), "Run", macro, nullptr);
  }
  return platform::CallWindowProc(savedProcedure, window, message, wParam, lParam);
}

void enter(Dispatch* app, const char* who) {
  ++entryCalls;
  lastEntry = who;
  application = RefPtr<Dispatch>::share(app);
  RefPtr<Dispatch> range;
  if (platform::SUCCEEDED(platform::getObjectProperty(app, "Selection", range))) {
    selection[0] = readCount(range.get(), "Columns", "Column");
    selection[1] = readCount(range.get(), "Columns", "Count");
    selection[2] = readCount(range.get(), "Rows", "Row");
    selection[3] = readCount(range.get(), "Rows", "Count");
  }
  if (platform::HostWindow* window = platform::hostWindow(); window && !savedProcedure)
    savedProcedure = window->setProcedure(&toolProcedure);
  ++openToolWindows;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) void Vantor3_97(Dispatch* app) {
  enter(app, "Vantor3_97");
}
__attribute__((visibility("default"))) void Gridwise_97(Dispatch* app) {
  enter(app, "Gridwise_97");
}

// The macro's call-backs: the pending target, then the table written in one assignment.
__attribute__((visibility("default"))) void GetBookAndSheetVT(Variant* book, Variant* sheet) {
  if (!pending) return;
  *book = Variant(pendingBook);
  *sheet = Variant(pendingSheet);
}
__attribute__((visibility("default"))) void Vantor3Reader97(Dispatch* sheet) {
  if (!pending) return;
  pending = false;
  auto array = platform::SafeArray::create2D(2, 2);
  array->at(0, 0) = Variant("answer");
  array->at(0, 1) = Variant(0.25);
  array->at(1, 0) = Variant(std::int32_t{7});
  array->at(1, 1) = Variant::boolean(false);
  const Variant corners[] = {Variant("J1"), Variant("K2")};
  RefPtr<Dispatch> range;
  if (platform::SUCCEEDED(platform::getObjectProperty(sheet, "Range", range, corners)))
    platform::putProperty(range.get(), "Value", Variant(std::move(array)));
}

// --- what the tests ask and do
__attribute__((visibility("default"))) void WindowToolReset() {
  entryCalls = 0;
  lastEntry.clear();
  for (auto& s : selection) s = 0;
  openToolWindows = closeRequests = requestMessages = 0;
  pending = false;
  if (platform::HostWindow* window = platform::hostWindow(); window && savedProcedure)
    window->setProcedure(savedProcedure);
  savedProcedure = nullptr;
  application.reset();
}
__attribute__((visibility("default"))) int WindowToolEntryCalls() {
  return entryCalls;
}
__attribute__((visibility("default"))) const char* WindowToolLastEntry() {
  return lastEntry.c_str();
}
__attribute__((visibility("default"))) const std::int32_t* WindowToolSelection() {
  return selection;
}
__attribute__((visibility("default"))) int WindowToolCloseRequests() {
  return closeRequests;
}
__attribute__((visibility("default"))) int WindowToolRequestMessages() {
  return requestMessages;
}
__attribute__((visibility("default"))) void WindowToolCloseWindow() {
  if (openToolWindows > 0) --openToolWindows;
}
// Has the host write the table to book!sheet, as an output page does: the request message
// sent to the host window.
__attribute__((visibility("default"))) platform::LRESULT WindowToolWriteOutput(const char* book,
                                                                               const char* sheet) {
  pending = true;
  pendingBook = book;
  pendingSheet = sheet;
  platform::HostWindow* window = platform::hostWindow();
  return window ? window->send(kVantorRequest) : -1;
}
}
