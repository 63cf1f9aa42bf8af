#include "shared/excel_connection.h"

#include <cctype>
#include <chrono>
#include <thread>

#include "platform/active_object.h"
#include "platform/prompter.h"
#include "shared/tool_task.h"
#include "shared/tool_ui.h"

using platform::Dispatch;
using platform::HRESULT;
using platform::RefPtr;
using platform::Variant;

namespace {

// Request messages: the private window messages WM_USER + 712 and + 713.
constexpr platform::UINT kGridwiseRequestMessage = 1736;
constexpr platform::UINT kVantorRequestMessage = 1737;
// Host generation at load time and the sheet limits of the generations.
constexpr int kInitialVersion = 7;
constexpr std::int32_t kMaxRowsVersion7 = 16384;
constexpr std::int32_t kMaxRows = 65536;
constexpr std::int32_t kMaxColumns = 256;
// The NT family is supported from version 4 on.
constexpr std::uint32_t kMinimumNtMajorVersion = 4;
// Polling step of the busy flag.
constexpr auto kBusyPollStep = std::chrono::milliseconds(100);

constexpr unsigned kErrorBox = platform::MB_OK | platform::MB_ICONERROR;
constexpr unsigned kInformationBox = platform::MB_OK | platform::MB_ICONINFORMATION;

template <Tool T>
platform::LRESULT toolWindowProcedure(platform::HostWindow& window, platform::UINT message,
                                      platform::WPARAM wParam, platform::LPARAM lParam) {
  return ExcelConnection::instance(T).windowProcedure(window, message, wParam, lParam);
}

// Gridwise captions all its boxes "Gridwise" and gives its refusals an icon; it asks before
// writing output and keeps row IDs.
constexpr ToolConstants kGridwise{
    .tool = Tool::Gridwise,
    .caption = "Gridwise",
    .applicationName = "Gridwise",
    .listCaption = "Gridwise",
    .requestMessage = kGridwiseRequestMessage,
    .macro97 = "!GridwiseDataReader97",
    .macro95 = "!GridwiseDataReader",
    .badVersionMessage = "Bad Excel Version",
    .badPlatformMessage = "This platform isn't supported",
    .unknownVersion = UnknownVersionRule::CountAsVersion7,
    .unknownVersionMessage = "",
    .windowProcedure = &toolWindowProcedure<Tool::Gridwise>,
    .reader =
        {
            .rowIds = true,
            .parseError = "Error parsing string with columns!",
            .noCells = "This sheet doesn't contain data!",
            .rowsNotPositive = "Number of rows must be positive!",
            .columnsNotPositive = "Number of columns must be positive!",
            .outOfMemory = "Out of Memory!",
            .badNameTail = ".\nCheck the values of first row of your data.\nIt must be a string!",
            .badValueHead = "Data reading error in the cell ",
            .badValueTail = ".",
            .progressText = "Retrieving data from Excel sheet...",
            .progress = ProgressVariant::GridwisePlain,
            .inputRefusal = {"Gridwise", kErrorBox},
            .sheetFailure = {"Gridwise", kErrorBox},
        },
    .writer =
        {
            .confirmQuestion = "Output data to Excel?",
            .confirmBox = {"Gridwise", platform::MB_YESNO | platform::MB_ICONQUESTION},
            .upperCaseFirstCell = false,
            .pageRefusal = {"Gridwise", kInformationBox},
            .firstCellRefusal = {"Gridwise", kInformationBox},
            .writeFailure = {"Gridwise", kErrorBox | platform::MB_SYSTEMMODAL},
            .noBlockMemory = "Not enough virtual memory!",
            .noBlockMemoryBox = {"Gridwise", kErrorBox},
            .cellProgress = ProgressVariant::GridwiseOutput,
        },
};

// Vantor uses "Vantor 3" for the host checks and the sheet failures, its library name in the
// standard box (warning icon) for input refusals, and plain boxes on its output page.
constexpr ToolConstants kVantor{
    .tool = Tool::Vantor,
    .caption = "Vantor 3",
    .applicationName = "VANTOR3",
    .listCaption = "Error",
    .requestMessage = kVantorRequestMessage,
    .macro97 = "!Vantor3DataReader97",
    .macro95 = "!Vantor3DataReader",
    .badVersionMessage = "This Excel version is not supported!",
    .badPlatformMessage = "This Windows platform isn't supported",
    .unknownVersion = UnknownVersionRule::ReportAndKeep,
    .unknownVersionMessage = "This Excel version is not supported",
    .windowProcedure = &toolWindowProcedure<Tool::Vantor>,
    .reader =
        {
            .rowIds = false,
            .parseError = "Error parsing string with columns!",
            .noCells = "Bad Excel Worksheet!",
            .rowsNotPositive = "Number of rows must be a positive number",
            .columnsNotPositive = "Number of columns must be a positive number",
            .outOfMemory = "Out of memory",
            .badNameTail = "!",
            .badValueHead = "Bad value in the cell ",
            .badValueTail = "!",
            .progressText = "Retrieving data from Excel...",
            .progress = ProgressVariant::Vantor,
            .inputRefusal = {"VANTOR3", platform::MB_OK | platform::MB_ICONWARNING},
            .sheetFailure = {"Vantor 3", kErrorBox},
        },
    .writer =
        {
            .confirmQuestion = "",
            .confirmBox = {"", platform::MB_OK},
            .upperCaseFirstCell = true,
            .pageRefusal = {"VANTOR3", platform::MB_OK},
            .firstCellRefusal = {"", platform::MB_OK},  // not even a caption
            .writeFailure = {"VANTOR3", platform::MB_OK},
            .noBlockMemory = "",
            .noBlockMemoryBox = {"", platform::MB_OK},
            .cellProgress = ProgressVariant::Vantor,
        },
};

// Indexed by Tool.
constexpr const ToolConstants* kTools[kToolCount] = {&kGridwise, &kVantor};
static_assert(kGridwise.tool == Tool::Gridwise && kVantor.tool == Tool::Vantor);
static_assert(static_cast<std::size_t>(Tool::Gridwise) == 0 && static_cast<std::size_t>(Tool::Vantor) == 1);

bool defaultPlatformQuery(PlatformVersion& version) {
  // Linux stands in for a current NT-family system: wide window calls, every tool supported.
  version = PlatformVersion{kPlatformWin32Nt, 5, 0};
  return true;
}

// Cells(row, column) arguments: 16-bit integers for version 7 (whose rows all fit), 32-bit
// otherwise.
struct CellArguments {
  Variant values[2];
  CellArguments(int version, std::int32_t row, std::int32_t column)
      : values{
            small(version, row, column) ? Variant::i2(static_cast<std::int16_t>(row)) : Variant(row),
            small(version, row, column) ? Variant::i2(static_cast<std::int16_t>(column)) : Variant(column)} {}
  static bool small(int version, std::int32_t row, std::int32_t column) {
    return version <= kInitialVersion && row >= INT16_MIN && row <= INT16_MAX && column >= INT16_MIN &&
           column <= INT16_MAX;
  }
};

constexpr unsigned short kGetFlags = platform::DISPATCH_PROPERTYGET | platform::DISPATCH_METHOD;

// Cells(row, column) of a sheet or its Cells. Called once per cell by the reader, so it invokes
// the members directly into the caller's variants.
HRESULT cellObject(int version, Dispatch* cells, std::int32_t row, std::int32_t column, Variant& cell) {
  if (!cells) return platform::E_POINTER;
  const CellArguments args(version, row, column);
  const HRESULT hr = cells->invoke("Cells", kGetFlags, args.values, &cell, nullptr);
  if (platform::FAILED(hr)) return hr;
  if (cell.vt() != platform::VT_DISPATCH || !cell.pdispVal()) return platform::DISP_E_MEMBERNOTFOUND;
  return platform::S_OK;
}

HRESULT readCell(int version, Dispatch* cells, std::int32_t row, std::int32_t column, Variant& value) {
  Variant cell;
  const HRESULT hr = cellObject(version, cells, row, column, cell);
  if (platform::FAILED(hr)) return hr;
  return cell.pdispVal()->invoke("Value", kGetFlags, {}, &value, nullptr);
}

HRESULT toInt(const Variant& value, std::int32_t& out) {
  Variant converted;
  const HRESULT hr = platform::VariantChangeType(converted, value, 0, platform::VT_I4);
  if (platform::SUCCEEDED(hr)) out = converted.lVal();
  return hr;
}

HRESULT toText(const Variant& value, std::string& out) {
  Variant converted;
  const HRESULT hr = platform::VariantChangeType(converted, value, 0, platform::VT_BSTR);
  if (platform::SUCCEEDED(hr)) out = converted.bstrVal();
  return hr;
}

}  // namespace

