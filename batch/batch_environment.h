#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "host/host.h"
#include "platform/prompter.h"
#include "shared/excel_connection.h"
#include "shared/range_reader.h"
#include "shared/raw_table.h"

namespace batch {

// The prompter of a batch run. Every message box is printed to standard error as
// "CAPTION: text" (questions only unless quiet, with the answer) and recorded; a question is
// answered Yes and any other box OK, since the run asked for the step the box guards. File
// dialogs return the path the run queued for them; modal dialogs are handed to the scripts the
// run queued, in order. A dialog or a file dialog nobody queued is cancelled and reported, so a
// run never hangs and never writes where it was not told to.
class BatchPrompter final : public platform::Prompter {
 public:
  using Script = std::function<int(platform::ModalDialog&)>;
  struct Box {
    std::string text, caption;
    unsigned flags = 0;
  };

  BatchPrompter(std::ostream& err, bool quiet) : err_(err), quiet_(quiet) {}

  int messageBox(const std::string& text, const std::string& caption, unsigned flags) override;
  std::optional<std::string> fileDialog(const platform::FileDialogRequest& request) override;
  std::optional<platform::Rgb> chooseColour(platform::Rgb initial) override;
  int runModal(platform::ModalDialog& dialog) override;

  void queueFile(std::string path) { files_.push_back(std::move(path)); }
  void queueDialog(Script script) { scripts_.push_back(std::move(script)); }
  // For a dialog that the running script's dialog opens itself: it comes before the ones
  // queued for later commands.
  void queueNestedDialog(Script script) { scripts_.push_front(std::move(script)); }
  // Forgets what a refused command left unused.
  void clearQueues() {
    files_.clear();
    scripts_.clear();
  }
  const std::vector<Box>& boxes() const { return boxes_; }
  // Boxes that were not questions (the refusals and warnings), in order.
  std::vector<std::string> refusals() const;

 private:
  std::ostream& err_;
  bool quiet_;
  std::deque<std::string> files_;
  std::deque<Script> scripts_;
  std::vector<Box> boxes_;
};

// Set (from a signal handler) when the user interrupts the run: training stops after its
// current epoch, a map's training is cancelled, and the run ends refused before it writes
// anything more.
std::atomic<bool>& interruptRequested();
// Installs the SIGINT and SIGTERM handlers that set it.
void installInterruptHandlers();

// Progress of long work on standard error: the window's text and every tenth percent. Cancelled
// only by an interruption; never waits when an operation finishes.
class StderrProgress final : public ProgressWindow {
 public:
  // label: what the lines say until the operation sets a text of its own.
  StderrProgress(std::ostream& err, bool quiet, std::string label = "Working")
      : err_(err), quiet_(quiet), text_(std::move(label)) {}
  void setText(const std::string& text) override;
  void setPosition(int position) override;
  bool cancelRequested() override { return interruptRequested().load(); }
  void bringToForeground() override {}
  void close() override {}

 private:
  std::ostream& err_;
  bool quiet_;
  std::string text_;
  int shownTenth_ = -1;
};

// The spreadsheet host of a batch run: the host model without a window, its add-in reaching
// this process's tool connections, the tool's connection entered, progress windows on standard
// error. One per process at a time (the host is).
class BatchHost {
 public:
  BatchHost(Tool tool, std::ostream& err, bool quiet);
  ~BatchHost();
  BatchHost(const BatchHost&) = delete;
  BatchHost& operator=(const BatchHost&) = delete;

  host::Host& host() { return *host_; }
  ExcelConnection& connection() { return ExcelConnection::instance(tool_); }
  // False when the connection's checks refused the host (shown through the prompter).
  bool entered() const { return entered_; }

  // Opens the data file, makes the sheet active and reads the chosen block through the range
  // reader, with its conversions and refusals. Columns and rows default to the sheet's used
  // area. Throws host::WorkbookFileError when the file cannot be read; returns false when the
  // reader refused (its message has been shown).
  //
  // With --calc the run works on the running LibreOffice Calc instead (the one listening on
  // the pipe LUMIVANE_CALC_PIPE names, by default the one lumivane --calc uses): FILE is the
  // title of a document open there ("-": the document Calc shows), SHEET one of its sheets (by
  // default its active one). The connection's tool then reads from and writes to that office,
  // and the output's FILE is a document open there too ("-": the data's document). Throws
  // host::calc::CalcError (a std::runtime_error) when no office listens or the document or
  // sheet is not open there.
  bool readData(const Job& job, RawTable& table);

  // Makes the output target's workbook and sheet active, creating them in the model when the
  // file or the sheet does not exist yet (an existing file is opened, so its other cells
  // stay). With --calc: the document must be open in Calc; a missing sheet is added to it.
  // Throws host::WorkbookFileError.
  void activateTarget(const SheetTarget& target);
  // Writes the target's workbook back to its file (complete or not at all); returns the files
  // written. With --calc nothing is saved (the cells are in Calc, for the user to save).
  std::vector<std::string> saveTarget(const SheetTarget& target);

  // Whether this run works on a running LibreOffice Calc (--calc).
  bool usesCalc() const { return calc_ != nullptr; }

 private:
  struct CalcTarget;
  bool readCalcData(const Job& job, RawTable& table);
  void activateCalcTarget(const SheetTarget& target);
  // The data-source choice of a sheet with that used area, with the job's own choices.
  DataSourceChoice sourceChoice(const Job& job, const std::optional<host::CellArea>& used) const;
  bool readChoice(const DataSourceChoice& choice, platform::Dispatch* application, RawTable& table);

  // The workbook of that file: the one this run has open, the file opened, or a new one whose
  // only sheet is firstSheet (or "Sheet1").
  host::Workbook& workbookFor(const std::string& file, const std::string& firstSheet = {});

  Tool tool_;
  std::ostream& err_;
  bool quiet_;
  std::unique_ptr<host::Host> host_;
  bool entered_ = false;
  std::unique_ptr<CalcTarget> calc_;
};

// The folder that holds methinfo and the plug-ins for this program: the build tree's lib/ or
// the installed library folder, found relative to the executable. Empty when neither exists.
std::string libraryFolder();

// Writes text to path, replacing it only once complete; false on failure.
bool writeTextFile(const std::string& path, const std::string& text);

// Seconds since start, for the summary's timings.
double secondsSince(std::chrono::steady_clock::time_point start);

}  // namespace batch
