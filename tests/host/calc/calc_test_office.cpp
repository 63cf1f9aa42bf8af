#include "tests/host/calc/calc_test_office.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "host/cell_address.h"
#include "platform/safe_array.h"

namespace calc_test {

namespace {

bool onPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string rest = path ? path : "";
  while (!rest.empty()) {
    const auto colon = rest.find(':');
    const std::string dir = rest.substr(0, colon);
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
  }
  return false;
}

}  // namespace

TestOffice::TestOffice(const std::string& name) {
  if (!onPath("soffice")) {
    skipReason_ = "soffice is not installed: the Calc host is not tested here";
    return;
  }
  pipe_ = "lumivane-test-" + name + "-" + std::to_string(::getpid());
  host::calc::OfficeOptions options;
  options.pipeName = pipe_;
  options.headless = true;
  options.userInstallation = "file://" + profile_.path().string();
  options.connectSeconds = 60;
  try {
    office_ = host::calc::CalcOffice::connect(options);
  } catch (const host::calc::CalcError& e) {
    skipReason_ = std::string("no office could be started: ") + e.what();
  }
}

TestOffice::~TestOffice() {
  if (!office_) return;
  const pid_t started = office_->startedProcess();
  office_->setTerminationVeto(nullptr);
  office_->requestTermination();
  office_.reset();
  if (started) {
    // A few seconds to end by itself, then the whole group goes.
    int status = 0;
    for (int i = 0; i < 50 && ::waitpid(started, &status, WNOHANG) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(-started, SIGKILL);
    ::waitpid(started, &status, WNOHANG);
  }
}

void TestOffice::kill() {
  const pid_t started = office_ ? office_->startedProcess() : 0;
  if (!started) return;
  ::kill(-started, SIGKILL);
  int status = 0;
  ::waitpid(started, &status, 0);
}

TestOffice& sharedOffice() {
  // Ended by the static's destructor, before the office's runtime goes (it was made after).
  static TestOffice office("shared");
  return office;
}

platform::RefPtr<platform::Dispatch> objectOf(platform::Dispatch* from, std::string_view name,
                                              std::initializer_list<platform::Variant> args) {
  platform::Variant result;
  platform::ExcepInfo info;
  const std::vector<platform::Variant> list(args);
  const platform::HRESULT hr = platform::getProperty(from, name, result, list, &info);
  EXPECT_EQ(hr, platform::S_OK) << name << ": " << info.description;
  EXPECT_EQ(result.vt(), platform::VT_DISPATCH) << name;
  return platform::RefPtr<platform::Dispatch>::share(result.vt() == platform::VT_DISPATCH ? result.pdispVal()
                                                                                          : nullptr);
}

platform::Variant rangeValue(platform::Dispatch* sheet, const std::string& area) {
  auto range = objectOf(sheet, "Range", {platform::Variant(area)});
  platform::Variant value;
  if (range) {
    EXPECT_EQ(platform::getProperty(range.get(), "Value", value), platform::S_OK) << area;
  }
  return value;
}

namespace {

std::string areaName(const host::CellArea& a) {
  return host::cellName(a.top, a.left) + ":" + host::cellName(a.bottom, a.right);
}

// A number of any kind as the double a Calc cell holds, a truth value as 1 or 0.
platform::Variant asCalcKeepsIt(const platform::Variant& v) {
  switch (v.vt()) {
    case platform::VT_I2:
      return platform::Variant(static_cast<double>(v.iVal()));
    case platform::VT_I4:
      return platform::Variant(static_cast<double>(v.lVal()));
    case platform::VT_R4:
      return platform::Variant(static_cast<double>(v.fltVal()));
    case platform::VT_DATE:
      return platform::Variant(v.dateVal());
    case platform::VT_BOOL:
      return platform::Variant(v.boolVal() ? 1.0 : 0.0);
    default:
      return v;
  }
}

}  // namespace

void copyToCalc(const host::Sheet& from, platform::Dispatch* calcSheet) {
  const auto used = from.usedArea();
  ASSERT_TRUE(used);
  auto block = platform::SafeArray::create2D(static_cast<std::uint32_t>(used->rows()),
                                             static_cast<std::uint32_t>(used->cols()));
  for (std::int32_t i = 0; i < used->rows(); ++i)
    for (std::int32_t j = 0; j < used->cols(); ++j)
      block->at(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j)) =
          from.value(used->top + i, used->left + j);
  auto range = objectOf(calcSheet, "Range", {platform::Variant(areaName(*used))});
  ASSERT_TRUE(range);
  ASSERT_EQ(platform::putProperty(range.get(), "Value", platform::Variant(std::move(block))), platform::S_OK);
}

void expectSameCells(const host::Sheet& ours, platform::Dispatch* calcSheet) {
  const auto used = ours.usedArea();
  ASSERT_TRUE(used);
  const host::CellArea around{used->top, used->left, used->bottom + 1, used->right + 1};
  const platform::Variant theirs = rangeValue(calcSheet, areaName(around));
  ASSERT_TRUE(theirs.isArray());
  ASSERT_EQ(theirs.parray()->rows(), static_cast<std::uint32_t>(around.rows()));
  ASSERT_EQ(theirs.parray()->cols(), static_cast<std::uint32_t>(around.cols()));
  int differences = 0;
  for (std::int32_t i = 0; i < around.rows(); ++i)
    for (std::int32_t j = 0; j < around.cols(); ++j) {
      const platform::Variant mine = asCalcKeepsIt(ours.value(around.top + i, around.left + j));
      const platform::Variant& calc =
          theirs.parray()->at(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j));
      if (mine == calc) continue;
      // The first few differences are enough to see what went wrong.
      if (++differences <= 5)
        ADD_FAILURE() << host::cellName(around.top + i, around.left + j) << ": ours " << mine << ", Calc's "
                      << calc;
    }
  EXPECT_EQ(differences, 0) << "cells that differ in " << areaName(around);
}

}  // namespace calc_test
