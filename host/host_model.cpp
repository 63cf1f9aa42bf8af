#include "host/host_model.h"

#include <filesystem>
#include <stdexcept>

#include "host/workbook_io.h"
#include "platform/dispatch.h"

namespace host {

HostModel::HostModel(int version) : version_(version) {
  if (version < 7 || version > 9) throw std::invalid_argument("The host reports version 7, 8 or 9.");
  limits_ = version == 7 ? kSheetLimitsVersion7 : kSheetLimits;
  addIn_ = std::make_shared<Workbook>(std::string(kAddInWorkbookName), limits_);
  addIn_->addSheet("Sheet1");
}

std::string HostModel::versionText() const {
  return std::to_string(version_) + ".0";
}

std::shared_ptr<Workbook> HostModel::findWorkbook(std::string_view name) const {
  for (const auto& w : workbooks_)
    if (platform::equalsNoCase(w->name(), name)) return w;
  return nullptr;
}

Workbook& HostModel::open(const std::string& path) {
  const std::string name = std::filesystem::path(path).filename().string();
  if (findWorkbook(name))
    throw WorkbookFileError("Cannot open \"" + name + "\": a workbook of that name is already open.");
  return add(importer_ ? importer_(path, limits_) : importWorkbook(path, limits_));
}

Workbook& HostModel::newWorkbook() {
  std::string name;
  do {
    name = "Book" + std::to_string(++newBooks_);
  } while (findWorkbook(name));
  auto book = std::make_shared<Workbook>(name, limits_);
  book->addSheet("Sheet1");
  return add(std::move(book));
}

Workbook& HostModel::add(std::shared_ptr<Workbook> workbook) {
  if (!workbook) throw std::invalid_argument("no workbook");
  if (findWorkbook(workbook->name()))
    throw std::invalid_argument("A workbook named \"" + workbook->name() + "\" is already open.");
  workbooks_.push_back(std::move(workbook));
  active_ = workbookCount() - 1;
  return *workbooks_.back();
}

void HostModel::save(Workbook& workbook, const std::string& path) {
  exportWorkbook(workbook, path);
  const std::filesystem::path p(path);
  if (p.extension() == ".xlsx") {
    workbook.setName(p.filename().string());
    workbook.setPath(path);
  }
}

void HostModel::close(Workbook& workbook) {
  for (int i = 0; i < workbookCount(); ++i) {
    if (workbooks_[i].get() != &workbook) continue;
    workbook.detach();
    workbooks_.erase(workbooks_.begin() + i);
    if (active_ >= workbookCount())
      active_ = workbookCount() - 1;
    else if (active_ > i)
      --active_;
    return;
  }
}

void HostModel::activate(int index) {
  if (index < 0 || index >= workbookCount())
    throw std::out_of_range("no workbook " + std::to_string(index + 1));
  active_ = index;
}

}  // namespace host
