#include <gtest/gtest.h>

#include <string>

#include "host/application_object.h"
#include "host/host.h"
#include "platform/dynamic_library.h"

namespace host {
namespace {

using platform::Dispatch;
using platform::HRESULT;
using platform::Variant;

// The stand-in tool library: its control exports and the reader exports under test.
class AddInTest : public ::testing::Test {
 protected:
  AddInTest() {
    host.loadToolLibrary(HOST_TEST_TOOL);
    EXPECT_TRUE(control.load(HOST_TEST_TOOL)) << control.lastError();
    setPending = reinterpret_cast<void (*)(const char*, const char*)>(control.symbol("TestToolSetPending"));
    pending = reinterpret_cast<bool (*)()>(control.symbol("TestToolPending"));
    readerCalls = reinterpret_cast<int (*)()>(control.symbol("TestToolReaderCalls"));
    lastReader = reinterpret_cast<const char* (*)()>(control.symbol("TestToolLastReader"));
    lastResult = reinterpret_cast<HRESULT (*)()>(control.symbol("TestToolLastResult"));
    Workbook& book = host.model().newWorkbook();
    book.setName("Results.xlsx");
    book.addSheet("Output");
    setPending(nullptr, nullptr);
  }

  HRESULT run(const std::string& macro, platform::ExcepInfo* info = nullptr) {
    const Variant args[] = {Variant(macro)};
    Variant result;
    return platform::callMethod(host.application(), "Run", args, &result, info);
  }
  const Sheet& output() { return *host.model().workbook(0).findSheet("Output"); }

  Host host;
  platform::DynamicLibrary control;
  void (*setPending)(const char*, const char*) = nullptr;
  bool (*pending)() = nullptr;
  int (*readerCalls)() = nullptr;
  const char* (*lastReader)() = nullptr;
  HRESULT (*lastResult)() = nullptr;
};

TEST_F(AddInTest, BlockMacrosWriteIntoThePendingWorksheet) {
  for (const char* tool : {"Vantor3", "Gridwise"}) {
    SCOPED_TRACE(tool);
    setPending("results.XLSX", "output");
    ASSERT_EQ(run(std::string("LUMIVANE.XLA!") + tool + "DataReader97"), platform::S_OK);
    EXPECT_EQ(std::string(lastReader()), std::string(tool) + "Reader97");
    EXPECT_EQ(lastResult(), platform::S_OK);
    EXPECT_FALSE(pending());
    EXPECT_EQ(output().value(2, 2), Variant(std::string(tool) + "Reader97"));
    EXPECT_EQ(output().value(2, 3), Variant(1.5));
    EXPECT_EQ(output().value(3, 2), Variant(2.0));
    EXPECT_EQ(output().value(3, 3), Variant::boolean(true));
    EXPECT_TRUE(host.model().workbook(0).sheet(0).value(2, 2).isEmpty());
  }
}

TEST_F(AddInTest, CellMacrosPassTheApplication) {
  for (const char* tool : {"Vantor3", "Gridwise"}) {
    SCOPED_TRACE(tool);
    setPending("Results.xlsx", "Output");
    ASSERT_EQ(run(std::string("'lumivane.xla'!") + tool + "DataReader"), platform::S_OK);
    EXPECT_EQ(std::string(lastReader()), std::string(tool) + "Reader");
    EXPECT_EQ(lastResult(), platform::S_OK);
    EXPECT_EQ(output().value(1, 1), Variant(std::string(tool) + "Reader"));
  }
}

TEST_F(AddInTest, NothingPendingNothingWritten) {
  ASSERT_EQ(run("LUMIVANE.XLA!Vantor3DataReader97"), platform::S_OK);
  EXPECT_EQ(readerCalls(), 0);  // the book-and-sheet export said nothing is pending
  EXPECT_FALSE(output().usedArea());
}

TEST_F(AddInTest, MissingTargetStillEndsTheRequest) {
  setPending("Results.xlsx", "Gone");
  platform::ExcepInfo info;
  EXPECT_EQ(run("LUMIVANE.XLA!GridwiseDataReader97", &info), platform::DISP_E_EXCEPTION);
  EXPECT_EQ(readerCalls(), 1);
  EXPECT_EQ(lastResult(), platform::DISP_E_EXCEPTION);  // the reader's Range call failed
  EXPECT_FALSE(pending());
  EXPECT_EQ(info.description, "Unable to find the worksheet \"Gone\" of the workbook \"Results.xlsx\".");
}

TEST_F(AddInTest, UnknownMacrosFailCleanly) {
  setPending("Results.xlsx", "Output");
  platform::ExcepInfo info;
  EXPECT_EQ(run("LUMIVANE.XLA!NoSuchMacro", &info), platform::DISP_E_EXCEPTION);
  EXPECT_EQ(info.source, "Lumivane");
  EXPECT_EQ(info.description, "The macro 'LUMIVANE.XLA!NoSuchMacro' cannot be found.");
  // The macros live in the add-in workbook only.
  EXPECT_EQ(run("Results.xlsx!Vantor3DataReader97", &info), platform::DISP_E_EXCEPTION);
  EXPECT_EQ(readerCalls(), 0);
  EXPECT_TRUE(pending());
  const Variant notText[] = {Variant(1.0)};
  EXPECT_EQ(platform::callMethod(host.application(), "Run", notText, nullptr), platform::DISP_E_TYPEMISMATCH);
  EXPECT_EQ(platform::callMethod(host.application(), "Run", {}, nullptr), platform::DISP_E_BADPARAMCOUNT);
}

TEST(AddInLibrariesTest, MacroWithoutItsExportFails) {
  auto model = std::make_shared<HostModel>();
  AddIn addIn(model);
  addIn.addLibrary([](const char*) -> void* { return nullptr; });
  auto app = platform::makeRef<ApplicationObject>(model, nullptr);
  platform::ExcepInfo info;
  EXPECT_EQ(addIn.run(*app, "LUMIVANE.XLA!Vantor3DataReader", {}, nullptr, &info),
            platform::DISP_E_EXCEPTION);
  EXPECT_EQ(
      info.description,
      "The macro 'LUMIVANE.XLA!Vantor3DataReader' cannot run: no loaded tool library exports Vantor3Reader.");
}

TEST(AddInLibrariesTest, LoadFailureIsReported) {
  Host host;
  EXPECT_THROW(host.loadToolLibrary("/nonexistent/libnothing.so"), std::runtime_error);
}

}  // namespace
}  // namespace host
