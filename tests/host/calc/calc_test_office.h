#pragma once

// A headless office for the Calc suites: a throwaway profile, a pipe of its own, hidden
// documents. One is shared by the whole process (started on first use, ended at exit); a
// suite that kills an office starts one of its own.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/calc/calc_office.h"
#include "host/sheet.h"
#include "platform/dispatch.h"
#include "tests/support/test_support.h"

namespace calc_test {

class TestOffice {
 public:
  // Starts an office; office() is null and skipReason() says why when none could start.
  explicit TestOffice(const std::string& name);
  // Ends the office (asked first, then its whole process group).
  ~TestOffice();

  const std::shared_ptr<host::calc::CalcOffice>& office() const { return office_; }
  const std::string& pipe() const { return pipe_; }
  const std::string& skipReason() const { return skipReason_; }
  // Kills the office's process group and waits for it, as a crash would end it.
  void kill();

 private:
  lumivane::test::TempDir profile_;
  std::string pipe_;
  std::shared_ptr<host::calc::CalcOffice> office_;
  std::string skipReason_;
};

// The process's shared office; null (with the reason in skipReason) where none can start.
TestOffice& sharedOffice();

// Cells of a Dispatch range as rows of variants, read through its Value.
platform::Variant rangeValue(platform::Dispatch* sheet, const std::string& area);
// The object a property gives, or null (a failed test) when it gives none.
platform::RefPtr<platform::Dispatch> objectOf(platform::Dispatch* from, std::string_view name,
                                              std::initializer_list<platform::Variant> args = {});

// Writes the used cells of one of our sheets into the same cells of a Calc worksheet, in one
// block.
void copyToCalc(const host::Sheet& from, platform::Dispatch* calcSheet);
// Every cell of our sheet's used area, and one row and column beyond it, is the same in the
// Calc worksheet (numbers of any kind compared as the doubles Calc keeps).
void expectSameCells(const host::Sheet& ours, platform::Dispatch* calcSheet);

}  // namespace calc_test

// In a fixture's SetUp: skips the test, with the reason, where no office runs.
#define CALC_TEST_REQUIRE_OFFICE()                                                                       \
  do {                                                                                                   \
    if (!::calc_test::sharedOffice().office()) GTEST_SKIP() << ::calc_test::sharedOffice().skipReason(); \
    if (!::calc_test::sharedOffice().office()->alive()) GTEST_SKIP() << "the suite's office has gone";   \
  } while (false)