const ToolConstants& toolConstants(Tool tool) {
  return *kTools[static_cast<std::size_t>(tool)];
}

ExcelConnection& ExcelConnection::instance(Tool tool) {
  static ExcelConnection connections[kToolCount] = {ExcelConnection(*kTools[0]), ExcelConnection(*kTools[1])};
  return connections[static_cast<std::size_t>(tool)];
}

ExcelConnection::ExcelConnection(const ToolConstants& constants)
    : constants_(constants),
      platformQuery_(defaultPlatformQuery),
      maxRows_(kMaxRowsVersion7),
      maxColumns_(kMaxColumns) {}

// ---------------------------------------------------------------------------------------------
// State

Dispatch* ExcelConnection::application() const {
  std::lock_guard lock(stateMutex_);
  return application_.get();
}

void ExcelConnection::setApplication(Dispatch* application) {
  RefPtr<Dispatch> previous;
  {
    std::lock_guard lock(stateMutex_);
    previous = std::move(application_);
    application_ = RefPtr<Dispatch>::share(application);
  }
  // The old reference goes outside the lock: releasing may run the object's destructor.
}

std::string ExcelConnection::addInWorkbookName() const {
  std::lock_guard lock(stateMutex_);
  return addInName_;
}

void ExcelConnection::setPlatformQuery(PlatformQuery query) {
  platformQuery_ = query ? std::move(query) : PlatformQuery(defaultPlatformQuery);
}

