#include "host/host.h"

#include <stdexcept>

#include "host/application_object.h"

namespace host {

Host::Host(int version, platform::MessageLoop* loop)
    : model_(std::make_shared<HostModel>(version)), addIn_(std::make_shared<AddIn>(model_)) {
  application_ = platform::makeRef<ApplicationObject>(model_, addIn_);
  registration_ = platform::registerActiveObject(platform::kSpreadsheetProgId, application_.get());
  if (!loop) {
    ownLoop_ = std::make_unique<platform::QueuedMessageLoop>();
    loop = ownLoop_.get();
  }
  window_ = std::make_unique<platform::HostWindow>(&Host::windowProcedure, *loop, this);
  previousWindow_ = platform::setHostWindow(window_.get());
}

Host::~Host() {
  if (platform::hostWindow() == window_.get()) platform::setHostWindow(previousWindow_);
  window_.reset();
  registration_.revoke();
  // A tool may still hold the Application; its macros must not reach unloaded libraries.
  addIn_->clearLibraries();
  libraries_.clear();
}

platform::DynamicLibrary& Host::loadToolLibrary(const std::string& path) {
  for (const auto& [loadedPath, loaded] : libraries_)
    if (loadedPath == path) return *loaded;
  auto library = std::make_unique<platform::DynamicLibrary>();
  if (!library->load(path)) throw std::runtime_error("Cannot load " + path + ": " + library->lastError());
  platform::DynamicLibrary* raw = library.get();
  addIn_->addLibrary([raw](const char* name) { return raw->symbol(name); });
  libraries_.emplace_back(path, std::move(library));
  return *raw;
}

int Host::processMessages() {
  return ownLoop_ ? ownLoop_->processPending() : 0;
}

platform::LRESULT Host::windowProcedure(platform::HostWindow& window, platform::UINT message,
                                        platform::WPARAM, platform::LPARAM) {
  auto* host = static_cast<Host*>(window.userData());
  if (message == platform::WM_CLOSE && host) {
    host->closeRequested_ = true;
    if (host->closeHandler_) host->closeHandler_();
  }
  return 0;
}

}  // namespace host
