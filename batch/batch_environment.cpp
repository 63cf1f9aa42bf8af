#include "batch/batch_environment.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host/workbook_io.h"
#include "platform/a1_notation.h"
#include "shared/binary_io.h"
#include "shared/tool_ui.h"

#ifdef LUMIVANE_BATCH_CALC
#include "host/calc/calc_objects.h"
#include "host/calc/calc_office.h"
#endif

#ifndef LUMIVANE_BATCH_BUILD_LIB
#define LUMIVANE_BATCH_BUILD_LIB "../lib"
#endif
#ifndef LUMIVANE_BATCH_INSTALLED_LIB
#define LUMIVANE_BATCH_INSTALLED_LIB "../lib/lumivane"
#endif

namespace batch {
namespace {

// The reader and book-and-sheet exports as the tool libraries export them, so the host's add-in
// macros reach the connections of this process.
void vantorReader97(platform::Dispatch* target) {
  ExcelConnection::instance(Tool::Vantor).runReader97(target);
}
void vantorReader(platform::Dispatch* target) {
  ExcelConnection::instance(Tool::Vantor).runReader(target);
}
void bookAndSheetVT(platform::Variant* book, platform::Variant* sheet) {
  ExcelConnection::instance(Tool::Vantor).GetBookAndSheet(book, sheet);
}
void gridwiseReader97(platform::Dispatch* target) {
  ExcelConnection::instance(Tool::Gridwise).runReader97(target);
}
void gridwiseReader(platform::Dispatch* target) {
  ExcelConnection::instance(Tool::Gridwise).runReader(target);
}
std::intptr_t bookAndSheetGW(platform::Variant* book, platform::Variant* sheet) {
  return ExcelConnection::instance(Tool::Gridwise).GetBookAndSheet(book, sheet);
}

void* toolExport(const char* name) {
  const std::string n(name);
  if (n == "Vantor3Reader97") return reinterpret_cast<void*>(&vantorReader97);
  if (n == "Vantor3Reader") return reinterpret_cast<void*>(&vantorReader);
  if (n == "GetBookAndSheetVT") return reinterpret_cast<void*>(&bookAndSheetVT);
  if (n == "GridwiseReader97") return reinterpret_cast<void*>(&gridwiseReader97);
  if (n == "GridwiseReader") return reinterpret_cast<void*>(&gridwiseReader);
  if (n == "GetBookAndSheetGW") return reinterpret_cast<void*>(&bookAndSheetGW);
  return nullptr;
}

bool isQuestion(unsigned flags) {
  const unsigned buttons = flags & platform::kButtonMask;
  return buttons == platform::MB_YESNO || buttons == platform::MB_YESNOCANCEL;
}

std::string oneLine(std::string text) {
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  return text;
}

std::filesystem::path executableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe.parent_path();
}

}  // namespace

// --- BatchPrompter ------------------------------------------------------------------------------

int BatchPrompter::messageBox(const std::string& text, const std::string& caption, unsigned flags) {
  boxes_.push_back({text, caption, flags});
  if (isQuestion(flags)) {
    if (!quiet_) err_ << caption << ": " << oneLine(text) << " -> Yes\n";
    return platform::IDYES;
  }
  err_ << caption << ": " << oneLine(text) << "\n";
  return platform::IDOK;
}

std::optional<std::string> BatchPrompter::fileDialog(const platform::FileDialogRequest& request) {
  if (files_.empty()) {
    err_ << "lumivane-batch: a file dialog (" << (request.save ? "save " : "open ") << request.filter
         << ") had no file to answer with; cancelled\n";
    return std::nullopt;
  }
  std::string path = std::move(files_.front());
  files_.pop_front();
  return path;
}

std::optional<platform::Rgb> BatchPrompter::chooseColour(platform::Rgb) {
  return std::nullopt;
}

int BatchPrompter::runModal(platform::ModalDialog& dialog) {
  if (scripts_.empty()) {
    err_ << "lumivane-batch: the dialog \"" << dialog.dialogTitle() << "\" had no answer; cancelled\n";
    return platform::IDCANCEL;
  }
  Script script = std::move(scripts_.front());
  scripts_.pop_front();
  return script(dialog);
}

std::vector<std::string> BatchPrompter::refusals() const {
  std::vector<std::string> texts;
  for (const Box& b : boxes_)
    if (!isQuestion(b.flags)) texts.push_back(b.text);
  return texts;
}

// --- interruption ------------------------------------------------------------------------------

std::atomic<bool>& interruptRequested() {
  static std::atomic<bool> requested{false};
  return requested;
}

static void onInterrupt(int) {
  interruptRequested().store(true);
}

void installInterruptHandlers() {
  static_assert(std::atomic<bool>::is_always_lock_free, "the handler may only touch a lock-free flag");
  interruptRequested();  // made before any signal can arrive
  std::signal(SIGINT, onInterrupt);
  std::signal(SIGTERM, onInterrupt);
}

// --- StderrProgress -----------------------------------------------------------------------------

void StderrProgress::setText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  shownTenth_ = -1;
}