void ExcelConnection::message(std::string_view text, std::string_view caption, unsigned flags) const {
  platform::prompter().messageBox(std::string(text), std::string(caption), flags);
}

void ExcelConnection::showException(const platform::ExcepInfo& info, bool method) {
  const std::string text = info.source + ": " + info.description;
  if (method)
    message(text, constants_.caption, platform::MB_OK | platform::MB_ICONERROR);
  else
    message(text, constants_.applicationName, platform::MB_OK | platform::MB_ICONWARNING);
}

// ---------------------------------------------------------------------------------------------
// Automation operations

HRESULT ExcelConnection::GetExcel(RefPtr<Dispatch>& application) {
  if (version_ > kInitialVersion) {
    std::lock_guard lock(stateMutex_);
    if (!application_) return platform::E_POINTER;
    application = application_;
    return platform::S_OK;
  }
  const HRESULT hr = platform::GetActiveObject(platform::kSpreadsheetProgId, application);
  if (platform::FAILED(hr))
    message("Error executing GetActiveObject!", constants_.caption, platform::MB_OK | platform::MB_ICONERROR);
  return hr;
}

HRESULT ExcelConnection::GetObjectProperty(Dispatch* object, RefPtr<Dispatch>& result, std::string_view name,
                                           std::span<const Variant> args) {
  platform::ExcepInfo info;
  const HRESULT hr = platform::getObjectProperty(object, name, result, args, &info);
  if (hr == platform::DISP_E_EXCEPTION) showException(info, false);
  return hr;
}

HRESULT ExcelConnection::GetValueProperty(Dispatch* object, Variant& result, std::string_view name,
                                          std::span<const Variant> args) {
  platform::ExcepInfo info;
  const HRESULT hr = platform::getProperty(object, name, result, args, &info);
  if (hr == platform::DISP_E_EXCEPTION) showException(info, false);
  return hr;
}

HRESULT ExcelConnection::InvokeMember(Dispatch* object, Variant* result, std::string_view name,
                                      std::span<const Variant> args) {
  platform::ExcepInfo info;
  const HRESULT hr = platform::callMethod(object, name, args, result, &info);
  if (hr == platform::DISP_E_EXCEPTION) showException(info, true);
  return hr;
}

HRESULT ExcelConnection::GetCellValue(Dispatch* cells, std::int32_t row, std::int32_t column,
                                      Variant& value) const {
  return readCell(version_, cells, row, column, value);
}

