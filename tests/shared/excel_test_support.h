#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "host/host.h"
#include "platform/prompter.h"
#include "shared/excel_connection.h"
#include "shared/tool_ui.h"
#include "tests/support/test_support.h"

namespace bridge_test {

// The reader and book-and-sheet exports of both tools as their libraries export them, so the
// host's add-in macros reach the connections of this process.
inline void vantorReader97(platform::Dispatch* target) {
  ExcelConnection::instance(Tool::Vantor).runReader97(target);
}
inline void vantorReader(platform::Dispatch* target) {
  ExcelConnection::instance(Tool::Vantor).runReader(target);
}
inline void bookAndSheetVT(platform::Variant* book, platform::Variant* sheet) {
  ExcelConnection::instance(Tool::Vantor).GetBookAndSheet(book, sheet);
}
inline void gridwiseReader97(platform::Dispatch* target) {
  ExcelConnection::instance(Tool::Gridwise).runReader97(target);
}
inline void gridwiseReader(platform::Dispatch* target) {
  ExcelConnection::instance(Tool::Gridwise).runReader(target);
}
inline std::intptr_t bookAndSheetGW(platform::Variant* book, platform::Variant* sheet) {
  return ExcelConnection::instance(Tool::Gridwise).GetBookAndSheet(book, sheet);
}

inline void* toolExport(const char* name) {
  const std::string n(name);
  if (n == "Vantor3Reader97") return reinterpret_cast<void*>(&vantorReader97);
  if (n == "Vantor3Reader") return reinterpret_cast<void*>(&vantorReader);
  if (n == "GetBookAndSheetVT") return reinterpret_cast<void*>(&bookAndSheetVT);
  if (n == "GridwiseReader97") return reinterpret_cast<void*>(&gridwiseReader97);
  if (n == "GridwiseReader") return reinterpret_cast<void*>(&gridwiseReader);
  if (n == "GetBookAndSheetGW") return reinterpret_cast<void*>(&bookAndSheetGW);
  return nullptr;
}

// What one progress window was told.
struct ProgressRecord {
  ProgressVariant variant;
  std::vector<std::string> texts;
  std::vector<int> positions;
  std::vector<std::chrono::milliseconds> finishes;  // the pause of every finish()
  bool foreground = false;
  bool closed = false;
};

class RecordingProgressWindow final : public ProgressWindow {
 public:
  explicit RecordingProgressWindow(ProgressRecord& record) : record_(record) {}
  ~RecordingProgressWindow() override { record_.closed = true; }
  void setText(const std::string& text) override { record_.texts.push_back(text); }
  void setPosition(int position) override { record_.positions.push_back(position); }
  bool cancelRequested() override { return false; }
  void bringToForeground() override { record_.foreground = true; }
  void close() override { record_.closed = true; }

 protected:
  void holdFinished(std::chrono::milliseconds pause) override { record_.finishes.push_back(pause); }

 private:
  ProgressRecord& record_;
};

// A test against a running host: a workbook model, the add-in with both tools' exports, the
// host window on a queued loop pumped by the tools' event pump, progress windows recorded, and
// both connections fresh. Message boxes must be announced with expectMessages().
class BridgeTest : public lumivane::test::PromptedTest {
 protected:
  void SetUp() override { startHost(9); }
  void TearDown() override {
    resetConnections();
    host.reset();
    setToolUi({});
    PromptedTest::TearDown();
  }

  // A new host reporting the given version (7, 8 or 9), with a workbook "Data.xlsx" whose
  // active sheet is "Sheet1".
  void startHost(int version) {
    resetConnections();
    host.reset();
    host = std::make_unique<host::Host>(version);
    host->addIn().addLibrary([](const char* name) { return toolExport(name); });
    host::Workbook& book = host->model().newWorkbook();
    book.setName("Data.xlsx");
    progress.clear();
    ToolUi ui;
    ui.pumpEvents = [this] {
      if (host) host->processMessages();
    };
    ui.openProgress = [this](ProgressVariant variant) -> std::unique_ptr<ProgressWindow> {
      progress.push_back(std::make_unique<ProgressRecord>());
      progress.back()->variant = variant;
      return std::make_unique<RecordingProgressWindow>(*progress.back());
    };
    setToolUi(std::move(ui));
  }

  static void resetConnections() {
    ExcelConnection::instance(Tool::Gridwise).reset();
    ExcelConnection::instance(Tool::Vantor).reset();
  }

  ExcelConnection& connection(Tool tool) { return ExcelConnection::instance(tool); }
  // The connection after a successful entry (version and limits set, window subclassed).
  ExcelConnection& entered(Tool tool) {
    ExcelConnection& c = connection(tool);
    EXPECT_TRUE(c.enter(host->application()));
    return c;
  }
  host::Sheet& sheet() { return host->model().workbook(0).sheet(0); }
  platform::Dispatch* app() { return host->application(); }

  // Answers the next n message boxes with OK.
  void expectMessages(int n) {
    for (int i = 0; i < n; ++i) prompter.answerMessage(platform::IDOK);
  }
  std::vector<platform::ScriptedPrompter::Call> messages() { return prompter.messages(); }

  std::unique_ptr<host::Host> host;
  std::vector<std::unique_ptr<ProgressRecord>> progress;
};

// A request that records what the host did with it and writes a marker into its target.
class RecordingRequest final : public HostRequest {
 public:
  RecordingRequest(ExcelConnection& connection, std::string book, std::string sheet)
      : connection_(connection), book_(std::move(book)), sheet_(std::move(sheet)) {}

  std::string requestWorkbook() const override { return book_; }
  std::string requestWorksheet() const override { return sheet_; }
  void runBlockHandler(platform::Dispatch* worksheet) override {
    calls.push_back("block");
    if (during) during();
    platform::Variant name;
    platform::getProperty(worksheet, "Name", name);
    targetName = name.vt() == platform::VT_BSTR ? name.bstrVal() : std::string();
    busyInHandler = connection_.busy();
    connection_.endRequest();
  }
  void runCellHandler(platform::Dispatch* application) override {
    calls.push_back("cell");
    if (during) during();
    platform::Variant version;
    platform::getProperty(application, "Version", version);
    targetName = version.vt() == platform::VT_BSTR ? version.bstrVal() : std::string();
    busyInHandler = connection_.busy();
    connection_.endRequest();
  }

  std::vector<std::string> calls;
  std::string targetName;
  bool busyInHandler = false;
  std::function<void()> during;  // runs inside the handler, before it ends the request

 private:
  ExcelConnection& connection_;
  std::string book_, sheet_;
};

// An automation object made of callbacks, for hosts that misbehave in ways the real one cannot.
class ScriptedObject final : public platform::Dispatch {
 public:
  using Member = std::function<platform::HRESULT(std::span<const platform::Variant>, platform::Variant*)>;
  void set(std::string name, Member member) { members_.emplace_back(std::move(name), std::move(member)); }
  void setValue(std::string name, platform::Variant value) {
    set(std::move(name), [value](std::span<const platform::Variant>, platform::Variant* out) {
      if (out) *out = value;
      return platform::S_OK;
    });
  }
  platform::HRESULT invoke(std::string_view name, unsigned short, std::span<const platform::Variant> args,
                           platform::Variant* result, platform::ExcepInfo*) override {
    for (auto& [n, member] : members_)
      if (platform::equalsNoCase(n, name)) return member(args, result);
    return platform::DISP_E_MEMBERNOTFOUND;
  }

 private:
  std::vector<std::pair<std::string, Member>> members_;
};

}  // namespace bridge_test
