#include "shared/tool_task.h"

#include "shared/range_reader.h"

CTask::CTask(ExcelConnection& connection, platform::Dispatch* application)
    : connection_(connection), application_(platform::RefPtr<platform::Dispatch>::share(application)) {
  connection_.addTask(this);
}

CTask::~CTask() {
  connection_.removeTask(this);
  table_.clear();
}

namespace {

std::string nameOf(platform::Dispatch* application, const char* member) {
  platform::RefPtr<platform::Dispatch> object;
  platform::Variant name;
  if (platform::FAILED(platform::getObjectProperty(application, member, object)) ||
      platform::FAILED(platform::getProperty(object.get(), "Name", name)) || name.vt() != platform::VT_BSTR)
    return {};
  return name.bstrVal();
}

}  // namespace

bool CTask::readData() {
  TableSource source;
  table_.loaded = readDataSource(connection_, application_.get(), table_, &source.choice);
  if (table_.loaded) {
    // The reader read the active sheet of the active workbook.
    source.workbook = nameOf(application_.get(), "ActiveWorkbook");
    source.sheet = nameOf(application_.get(), "ActiveSheet");
    source_ = std::move(source);
  }
  return table_.loaded;
}

TaskMainWindow* CTask::mainWindow() const {
  std::lock_guard lock(connection_.taskMutex_);
  return mainWindow_;
}

void CTask::setMainWindow(TaskMainWindow* window) {
  connection_.setTaskWindow(this, window);
}

void startTask(ExcelConnection& connection, platform::Dispatch* application, MainWindowFactory createWindow) {
  auto task = std::make_unique<CTask>(connection, application);
  task->readData();
  // Shared so that a start dropped with its loop still frees the task.
  auto held = std::make_shared<std::unique_ptr<CTask>>(std::move(task));
  auto start = [held, createWindow = std::move(createWindow)]() mutable {
    std::unique_ptr<CTask> owned = std::move(*held);
    if (!owned || !owned->table().loaded || !createWindow) return;  // ends at once
    createWindow(std::move(owned));
  };
  if (platform::HostWindow* window = platform::hostWindow())
    window->loop().post(std::move(start));
  else
    start();
}

bool runEntrySequence(ExcelConnection& connection, platform::Dispatch* application,
                      MainWindowFactory createWindow) {
  if (!connection.enter(application)) return false;
  startTask(connection, application, std::move(createWindow));
  return true;
}