HRESULT ExcelConnection::GetCellText(Dispatch* cells, std::int32_t row, std::int32_t column,
                                     std::string& text) const {
  Variant value;
  const HRESULT hr = readCell(version_, cells, row, column, value);
  if (platform::FAILED(hr)) return hr;
  switch (value.vt()) {
    case platform::VT_I2:
    case platform::VT_I4:
    case platform::VT_R4:
    case platform::VT_R8:
    case platform::VT_CY:
    case platform::VT_DATE:
    case platform::VT_BSTR:
    case platform::VT_BOOL:
    case platform::VT_UI1: {
      std::string converted;
      if (platform::FAILED(toText(value, converted)) || converted.empty()) return platform::E_INVALIDARG;
      text = std::move(converted);
      return platform::S_OK;
    }
    default:
      return platform::DISP_E_TYPEMISMATCH;
  }
}

HRESULT ExcelConnection::GetCellNumber(Dispatch* cells, std::int32_t row, std::int32_t column,
                                       double& value) const {
  Variant cell;
  const HRESULT hr = readCell(version_, cells, row, column, cell);
  if (platform::FAILED(hr)) return hr;
  switch (cell.vt()) {
    case platform::VT_R8:
      value = cell.dblVal();  // the common case, without a conversion
      return platform::S_OK;
    case platform::VT_I2:
    case platform::VT_I4:
    case platform::VT_R4:
    case platform::VT_CY:
    case platform::VT_DATE:
    case platform::VT_BOOL:
    case platform::VT_UI1: {
      Variant converted;
      const HRESULT conversion = platform::VariantChangeType(converted, cell, 0, platform::VT_R8);
      if (platform::FAILED(conversion)) return conversion;
      value = converted.dblVal();
      return platform::S_OK;
    }
    default:
      return platform::DISP_E_TYPEMISMATCH;
  }
}

HRESULT ExcelConnection::PutCellValue(Dispatch* cells, std::int32_t row, std::int32_t column,
                                      const Variant& value) const {
  Variant cell;
  const HRESULT hr = cellObject(version_, cells, row, column, cell);
  if (platform::FAILED(hr)) return hr;
  return platform::putProperty(cell.pdispVal(), "Value", value);
}

HRESULT ExcelConnection::GetExcelVersion(Dispatch* application, int& version) {
  Variant value;
  HRESULT hr = GetValueProperty(application, value, "Version");
  if (platform::FAILED(hr)) return hr;
  std::string text;
  hr = toText(value, text);
  if (platform::FAILED(hr)) return hr;
  std::size_t first = 0;
  while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  const char lead = first < text.size() ? text[first] : '\0';
  if (lead >= '7' && lead <= '9') {
    version = lead - '0';
  } else if (constants_.unknownVersion == UnknownVersionRule::CountAsVersion7) {
    version = kInitialVersion;
  } else {
    message(constants_.unknownVersionMessage, constants_.caption, kErrorBox);
  }
  return platform::S_OK;
}

bool ExcelConnection::CheckExcelAndPlatform(Dispatch* application) {
  int version = version_;
  if (platform::FAILED(GetExcelVersion(application, version))) {
    message(constants_.badVersionMessage, constants_.caption, kErrorBox);
    return false;
  }
  version_ = version;

  PlatformVersion os;
  const bool known = platformQuery_(os);
  bool supported = false;
  if (known && os.platformId == kPlatformWin32Windows) {
    ntPlatform_ = false;
    supported = true;
  } else if (known && os.platformId == kPlatformWin32Nt) {
    ntPlatform_ = true;
    supported = os.majorVersion >= kMinimumNtMajorVersion;
  }
  if (!supported) {
    message(constants_.badPlatformMessage, constants_.caption, kErrorBox);
    return false;
  }

  maxRows_ = version_ == kInitialVersion ? kMaxRowsVersion7 : kMaxRows;
  maxColumns_ = kMaxColumns;
  return true;
}

