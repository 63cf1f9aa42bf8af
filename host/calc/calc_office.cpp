#include "host/calc/calc_office.h"

#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/TerminationVetoException.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XTerminateListener.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/view/XSelectionSupplier.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <cppuhelper/implbase1.hxx>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "host/calc/calc_uno.h"

extern char** environ;

namespace host::calc {

namespace frame = com::sun::star::frame;
namespace lang = com::sun::star::lang;
namespace container = com::sun::star::container;
namespace table = com::sun::star::table;

// Vetoes the office's termination while the tools are busy, and notes its end.
class TerminateListener : public cppu::WeakImplHelper1<frame::XTerminateListener> {
 public:
  TerminateListener(std::atomic<bool>& gone, std::atomic<bool>& terminated)
      : gone_(gone), terminated_(terminated) {}
  void SAL_CALL queryTermination(const lang::EventObject&) override {
    // Asked on the bridge's thread while the owner may be replacing the question.
    std::function<bool()> busy;
    {
      std::lock_guard lock(busyMutex_);
      busy = busy_;
    }
    if (busy && busy()) {
      ++vetoed_;
      throw frame::TerminationVetoException();
    }
  }
  void SAL_CALL notifyTermination(const lang::EventObject&) override {
    terminated_ = true;
    gone_ = true;
  }
  void SAL_CALL disposing(const lang::EventObject&) override { gone_ = true; }

  void setBusy(std::function<bool()> busy) {
    std::lock_guard lock(busyMutex_);
    busy_ = std::move(busy);
  }
  std::atomic<int> vetoed_{0};

