#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dispatch.h"
#include "platform/host_window.h"
#include "shared/tool_ui.h"

class CTask;

// The two tools that share the bridge. Each has its own connection (see ExcelConnection).
enum class Tool { Gridwise, Vantor };
inline constexpr std::size_t kToolCount = 2;

// How one kind of message box looks: its caption and its MB_ flags (buttons, icon, modality).
struct BoxStyle {
  std::string_view caption;
  unsigned flags;
};

// What the bridge does with a Version text it does not know.
enum class UnknownVersionRule {
  CountAsVersion7,  // silently the oldest generation
  ReportAndKeep,    // says unknownVersionMessage and keeps the version it had
};

// The range reader's texts and boxes.
struct ReaderConstants {
  bool rowIds;  // the table has row IDs, offered from the first column or "Row_" + sheet row + 1
  std::string_view parseError;
  std::string_view noCells;  // the sheet's Cells cannot be had
  std::string_view rowsNotPositive;
  std::string_view columnsNotPositive;
  std::string_view outOfMemory;
  std::string_view badNameTail;   // follows "You have specified bad column name in the cell " + cell
  std::string_view badValueHead;  // then cell, then badValueTail
  std::string_view badValueTail;
  std::string_view progressText;
  ProgressVariant progress;
  BoxStyle inputRefusal;  // column list, row and column counts, memory
  BoxStyle sheetFailure;  // the sheet and the cells
};

// The output writer's choices and boxes.
struct WriterConstants {
  std::string_view confirmQuestion;  // asked (Yes/No) before anything else; empty: none
  BoxStyle confirmBox;
  bool upperCaseFirstCell;  // the page shows the first cell upper-cased
  BoxStyle pageRefusal;     // missing worksheet or workbook
  BoxStyle firstCellRefusal;
  BoxStyle writeFailure;           // "Unable to write data!"
  std::string_view noBlockMemory;  // the block cannot be made; empty: nothing is said
  BoxStyle noBlockMemoryBox;
  ProgressVariant cellProgress;  // the cell-by-cell path
};

// Everything that differs between the tools in the shared code: names, message texts, box
// styles, the host request and the choices of the reader and the writer. The shared code reads
// these instead of asking which tool it serves.
struct ToolConstants {
  Tool tool;
  std::string_view caption;          // boxes of the host checks and output refusals
  std::string_view applicationName;  // title of the standard box (the library's file name)
  std::string_view listCaption;      // boxes about missing workbooks and sheets
  platform::UINT requestMessage;     // the private message that runs the "97" macro
  std::string_view macro97;          // appended to the add-in workbook name
  std::string_view macro95;
  std::string_view badVersionMessage;
  std::string_view badPlatformMessage;
  UnknownVersionRule unknownVersion;
  std::string_view unknownVersionMessage;
  platform::WindowProc windowProcedure;  // put in place of the host window's own
  ReaderConstants reader;
  WriterConstants writer;
};
const ToolConstants& toolConstants(Tool tool);

// The operating-system version as the original platform reported it (GetVersionEx).
struct PlatformVersion {
  std::uint32_t platformId = 0;
  std::uint32_t majorVersion = 0;
  std::uint32_t minorVersion = 0;
};
inline constexpr std::uint32_t kPlatformWin32Windows = 1;  // the 95/98 family
inline constexpr std::uint32_t kPlatformWin32Nt = 2;       // the NT family
// Fills the version; false when it cannot be had. Injectable so a test can present an old
// platform; the default reports an NT-family system of version 5.0, which every check accepts.
using PlatformQuery = std::function<bool(PlatformVersion&)>;

// The object whose handler the reader exports run: an output waiting to be written on the
// host's thread. Handlers must end the request (ExcelConnection::endRequest) on every exit.
class HostRequest {
 public:
  virtual std::string requestWorkbook() const = 0;
  virtual std::string requestWorksheet() const = 0;
  // The "97" reader: the macro passes the target worksheet.
  virtual void runBlockHandler(platform::Dispatch* worksheet) = 0;
  // The version-7 reader: the macro passes the Application.
  virtual void runCellHandler(platform::Dispatch* application) = 0;