HRESULT ExcelConnection::GetActiveBookAndSheet(std::string& book, std::string& sheet) {
  const unsigned infoBox = platform::MB_OK | platform::MB_ICONINFORMATION;
  RefPtr<Dispatch> application;
  HRESULT hr = GetExcel(application);
  if (platform::FAILED(hr)) return hr;

  RefPtr<Dispatch> workbook;
  hr = GetObjectProperty(application.get(), workbook, "ActiveWorkbook");
  if (platform::FAILED(hr)) {
    message("Excel doesn't contain open workbooks!", constants_.listCaption, infoBox);
    return hr;
  }
  RefPtr<Dispatch> worksheet;
  hr = GetObjectProperty(application.get(), worksheet, "ActiveSheet");
  if (platform::FAILED(hr)) {
    message("Excel doesn't contain active sheets!", constants_.listCaption, infoBox);
    return hr;
  }
  Variant bookName, sheetName;
  hr = GetValueProperty(workbook.get(), bookName, "Name");
  if (platform::SUCCEEDED(hr)) hr = GetValueProperty(worksheet.get(), sheetName, "Name");
  std::string bookText, sheetText;
  if (platform::SUCCEEDED(hr)) hr = toText(bookName, bookText);
  if (platform::SUCCEEDED(hr)) hr = toText(sheetName, sheetText);
  if (platform::FAILED(hr)) return hr;
  book = std::move(bookText);
  sheet = std::move(sheetText);
  return platform::S_OK;
}

namespace {

// Names of the items 1 … Count of a collection, stopping at the first that cannot be read.
template <class ItemName>
void collectNames(std::int32_t count, ItemName itemName, std::vector<std::string>& names) {
  for (std::int32_t i = 1; i <= count; ++i) {
    std::string name;
    if (!itemName(i, name)) break;
    names.push_back(std::move(name));
  }
}

}  // namespace

HRESULT ExcelConnection::ListWorkbooks(std::vector<std::string>& names) {
  names.clear();
  RefPtr<Dispatch> application;
  HRESULT hr = GetExcel(application);
  if (platform::FAILED(hr)) return hr;
  RefPtr<Dispatch> workbooks;
  hr = GetObjectProperty(application.get(), workbooks, "Workbooks");
  if (platform::FAILED(hr)) {
    message("Excel doesn't contain open workbooks!", constants_.listCaption,
            platform::MB_OK | platform::MB_ICONINFORMATION);
    return hr;
  }
  Variant countValue;
  std::int32_t count = 0;
  hr = GetValueProperty(workbooks.get(), countValue, "Count");
  if (platform::SUCCEEDED(hr)) hr = toInt(countValue, count);
  if (platform::FAILED(hr)) {
    message("OLE error!", constants_.listCaption, platform::MB_OK | platform::MB_ICONERROR);
    return hr;
  }
  collectNames(
      count,
      [&](std::int32_t i, std::string& name) {
        const Variant index(i);
        RefPtr<Dispatch> workbook;
        Variant value;
        return platform::SUCCEEDED(
                   GetObjectProperty(application.get(), workbook, "Workbooks", {&index, 1})) &&
               platform::SUCCEEDED(GetValueProperty(workbook.get(), value, "Name")) &&
               platform::SUCCEEDED(toText(value, name));
      },
      names);
  return platform::S_OK;
}

HRESULT ExcelConnection::ListWorksheets(const std::string& book, std::vector<std::string>& names) {
  names.clear();
  RefPtr<Dispatch> application;
  HRESULT hr = GetExcel(application);
  if (platform::FAILED(hr)) return hr;
  const Variant bookName(book);
  RefPtr<Dispatch> workbook, worksheets;
  hr = GetObjectProperty(application.get(), workbook, "Workbooks", {&bookName, 1});
  if (platform::SUCCEEDED(hr)) hr = GetObjectProperty(workbook.get(), worksheets, "Worksheets");
  Variant countValue;
  std::int32_t count = 0;
  if (platform::SUCCEEDED(hr)) hr = GetValueProperty(worksheets.get(), countValue, "Count");
  if (platform::SUCCEEDED(hr)) hr = toInt(countValue, count);
  if (platform::FAILED(hr)) return hr;
  collectNames(
      count,
      [&](std::int32_t i, std::string& name) {
        const Variant index(i);
        RefPtr<Dispatch> worksheet;
        Variant value;
        return platform::SUCCEEDED(GetObjectProperty(workbook.get(), worksheet, "Worksheets", {&index, 1})) &&
               platform::SUCCEEDED(GetValueProperty(worksheet.get(), value, "Name")) &&
               platform::SUCCEEDED(toText(value, name));
      },
      names);
  return platform::S_OK;
}