 private:
  std::atomic<bool>& gone_;
  std::atomic<bool>& terminated_;
  std::mutex busyMutex_;
  std::function<bool()> busy_;
};

std::string defaultPipeName() {
  const passwd* user = getpwuid(getuid());
  return "lumivane-" + (user && user->pw_name ? std::string(user->pw_name) : std::to_string(getuid()));
}

void CalcOffice::Impl::check() const {
  if (gone) throw CalcError("LibreOffice Calc is no longer running.");
}

void CalcOffice::Impl::lost(const uno::Exception& e) const {
  gone = true;
  throw CalcError("The connection to LibreOffice Calc was lost (" + toUtf8(e.Message) + ").");
}

void CalcOffice::Impl::refused(const uno::Exception& e) const {
  if (gone) throw CalcError("LibreOffice Calc is no longer running.");
  throw CalcError("LibreOffice Calc refused the request: " + toUtf8(e.Message));
}

std::vector<uno::Reference<sheet::XSpreadsheetDocument>> CalcOffice::Impl::documents() const {
  check();
  return guard([&] {
    std::vector<uno::Reference<sheet::XSpreadsheetDocument>> result;
    const uno::Reference<container::XEnumeration> items = desktop->getComponents()->createEnumeration();
    while (items->hasMoreElements()) {
      uno::Reference<sheet::XSpreadsheetDocument> document(items->nextElement(), uno::UNO_QUERY);
      if (document.is()) result.push_back(document);
    }
    return result;
  });
}

uno::Reference<sheet::XSpreadsheetDocument> CalcOffice::Impl::findDocument(const std::string& title) const {
  for (const auto& document : documents())
    if (documentTitle(document) == title) return document;
  return {};
}

uno::Reference<sheet::XSpreadsheetDocument> CalcOffice::Impl::activeDocument() const {
  if (!pinnedDocument.empty())
    if (auto pinned = findDocument(pinnedDocument); pinned.is()) return pinned;
  const auto current = guard([&] {
    return uno::Reference<sheet::XSpreadsheetDocument>(desktop->getCurrentComponent(), uno::UNO_QUERY);
  });
  if (current.is()) return current;
  const auto all = documents();
  return all.empty() ? nullptr : all.front();
}

namespace {

// Set once the process is exiting: the UNO runtime's own statics are being torn down, so a
// connection let go of after that (held by a static, as the tools' connections hold the
// Application) must not call into it any more.
std::atomic<bool>& exiting() {
  static std::atomic<bool> flag{false};
  return flag;
}

uno::Reference<uno::XComponentContext> localContext() {
  // The URE finds its types and services through the office's bootstrap file.
  if (!std::getenv("URE_BOOTSTRAP"))
    setenv("URE_BOOTSTRAP", "vnd.sun.star.pathname:" LUMIVANE_OFFICE_PROGRAM "/fundamentalrc", 0);
  static const uno::Reference<uno::XComponentContext> context = [] {
    exiting();
    auto made = cppu::defaultBootstrap_InitialComponentContext();
    // Registered after the runtime's statics, so it runs before they go.
    std::atexit([] { exiting() = true; });
    return made;
  }();
  return context;
}

uno::Reference<uno::XComponentContext> tryResolve(
    const uno::Reference<com::sun::star::bridge::XUnoUrlResolver>& resolver, const std::string& pipe) {
  try {
    return uno::Reference<uno::XComponentContext>(
        resolver->resolve(fromUtf8("uno:pipe,name=" + pipe + ";urp;StarOffice.ComponentContext")),
        uno::UNO_QUERY);
  } catch (const com::sun::star::connection::NoConnectException&) {
    return {};
  }
}

// Whether the installed office can show windows at all: an office without any of its window
// system plug-ins (the packages without a user interface) runs headless only, and a document
// opened in it without Hidden takes it down.
bool officeHasWindows() {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(LUMIVANE_OFFICE_PROGRAM, error))
    if (entry.path().filename().string().rfind("libvclplug_", 0) == 0) return true;
  return false;
}

pid_t startOffice(const OfficeOptions& options, const std::string& pipe, bool headless) {
  std::vector<std::string> args = {options.program, "--accept=pipe,name=" + pipe + ";urp;", "--norestore",
                                   "--nologo", "--nolockcheck"};
  if (headless) {
    args.push_back("--nodefault");
    args.push_back("--headless");
    args.push_back("--invisible");
  } else {
    // The user sees Calc with an empty spreadsheet, as when starting it themselves.
    args.push_back("--calc");
  }
  if (!options.userInstallation.empty()) args.push_back("-env:UserInstallation=" + options.userInstallation);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // A group of its own, so the launcher and the office it starts can be ended together.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, options.program.c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (failed)
    throw CalcError("LibreOffice Calc could not be started (" + options.program + " was not found).");
  return pid;
}

}  // namespace

std::shared_ptr<CalcOffice> CalcOffice::connect(const OfficeOptions& options) {
  const std::string pipe = options.pipeName.empty() ? defaultPipeName() : options.pipeName;
  auto impl = std::make_unique<Impl>();
  impl->headless = options.headless || !officeHasWindows();
  try {
    const auto local = localContext();
    const auto resolver = com::sun::star::bridge::UnoUrlResolver::create(local);
    impl->remote = tryResolve(resolver, pipe);
    if (!impl->remote.is()) {
      if (!options.startWhenNone)
        throw CalcError("No LibreOffice Calc listens on the pipe \"" + pipe + "\".");
      impl->started = startOffice(options, pipe, impl->headless);
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.connectSeconds);
      while (!impl->remote.is()) {
        int status = 0;
        // An office handing the request to one already running ends at once; keep waiting
        // for the running one to listen.
        if (impl->started && waitpid(impl->started, &status, WNOHANG) == impl->started) impl->started = 0;
        if (std::chrono::steady_clock::now() > deadline) {
          if (impl->started) {
            kill(-impl->started, SIGKILL);
            waitpid(impl->started, &status, 0);
          }
          throw CalcError("LibreOffice Calc did not answer on the pipe \"" + pipe + "\" within " +
                          std::to_string(options.connectSeconds) + " seconds.");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        impl->remote = tryResolve(resolver, pipe);
      }
    }
    impl->desktop = frame::Desktop::create(impl->remote);
    impl->listener = new TerminateListener(impl->gone, impl->terminated);
    impl->desktop->addTerminateListener(uno::Reference<frame::XTerminateListener>(impl->listener.get()));
  } catch (const uno::Exception& e) {
    throw CalcError("LibreOffice Calc could not be reached: " + toUtf8(e.Message));
  }
  return std::shared_ptr<CalcOffice>(new CalcOffice(std::move(impl)));
}

