#include <gtest/gtest.h>

#include "host/calc/calc_objects.h"
#include "host/host.h"
#include "platform/safe_array.h"
#include "tests/host/calc/calc_test_office.h"

namespace {
using calc_test::objectOf;
using platform::Variant;

// The same arrays written into a larger block on our host and on Calc land in the same cells.
TEST(CalcFillRule, OurHostFillsBlocksFromSmallerArraysAsCalcDoes) {
  CALC_TEST_REQUIRE_OFFICE();
  auto office = calc_test::sharedOffice().office();
  auto calc = platform::makeRef<host::calc::CalcApplication>(office);
  const std::string book = office->newDocument();
  auto theirs =
      objectOf(objectOf(calc.get(), "Workbooks", {Variant(book)}).get(), "Worksheets", {Variant("Sheet1")});
  host::Host ours;
  host::Workbook& workbook = ours.model().newWorkbook();
  auto mine = objectOf(objectOf(ours.application(), "Workbooks", {Variant(workbook.name())}).get(),
                       "Worksheets", {Variant(std::int32_t{1})});
  const auto put = [&](const std::string& area, const auto& make) {
    for (platform::Dispatch* sheet : {mine.get(), theirs.get()}) {
      auto range = objectOf(sheet, "Range", {Variant(area)});
      ASSERT_EQ(platform::putProperty(range.get(), "Value", make()), platform::S_OK) << area;
    }
  };
  const platform::SafeArrayBound flat[1] = {{3, 0}};
  const auto row = [&] {
    auto a = platform::SafeArray::create(flat);
    for (std::uint32_t i = 0; i < 3; ++i) a->at(i, 0) = Variant(1.0 + i);
    return Variant(std::move(a));
  };
  put("A1:C1", row);  // a 1-D array across a row
  put("A3:D4", row);  // repeated down, #N/A past its end
  put("F1:G3", [] {   // one row, repeated down
    auto a = platform::SafeArray::create2D(1, 2);
    a->at(0, 0) = Variant(5.0);
    a->at(0, 1) = Variant("x");
    return Variant(std::move(a));
  });
  put("I1:K2", [] {  // one column, repeated across
    auto a = platform::SafeArray::create2D(2, 1);
    a->at(0, 0) = Variant("a");
    a->at(1, 0) = Variant("b");
    return Variant(std::move(a));
  });
  calc_test::expectSameCells(workbook.sheet(0), theirs.get());
}
}  // namespace