void StderrProgress::setPosition(int position) {
  const int tenth = position * 10 / kProgressFullScale;
  if (tenth == shownTenth_) return;
  shownTenth_ = tenth;
  if (!quiet_)
    err_ << (text_.empty() ? std::string("Working") : oneLine(text_)) << " " << tenth * 10 << "%\n";
}

// --- BatchHost ----------------------------------------------------------------------------------

// The running LibreOffice Calc of a --calc run.
struct BatchHost::CalcTarget {
#ifdef LUMIVANE_BATCH_CALC
  std::shared_ptr<host::calc::CalcOffice> office;
  platform::RefPtr<host::calc::CalcApplication> application;
#endif
};

BatchHost::BatchHost(Tool tool, std::ostream& err, bool quiet) : tool_(tool), err_(err), quiet_(quiet) {
  host_ = std::make_unique<host::Host>(9);
  host_->addIn().addLibrary([](const char* name) { return toolExport(name); });
  ToolUi ui;
  ui.pumpEvents = [this] {
    if (host_) host_->processMessages();
  };
  ui.openProgress = [this](ProgressVariant variant) -> std::unique_ptr<ProgressWindow> {
    // The cancellable window trains a map and carries its title only.
    return std::make_unique<StderrProgress>(
        err_, quiet_, variant == ProgressVariant::GridwiseCancellable ? "Training process..." : "Working");
  };
  setToolUi(std::move(ui));
  entered_ = connection().enter(host_->application());
}

BatchHost::~BatchHost() {
  connection().RestoreHostWindow();
  // The connection would hold the office's Application until the process exits.
  if (calc_) connection().setApplication(nullptr);
  calc_.reset();
  setToolUi({});
  host_.reset();
}

bool BatchHost::readData(const Job& job, RawTable& table) {
  if (job.flag("calc")) return readCalcData(job, table);
  const DataFile data = parseDataFile(job.text("data"));
  if (!std::filesystem::exists(data.file))
    throw host::WorkbookFileError("The data file " + data.file + " does not exist.");
  host::Workbook& book = workbookFor(data.file);
  host_->model().activate([&] {
    for (int i = 0; i < host_->model().workbookCount(); ++i)
      if (&host_->model().workbook(i) == &book) return i;
    return 0;
  }());
  if (!data.sheet.empty()) {
    int index = -1;
    for (int i = 0; i < book.sheetCount(); ++i)
      if (book.sheet(i).name() == data.sheet) index = i;
    if (index < 0)
      throw host::WorkbookFileError("the workbook " + data.file + " has no sheet \"" + data.sheet + "\"");
    book.activateSheet(index);
  }
  host::Sheet* sheet = book.activeSheet();
  if (!sheet) throw host::WorkbookFileError("the workbook " + data.file + " has no sheet");
  return readChoice(sourceChoice(job, sheet->usedArea()), host_->application(), table);
}

DataSourceChoice BatchHost::sourceChoice(const Job& job, const std::optional<host::CellArea>& used) const {
  DataSourceChoice choice;
  if (used) {
    choice.columns = platform::columnLetters(used->left);
    if (used->right > used->left) choice.columns += "-" + platform::columnLetters(used->right);
    choice.firstRow = used->top;
    choice.lastRow = used->bottom;
  }
  choice.columns = job.text("columns", choice.columns);
  if (auto v = job.integer("first-row")) choice.firstRow = static_cast<std::int32_t>(*v);
  if (auto v = job.integer("last-row")) choice.lastRow = static_cast<std::int32_t>(*v);
  choice.namesInFirstRow = !job.flag("no-names");
  choice.rowIdsInFirstColumn = job.flag("row-ids");
  return choice;
}

bool BatchHost::readChoice(const DataSourceChoice& choice, platform::Dispatch* application, RawTable& table) {
  // The dialog's own field checks come first, as they do in the window.
  DataSourceRequest request(tool_, connection().maxRows(), choice);
  if (!request.valid()) {
    err_ << "lumivane-batch: the data source (columns \"" << choice.columns << "\", rows " << choice.firstRow
         << " to " << choice.lastRow << ") is not a valid choice\n";
    return false;
  }
  return readRange(connection(), application, choice, table);
}

#ifdef LUMIVANE_BATCH_CALC