CalcOffice::CalcOffice(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

CalcOffice::~CalcOffice() {
  if (exiting()) {
    // The runtime is going: releasing the office's objects would call into it.
    static_cast<void>(impl_.release());
    return;
  }
  if (!impl_->gone) {
    try {
      impl_->desktop->removeTerminateListener(
          uno::Reference<frame::XTerminateListener>(impl_->listener.get()));
    } catch (const uno::Exception&) {
      // The office went while we let go of it: nothing to undo.
    }
  }
  // A started office that handed over to another, or ended, is reaped here.
  if (impl_->started) {
    int status = 0;
    waitpid(impl_->started, &status, WNOHANG);
  }
}

bool CalcOffice::alive() const {
  return !impl_->gone;
}

bool CalcOffice::terminated() const {
  return impl_->terminated;
}

bool CalcOffice::ping() {
  try {
    impl_->guard([&] { return impl_->desktop->getCurrentComponent(); });
  } catch (const CalcError&) {
    // Gone, or refusing a harmless question: alive() says which.
  }
  return alive();
}

pid_t CalcOffice::startedProcess() const {
  return impl_->started;
}

void CalcOffice::setTerminationVeto(std::function<bool()> busy) {
  impl_->listener->setBusy(std::move(busy));
}

int CalcOffice::vetoed() const {
  return impl_->listener->vetoed_;
}

bool CalcOffice::requestTermination() {
  if (impl_->gone) return false;
  try {
    return impl_->desktop->terminate();
  } catch (const uno::Exception&) {
    // The bridge breaks when the office ends while answering.
    impl_->terminated = true;
    impl_->gone = true;
    return true;
  }
}

std::string CalcOffice::newDocument() {
  return impl_->guard([&] {
    uno::Reference<frame::XComponentLoader> loader(impl_->desktop, uno::UNO_QUERY_THROW);
    uno::Sequence<com::sun::star::beans::PropertyValue> properties(1);
    properties.getArray()[0].Name = "Hidden";
    properties.getArray()[0].Value <<= impl_->headless;
    uno::Reference<sheet::XSpreadsheetDocument> document(
        loader->loadComponentFromURL("private:factory/scalc", "_blank", 0, properties), uno::UNO_QUERY_THROW);
    return documentTitle(document);
  });
}

namespace {

uno::Reference<sheet::XSpreadsheet> findSheet(const uno::Reference<sheet::XSpreadsheetDocument>& document,
                                              const std::string& name) {
  const auto sheets = document->getSheets();
  if (!sheets->hasByName(fromUtf8(name))) return {};
  return uno::Reference<sheet::XSpreadsheet>(sheets->getByName(fromUtf8(name)), uno::UNO_QUERY);
}

}  // namespace

void CalcOffice::select(const std::string& book, const std::string& sheetTitle, const CellArea& area) {
  const auto document = impl_->findDocument(book);
  if (!document.is()) throw CalcError("The workbook \"" + book + "\" is not open in LibreOffice Calc.");
  impl_->guard([&] {
    const auto target = findSheet(document, sheetTitle);
    if (!target.is()) throw CalcError("The workbook \"" + book + "\" has no sheet \"" + sheetTitle + "\".");
    uno::Reference<frame::XModel> model(document, uno::UNO_QUERY_THROW);
    const auto controller = model->getCurrentController();
    uno::Reference<sheet::XSpreadsheetView> view(controller, uno::UNO_QUERY_THROW);
    view->setActiveSheet(target);
    uno::Reference<com::sun::star::view::XSelectionSupplier> selection(controller, uno::UNO_QUERY_THROW);
    selection->select(uno::Any(
        target->getCellRangeByPosition(area.left - 1, area.top - 1, area.right - 1, area.bottom - 1)));
  });
}

void CalcOffice::addSheet(const std::string& book, const std::string& sheetTitle) {
  const auto document = impl_->findDocument(book);
  if (!document.is()) throw CalcError("The workbook \"" + book + "\" is not open in LibreOffice Calc.");
  impl_->guard([&] {
    const auto sheets = document->getSheets();
    uno::Reference<container::XIndexAccess> indexed(sheets, uno::UNO_QUERY_THROW);
    sheets->insertNewByName(fromUtf8(sheetTitle), static_cast<sal_Int16>(indexed->getCount()));
  });
}

namespace {

uno::Reference<sheet::XSpreadsheetDocument> openDocument(const CalcOffice::Impl& impl,
                                                         const std::string& book) {
  const auto document = impl.findDocument(book);
  if (!document.is()) throw CalcError("The workbook \"" + book + "\" is not open in LibreOffice Calc.");
  return document;
}

uno::Reference<sheet::XSpreadsheet> openSheet(const CalcOffice::Impl& impl, const std::string& book,
                                              const std::string& sheetTitle) {
  const auto document = openDocument(impl, book);
  return impl.guard([&] {
    const auto target = findSheet(document, sheetTitle);
    if (!target.is()) throw CalcError("The workbook \"" + book + "\" has no sheet \"" + sheetTitle + "\".");
    return target;
  });
}

}  // namespace

std::string CalcOffice::activeDocumentTitle() const {
  const auto document = impl_->activeDocument();
  return document.is() ? impl_->guard([&] { return documentTitle(document); }) : std::string();
}

void CalcOffice::setActiveDocument(const std::string& book) {
  if (!book.empty()) openDocument(*impl_, book);
  impl_->pinnedDocument = book;
}

std::vector<std::string> CalcOffice::sheetNames(const std::string& book) const {
  const auto document = openDocument(*impl_, book);
  return impl_->guard([&] {
    std::vector<std::string> names;
    for (const auto& name : document->getSheets()->getElementNames()) names.push_back(toUtf8(name));
    return names;
  });
}

std::string CalcOffice::activeSheetName(const std::string& book) const {
  const auto document = openDocument(*impl_, book);
  return impl_->guard([&] {
    uno::Reference<frame::XModel> model(document, uno::UNO_QUERY_THROW);
    uno::Reference<sheet::XSpreadsheetView> view(model->getCurrentController(), uno::UNO_QUERY);
    if (view.is()) return sheetName(view->getActiveSheet());
    uno::Reference<container::XIndexAccess> sheets(document->getSheets(), uno::UNO_QUERY_THROW);
    return sheetName(uno::Reference<sheet::XSpreadsheet>(sheets->getByIndex(0), uno::UNO_QUERY_THROW));
  });
}

std::optional<CellArea> CalcOffice::usedArea(const std::string& book, const std::string& sheetTitle) const {
  const auto target = openSheet(*impl_, book, sheetTitle);
  return impl_->guard([&]() -> std::optional<CellArea> {
    const uno::Reference<sheet::XSheetCellCursor> cursor = target->createCursor();
    uno::Reference<sheet::XUsedAreaCursor> used(cursor, uno::UNO_QUERY_THROW);
    used->gotoStartOfUsedArea(false);
    used->gotoEndOfUsedArea(true);
    uno::Reference<sheet::XCellRangeAddressable> addressable(cursor, uno::UNO_QUERY_THROW);
    const auto a = addressable->getRangeAddress();
    const CellArea area{a.StartRow + 1, a.StartColumn + 1, a.EndRow + 1, a.EndColumn + 1};
    // An empty sheet reports its first cell as used.
    if (area.rows() == 1 && area.cols() == 1 &&
        target->getCellByPosition(a.StartColumn, a.StartRow)->getType() == table::CellContentType_EMPTY)
      return std::nullopt;
    return area;
  });
}

}  // namespace host::calc
