#pragma once

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/cell_address.h"

namespace host::calc {

// A failure to reach or talk to the office, with a message for the user.
class CalcError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct OfficeOptions {
  // The pipe the office accepts connections on; empty: the per-user default (defaultPipeName).
  std::string pipeName;
  // Start an office when none listens on the pipe (it attaches to one already running for the
  // same profile, which then starts listening).
  bool startWhenNone = true;
  // An office started here runs without a window (tests, batch runs), as does any office
  // installed without its window system plug-ins.
  bool headless = false;
  // The office profile as a file URL ("file:///tmp/x"); empty: the user's own.
  std::string userInstallation;
  // How long to wait for a started office to accept the connection.
  int connectSeconds = 45;
  // The office program to start.
  std::string program = "soffice";
};

// "lumivane-" followed by the user's login name (or number), so each user reaches their own
// office.
std::string defaultPipeName();

// A connection to a running office over a pipe. Every office call made through it fails with a
// CalcError once the office has gone. Thread-compatible; use it from one thread.
class CalcOffice {
 public:
  // Connects (starting an office when asked to and none listens); throws CalcError.
  static std::shared_ptr<CalcOffice> connect(const OfficeOptions& options);
  ~CalcOffice();
  CalcOffice(const CalcOffice&) = delete;
  CalcOffice& operator=(const CalcOffice&) = delete;

  // False once the office has terminated or the connection broke.
  bool alive() const;
  // True once the office told us it terminates (the user closed it, or requestTermination);
  // false while alive and when the connection broke without a word (a crash, a kill).
  bool terminated() const;
  // Asks the office something cheap so that a broken connection is noticed; returns alive().
  bool ping();
  // The process started by connect() (the leader of its own process group), or 0 when an
  // office already listened or the one started handed over to it.
  pid_t startedProcess() const;

  // While busy() returns true the office refuses to terminate (the user's attempt to quit is
  // vetoed); vetoed() counts the refusals.
  void setTerminationVeto(std::function<bool()> busy);
  int vetoed() const;
  // Asks the office to terminate, as its own Quit does; false when it refused or has gone.
  bool requestTermination();

  // A new spreadsheet document, hidden when the office runs headless; returns its title.
  std::string newDocument();
  // Selects an area of a sheet of a document (by title and sheet name) and makes that sheet
  // active; throws CalcError when either is not open.
  void select(const std::string& book, const std::string& sheet, const CellArea& area);
  // Adds a sheet at the end of a document; throws CalcError when it is not open.
  void addSheet(const std::string& book, const std::string& sheet);

  // The title of the document the user works in (see CalcApplication's ActiveWorkbook); empty
  // when no spreadsheet is open.
  std::string activeDocumentTitle() const;
  // Makes the document of that title the active one as the Application reports it, whatever
  // the office's current document is (a batch run keeps to its document while the user works
  // in others); empty: the office's current one again. Throws CalcError when it is not open.
  void setActiveDocument(const std::string& book);
  // The names of a document's sheets in order, and its active sheet's; throws CalcError when
  // it is not open.
  std::vector<std::string> sheetNames(const std::string& book) const;
  std::string activeSheetName(const std::string& book) const;
  // The block from the first to the last used cell of a sheet; nothing for an empty sheet.
  // Throws CalcError when the document or the sheet is not open.
  std::optional<CellArea> usedArea(const std::string& book, const std::string& sheet) const;

  struct Impl;
  Impl& impl() const { return *impl_; }

 private:
  explicit CalcOffice(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace host::calc