 protected:
  ~HostRequest() = default;
};

// How CallOnHostThread ended.
enum class HostCall {
  Done,           // the handler ran
  Queued,         // another request was being written further up this thread's stack; this one
                  // runs as soon as that one ends
  NotCarriedOut,  // the macro did not run the handler; the user has been told, nothing written
};

// The tool task's main window as the bridge sees it.
class TaskMainWindow {
 public:
  // Asks the window to close later (a posted close request); the window may refuse.
  virtual void postClose() = 0;

 protected:
  ~TaskMainWindow() = default;
};

// The connection of one tool to the spreadsheet host: the Application the last entry call
// passed, the host's version and limits, the add-in workbook, the subclassed host window, the
// host request in progress and the tool's running tasks. There is one per tool in the process
// (instance()). Automation calls are made on the GUI thread; the request state and the task
// list may be read from any thread.
class ExcelConnection {
 public:
  static ExcelConnection& instance(Tool tool);

  ExcelConnection(const ExcelConnection&) = delete;
  ExcelConnection& operator=(const ExcelConnection&) = delete;

  const ToolConstants& constants() const { return constants_; }
  Tool tool() const { return constants_.tool; }

  // --- connection state
  // The stored Application (no new reference); null before the first entry.
  platform::Dispatch* application() const;
  // Releases the stored Application and holds a reference to the new one (which may be null).
  void setApplication(platform::Dispatch* application);
  int excelVersion() const { return version_; }
  bool ntPlatform() const { return ntPlatform_; }
  std::int32_t maxRows() const { return maxRows_; }
  std::int32_t maxColumns() const { return maxColumns_; }
  std::string addInWorkbookName() const;
  void setPlatformQuery(PlatformQuery query);

  // --- automation operations (each returns the automation status; negative is failure)
  // The Application: for versions above 7 the stored one with a new reference, for version 7
  // the running host's, found by its programmatic name ("Error executing GetActiveObject!"
  // when there is none).
  platform::HRESULT GetExcel(platform::RefPtr<platform::Dispatch>& application);
  // Property get of an object; DISP_E_MEMBERNOTFOUND when the property holds no object. A
  // member that raises an exception is shown as "source: description" in the standard box.
  platform::HRESULT GetObjectProperty(platform::Dispatch* object,
                                      platform::RefPtr<platform::Dispatch>& result, std::string_view name,
                                      std::span<const platform::Variant> args = {});
  platform::HRESULT GetValueProperty(platform::Dispatch* object, platform::Variant& result,
                                     std::string_view name, std::span<const platform::Variant> args = {});
  // Method call; an exception is shown as "source: description" with the tool's caption and
  // the error icon. result may be null.
  platform::HRESULT InvokeMember(platform::Dispatch* object, platform::Variant* result, std::string_view name,
                                 std::span<const platform::Variant> args);
  // Cells(row, column).Value of a worksheet or its Cells, row and column 1-based (16-bit
  // arguments for version 7, 32-bit otherwise). Text accepts numbers, currency, dates, text,
  // Booleans and bytes (E_INVALIDARG when the conversion gives no text); numbers refuse text,
  // empty cells and errors with DISP_E_TYPEMISMATCH. Both are silent.
  // The cell's variant as it is (empty cells are VT_EMPTY); silent.
  platform::HRESULT GetCellValue(platform::Dispatch* cells, std::int32_t row, std::int32_t column,
                                 platform::Variant& value) const;
  platform::HRESULT GetCellText(platform::Dispatch* cells, std::int32_t row, std::int32_t column,
                                std::string& text) const;
  platform::HRESULT GetCellNumber(platform::Dispatch* cells, std::int32_t row, std::int32_t column,
                                  double& value) const;
  platform::HRESULT PutCellValue(platform::Dispatch* cells, std::int32_t row, std::int32_t column,
                                 const platform::Variant& value) const;
  // Reads Version: "7…", "8…", "9…" give 7, 8, 9 (leading blanks skipped). Another version
  // counts as 7 for Gridwise; Vantor says "This Excel version is not supported" and keeps the
  // version it had. Fails only when Version cannot be read.
  platform::HRESULT GetExcelVersion(platform::Dispatch* application, int& version);
  // Version and platform checks with their messages; sets the limits. True when the tool may
  // run.
  bool CheckExcelAndPlatform(platform::Dispatch* application);
  // Names of the active workbook and sheet; a box says which is missing.
  platform::HRESULT GetActiveBookAndSheet(std::string& book, std::string& sheet);
  // Names of the open workbooks in the host's order (stops at the first unreadable name).
  platform::HRESULT ListWorkbooks(std::vector<std::string>& names);
  // Names of the worksheets of a workbook; fails silently when the workbook is not open.
  platform::HRESULT ListWorksheets(const std::string& book, std::vector<std::string>& names);