bool BatchHost::readCalcData(const Job& job, RawTable& table) {
  if (!calc_) {
    host::calc::OfficeOptions options;
    if (const char* pipe = std::getenv("LUMIVANE_CALC_PIPE"); pipe && *pipe) options.pipeName = pipe;
    // A batch run works on the user's office; one started here would hold nothing of theirs.
    options.startWhenNone = false;
    auto target = std::make_unique<CalcTarget>();
    try {
      target->office = host::calc::CalcOffice::connect(options);
    } catch (const host::calc::CalcError& e) {
      throw host::calc::CalcError(
          std::string(e.what()) +
          " Start LibreOffice Calc with lumivane --calc first (or set LUMIVANE_CALC_PIPE "
          "to the pipe your office accepts connections on).");
    }
    target->application = platform::makeRef<host::calc::CalcApplication>(target->office);
    target->application->addLibrary([](const char* name) { return toolExport(name); });
    calc_ = std::move(target);
    // The tool's requests now reach Calc; the host window and its loop stay ours.
    entered_ = connection().enter(calc_->application.get());
    if (!entered_) return false;
  }
  host::calc::CalcOffice& office = *calc_->office;
  const DataFile data = parseDataFile(job.text("data"));
  const std::string book = data.file == "-" ? office.activeDocumentTitle() : data.file;
  if (book.empty()) throw host::calc::CalcError("No spreadsheet is open in LibreOffice Calc.");
  office.setActiveDocument(book);
  const std::string sheet = data.sheet.empty() ? office.activeSheetName(book) : data.sheet;
  const auto used = office.usedArea(book, sheet);
  // The block read is the one selected, so the user sees it in Calc.
  office.select(book, sheet, used.value_or(host::CellArea{1, 1, 1, 1}));
  if (!quiet_)
    err_ << "lumivane-batch: reading \"" << book << "\", sheet \"" << sheet << "\" in LibreOffice Calc\n";
  return readChoice(sourceChoice(job, used), calc_->application.get(), table);
}

void BatchHost::activateCalcTarget(const SheetTarget& target) {
  host::calc::CalcOffice& office = *calc_->office;
  const std::string book = target.file == "-" ? office.activeDocumentTitle() : target.file;
  if (book.empty()) throw host::calc::CalcError("No spreadsheet is open in LibreOffice Calc.");
  office.setActiveDocument(book);
  std::string sheet = target.sheet;
  const auto names = office.sheetNames(book);
  if (sheet.empty()) sheet = names.front();
  if (std::find(names.begin(), names.end(), sheet) == names.end()) office.addSheet(book, sheet);
  office.select(book, sheet, host::CellArea{1, 1, 1, 1});
}

#else

bool BatchHost::readCalcData(const Job&, RawTable&) {
  throw host::WorkbookFileError(
      "this lumivane-batch has no LibreOffice Calc support (--calc): it was built without the office's SDK "
      "(libreoffice-dev)");
}

void BatchHost::activateCalcTarget(const SheetTarget&) {}

#endif

host::Workbook& BatchHost::workbookFor(const std::string& file, const std::string& firstSheet) {
  host::HostModel& model = host_->model();
  std::error_code ec;
  const std::string absolute =
      std::filesystem::weakly_canonical(std::filesystem::absolute(file), ec).string();
  for (int i = 0; i < model.workbookCount(); ++i) {
    host::Workbook& b = model.workbook(i);
    if (b.path() == absolute) return b;
  }
  const std::string name = std::filesystem::path(file).filename().string();
  if (model.findWorkbook(name))
    throw host::WorkbookFileError("two different workbooks named " + name + " in one run");
  if (std::filesystem::exists(file)) {
    host::Workbook& b = model.open(file);
    b.setPath(absolute);
    return b;
  }
  auto book = std::make_shared<host::Workbook>(name, model.limits());
  book->addSheet(firstSheet.empty() ? "Sheet1" : firstSheet);
  book->setPath(absolute);
  return model.add(book);
}

void BatchHost::activateTarget(const SheetTarget& target) {
  if (calc_) {
    activateCalcTarget(target);
    return;
  }
  host::Workbook& book = workbookFor(target.file, target.sheet);
  host::HostModel& model = host_->model();
  for (int i = 0; i < model.workbookCount(); ++i)
    if (&model.workbook(i) == &book) model.activate(i);
  int index = target.sheet.empty() ? 0 : -1;
  for (int i = 0; i < book.sheetCount() && index < 0; ++i)
    if (book.sheet(i).name() == target.sheet) index = i;
  if (index < 0) {
    book.addSheet(target.sheet);
    index = book.sheetCount() - 1;
  }
  book.activateSheet(index);
}

std::vector<std::string> BatchHost::saveTarget(const SheetTarget& target) {
  if (calc_) {
    if (!quiet_)
      err_ << "lumivane-batch: the output is in LibreOffice Calc (\"" << target.file
           << "\"); nothing is saved, save it there\n";
    return {};
  }
  host::Workbook& book = workbookFor(target.file);
  host::ExportOptions options;
  // A .csv file holds one sheet: the one written.
  options.sheets = host::ExportOptions::Sheets::Active;
  return host::exportWorkbook(book, target.file, options);
}

// --- helpers ------------------------------------------------------------------------------------

std::string libraryFolder() {
  const std::filesystem::path exe = executableFolder();
  if (exe.empty()) return {};
  for (const char* relative : {LUMIVANE_BATCH_BUILD_LIB, LUMIVANE_BATCH_INSTALLED_LIB}) {
    const std::filesystem::path candidate = exe / relative;
    std::error_code ec;
    if (std::filesystem::exists(candidate / "methinfo", ec))
      return std::filesystem::weakly_canonical(candidate, ec).string();
  }
  return {};
}

bool writeTextFile(const std::string& path, const std::string& text) {
  return writeFileAtomically(path, [&](std::ostream& out) { out << text; });
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace batch