// ---------------------------------------------------------------------------------------------
// Host window

void ExcelConnection::SubclassHostWindow() {
  if (savedProcedure_ || !window_) return;
  savedProcedure_ = window_->setProcedure(constants_.windowProcedure);
}

void ExcelConnection::RestoreHostWindow() {
  if (!savedProcedure_) return;
  // A window that is no longer the installed host window has gone with its host: forget it.
  if (!window_ || platform::hostWindow() != window_) {
    savedProcedure_ = nullptr;
    window_ = nullptr;
    return;
  }
  // Putting our saved procedure back while another has been put on top of ours would cut
  // that one out of the chain; ours then stays and keeps passing messages on.
  if (window_->procedure() != constants_.windowProcedure) return;
  window_->setProcedure(savedProcedure_);
  savedProcedure_ = nullptr;
}

platform::LRESULT ExcelConnection::windowProcedure(platform::HostWindow& window, platform::UINT message,
                                                   platform::WPARAM wParam, platform::LPARAM lParam) {
  const platform::WindowProc next = savedProcedure_ ? savedProcedure_ : window.defaultProcedure();
  if (message == platform::WM_CLOSE) {
    closeAllTasks();
    if (runningTasks_.load() > 0) return 0;  // the host stays open while a tool window lives
    RestoreHostWindow();
    if (savedProcedure_) return platform::CallWindowProc(next, window, message, wParam, lParam);
    window.post(platform::WM_CLOSE);
    return 0;
  }
  if (message == constants_.requestMessage && version_ > kInitialVersion) {
    RefPtr<Dispatch> application;
    {
      std::lock_guard lock(stateMutex_);
      application = application_;
    }
    const Variant macro(macroName(true));
    InvokeMember(application.get(), nullptr, "Run", {&macro, 1});
  }
  return platform::CallWindowProc(next, window, message, wParam, lParam);
}

// ---------------------------------------------------------------------------------------------
// Requests

std::string ExcelConnection::macroName(bool version97) const {
  return addInWorkbookName() + std::string(version97 ? constants_.macro97 : constants_.macro95);
}

HostCall ExcelConnection::CallOnHostThread(HostRequest& request) {
  {
    std::unique_lock lock(requestMutex_);
    while (busy_.load()) {
      // On the thread that runs the handlers, a request in progress is further up this very
      // stack (an event pumped while it writes): waiting would never end, so this one waits
      // its turn in the queue instead and the running call carries it out when it is done.
      const bool handlerThread = !window_ || window_->loop().onLoopThread();
      if (handlerThread) {
        waiting_.push_back(&request);
        return HostCall::Queued;
      }
      lock.unlock();
      std::this_thread::sleep_for(kBusyPollStep);
      lock.lock();
    }
    busy_ = true;
    pending_ = &request;
  }
  const HostCall result = carryOut(request);
  // Carry out the requests that arrived while this one was written, in their order.
  for (;;) {
    HostRequest* next = nullptr;
    {
      std::lock_guard lock(requestMutex_);
      if (busy_.load() || waiting_.empty()) break;
      next = waiting_.front();
      waiting_.pop_front();
      busy_ = true;
      pending_ = next;
    }
    carryOut(*next);
  }
  return result;
}

HostCall ExcelConnection::carryOut(HostRequest& request) {
  if (version_ > kInitialVersion) {
    if (window_) window_->send(constants_.requestMessage);
  } else {
    RefPtr<Dispatch> application;
    if (platform::SUCCEEDED(GetExcel(application))) {
      const Variant macro(macroName(false));
      InvokeMember(application.get(), nullptr, "Run", {&macro, 1});
    }
    // Run returns only after the macro has finished, so the handler has ended the request by
    // now if it ran at all: no waiting can bring it back.
  }
  if (pending_.load() != &request) return HostCall::Done;
  // The macro did not run the handler (no add-in macro, a failed Run, no host window). Left
  // pending, the request would block every later output for ever.
  endRequest();
  message("Nothing was written: the macro \"" + macroName(version_ > kInitialVersion) + "\" did not run.",
          constants_.caption, platform::MB_OK | platform::MB_ICONERROR);
  return HostCall::NotCarriedOut;
}

