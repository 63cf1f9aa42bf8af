#include "host/workbook.h"

#include <stdexcept>

#include "platform/dispatch.h"

namespace host {

Workbook::Workbook(std::string name, SheetLimits limits) : name_(std::move(name)), limits_(limits) {}

Sheet& Workbook::addSheet(std::string name) {
  if (name.empty()) throw std::invalid_argument("A worksheet needs a name.");
  if (findSheet(name))
    throw std::invalid_argument("The workbook already has a worksheet named \"" + name + "\".");
  sheets_.push_back(std::make_shared<Sheet>(std::move(name), limits_));
  return *sheets_.back();
}

std::shared_ptr<Sheet> Workbook::findSheet(std::string_view name) const {
  for (const auto& s : sheets_)
    if (platform::equalsNoCase(s->name(), name)) return s;
  return nullptr;
}

void Workbook::activateSheet(int index) {
  if (index < 0 || index >= sheetCount())
    throw std::out_of_range("no worksheet " + std::to_string(index + 1));
  activeSheet_ = index;
}

void Workbook::detach() {
  attached_ = false;
  for (auto& s : sheets_) s->detach();
}

}  // namespace host