  // --- the host window
  // Replaces the host window's procedure with this tool's (once; a second call does nothing).
  void SubclassHostWindow();
  // Puts the saved procedure back and forgets it. When another procedure has since been put on
  // top of ours the chain is left as it is (ours keeps passing messages on).
  void RestoreHostWindow();
  bool hostWindowSubclassed() const { return savedProcedure_ != nullptr; }
  // The tool's window procedure: close requests while tasks run, and the request message.
  platform::LRESULT windowProcedure(platform::HostWindow& window, platform::UINT message,
                                    platform::WPARAM wParam, platform::LPARAM lParam);

  // --- requests carried to the host's thread
  // Makes request the pending one and has the host run the reader macro, which calls the
  // request's handler; returns when that is done. Requests are carried out one at a time.
  HostCall CallOnHostThread(HostRequest& request);
  bool busy() const { return busy_.load(); }
  HostRequest* pendingRequest() const { return pending_.load(); }
  // Clears the pending request and busy; the handlers call it on every exit.
  void endRequest();
  // Forgets a request that is waiting its turn (its owner is going away).
  void withdrawRequest(HostRequest& request);
  // What the reader exports and the book-and-sheet export do.
  void runReader97(platform::Dispatch* worksheet);
  void runReader(platform::Dispatch* application);
  // With nothing pending returns 0 and leaves both untouched; otherwise both become texts.
  std::intptr_t GetBookAndSheet(platform::Variant* book, platform::Variant* sheet);
  // The macro's full name: the add-in workbook name followed by the "97" or version-7 text.
  std::string macroName(bool version97) const;

  // --- entry and tasks
  // The entry sequence up to the start of the task: store the Application, check host and
  // platform, learn the add-in workbook's name, subclass the host window. False when a check
  // failed (its message has been shown); the tool must not start then.
  bool enter(platform::Dispatch* application);
  int runningTasks() const { return runningTasks_.load(); }
  std::vector<CTask*> tasks() const;
  // Asks the main window of every task to close.
  void closeAllTasks();
  // Closes all tasks, waits (pumping events) until none runs, restores the host window.
  void libraryExit();

  // Back to the state of a library just loaded (tests; the host window is forgotten, not
  // touched, when it is no longer the installed one).
  void reset();

 private:
  friend class CTask;
  explicit ExcelConnection(const ToolConstants& constants);
  void addTask(CTask* task);
  void removeTask(CTask* task);
  void setTaskWindow(CTask* task, TaskMainWindow* window);

  HostCall carryOut(HostRequest& request);
  void showException(const platform::ExcepInfo& info, bool method);
  void message(std::string_view text, std::string_view caption, unsigned flags) const;

  const ToolConstants& constants_;
  mutable std::mutex stateMutex_;
  platform::RefPtr<platform::Dispatch> application_;
  std::string addInName_;
  PlatformQuery platformQuery_;
  int version_ = 7;
  bool ntPlatform_ = false;
  std::int32_t maxRows_ = 0;
  std::int32_t maxColumns_ = 0;

  platform::HostWindow* window_ = nullptr;
  platform::WindowProc savedProcedure_ = nullptr;

  mutable std::mutex requestMutex_;
  std::atomic<bool> busy_{false};
  std::atomic<HostRequest*> pending_{nullptr};
  std::deque<HostRequest*> waiting_;

  mutable std::mutex taskMutex_;
  std::vector<CTask*> tasks_;
  std::atomic<int> runningTasks_{0};
};