void ExcelConnection::endRequest() {
  std::lock_guard lock(requestMutex_);
  pending_ = nullptr;
  busy_ = false;
}

void ExcelConnection::withdrawRequest(HostRequest& request) {
  std::lock_guard lock(requestMutex_);
  std::erase(waiting_, &request);
}

void ExcelConnection::runReader97(Dispatch* worksheet) {
  HostRequest* request = pending_.load();
  if (!request) return;
  request->runBlockHandler(worksheet);
  // A handler that forgot to end its request must not hold up every later one.
  if (pending_.load() == request) endRequest();
}

void ExcelConnection::runReader(Dispatch* application) {
  HostRequest* request = pending_.load();
  if (!request) return;
  request->runCellHandler(application);
  if (pending_.load() == request) endRequest();
}

std::intptr_t ExcelConnection::GetBookAndSheet(Variant* book, Variant* sheet) {
  HostRequest* request = pending_.load();
  if (!request) return 0;
  if (book) {
    book->clear();
    *book = Variant(request->requestWorkbook());
  }
  if (sheet) {
    sheet->clear();
    *sheet = Variant(request->requestWorksheet());
  }
  return reinterpret_cast<std::intptr_t>(request);
}

// ---------------------------------------------------------------------------------------------
// Entry and tasks

bool ExcelConnection::enter(Dispatch* application) {
  setApplication(application);
  if (!CheckExcelAndPlatform(application)) return false;

  // The add-in workbook's name prefixes the macro names; a failed read keeps the old one.
  RefPtr<Dispatch> thisWorkbook;
  Variant name;
  if (platform::SUCCEEDED(platform::getObjectProperty(application, "ThisWorkbook", thisWorkbook)) &&
      platform::SUCCEEDED(platform::getProperty(thisWorkbook.get(), "Name", name)) &&
      name.vt() == platform::VT_BSTR) {
    std::lock_guard lock(stateMutex_);
    addInName_ = name.bstrVal();
  }

  platform::HostWindow* window = platform::hostWindow();
  if (window != window_) {
    // A new host window (the old one went with its host): what was saved for the old one is
    // meaningless now.
    RestoreHostWindow();
    savedProcedure_ = nullptr;
    window_ = window;
  }
  SubclassHostWindow();
  return true;
}

std::vector<CTask*> ExcelConnection::tasks() const {
  std::lock_guard lock(taskMutex_);
  return tasks_;
}

void ExcelConnection::addTask(CTask* task) {
  std::lock_guard lock(taskMutex_);
  tasks_.push_back(task);
  ++runningTasks_;
}

void ExcelConnection::removeTask(CTask* task) {
  std::lock_guard lock(taskMutex_);
  std::erase(tasks_, task);
  --runningTasks_;
}

void ExcelConnection::setTaskWindow(CTask* task, TaskMainWindow* window) {
  std::lock_guard lock(taskMutex_);
  task->mainWindow_ = window;
}

void ExcelConnection::closeAllTasks() {
  std::lock_guard lock(taskMutex_);
  for (CTask* task : tasks_)
    if (task->mainWindow_) task->mainWindow_->postClose();
}

void ExcelConnection::libraryExit() {
  closeAllTasks();
  while (runningTasks_.load() > 0) waitPumping(static_cast<int>(kBusyPollStep.count()));
  RestoreHostWindow();
}

void ExcelConnection::reset() {
  RestoreHostWindow();
  savedProcedure_ = nullptr;
  window_ = nullptr;
  setApplication(nullptr);
  {
    std::lock_guard lock(stateMutex_);
    addInName_.clear();
  }
  platformQuery_ = defaultPlatformQuery;
  version_ = kInitialVersion;
  ntPlatform_ = false;
  maxRows_ = kMaxRowsVersion7;
  maxColumns_ = kMaxColumns;
  std::lock_guard lock(requestMutex_);
  busy_ = false;
  pending_ = nullptr;
  waiting_.clear();
}
