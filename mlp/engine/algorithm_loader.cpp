#include "mlp/engine/algorithm_loader.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <utility>

#include "platform/prompter.h"

namespace {

constexpr const char* kListFileName = "methinfo";
constexpr const char* kCaption = "Noncritical error";
// Shown without an owner window, so system-modal keeps it in front of everything.
constexpr unsigned kMissingListFlags = platform::MB_ICONINFORMATION | platform::MB_SYSTEMMODAL;
constexpr unsigned kBadLibraryFlags = platform::MB_ICONWARNING | platform::MB_SYSTEMMODAL;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Reads the next white-space-separated name. Keeps at most maxLength + 1 characters (enough to
// tell an over-long name) and skips the rest of it, so a name of any length is safe.
// Returns false at the end of the file.
bool readName(std::FILE* f, std::size_t maxLength, std::string& name, bool& tooLong) {
  name.clear();
  tooLong = false;
  int c;
  while ((c = std::fgetc(f)) != EOF && std::isspace(c)) {
  }
  if (c == EOF) return false;
  do {
    if (name.size() < maxLength)
      name.push_back(static_cast<char>(c));
    else
      tooLong = true;
  } while ((c = std::fgetc(f)) != EOF && !std::isspace(c));
  return true;
}

void report(const std::string& text, unsigned flags) {
  platform::prompter().messageBox(text, kCaption, flags);
}

// Any function of this file: its address tells which module the loader is linked into.
void anchor() {}

}  // namespace

AlgorithmLoader::AlgorithmLoader()
    : installFolder_(platform::moduleDirectory(reinterpret_cast<void*>(&anchor))) {}

AlgorithmLoader::AlgorithmLoader(std::string installFolder) : installFolder_(std::move(installFolder)) {}

void AlgorithmLoader::LoadAlgorithms() {
  FreeAlgorithms();
  File list(std::fopen(kListFileName, "r"));
  if (!list && !installFolder_.empty())
    list.reset(std::fopen((std::filesystem::path(installFolder_) / kListFileName).c_str(), "r"));
  if (!list) {
    report("Can't find necessary file methinfo ", kMissingListFlags);
    return;
  }
  std::string name;
  bool tooLong = false;
  while (readName(list.get(), kMaxNameLength, name, tooLong)) LoadOne(name, tooLong);
  selectedAlgorithm = algorithms.empty() ? -1 : 0;
}

void AlgorithmLoader::LoadOne(const std::string& name, bool nameTooLong) {
  // An over-long name is shown cut, marked by "...", and never handed to the loader.
  std::string shown = nameTooLong ? name + "..." : name;
  platform::DynamicLibrary library;
  if (nameTooLong || !library.load(Resolve(name))) {
    report("Dll " + shown + " specified in file methinfo not found", kBadLibraryFlags);
    return;
  }
  auto getAlgorithm = reinterpret_cast<GetAlgorithmFunction>(library.symbol(kGetAlgorithmSymbol));
  TrainingAlgorithm* algorithm = getAlgorithm ? getAlgorithm() : nullptr;
  if (!algorithm) {
    report("algorithm from dll " + shown + " can't be loaded", kBadLibraryFlags);
    return;  // the library unloads as it goes out of scope
  }
  algorithms.push_back(algorithm);
  libraries.push_back(std::move(library));
}

std::string AlgorithmLoader::Resolve(const std::string& name) const {
  if (name.find('/') != std::string::npos || installFolder_.empty()) return name;
  std::filesystem::path beside = std::filesystem::path(installFolder_) / name;
  std::error_code ignored;
  return std::filesystem::is_regular_file(beside, ignored) ? beside.string() : name;
}

void AlgorithmLoader::FreeAlgorithms() {
  algorithms.clear();
  // Last loaded, first unloaded.
  while (!libraries.empty()) libraries.pop_back();
  selectedAlgorithm = -1;
}

TrainingAlgorithm* AlgorithmLoader::Selected() const {
  if (selectedAlgorithm < 0 || selectedAlgorithm >= static_cast<int>(algorithms.size())) return nullptr;
  return algorithms[static_cast<std::size_t>(selectedAlgorithm)];
}

void AlgorithmLoader::SelectAlgorithm(int index) {
  if (TrainingAlgorithm* current = Selected()) current->Detach();
  selectedAlgorithm = (index >= 0 && index < static_cast<int>(algorithms.size())) ? index : -1;
}
