#include "host/host_model.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "host/cell_address.h"
#include "host/sheet.h"
#include "platform/safe_array.h"

namespace host {
namespace {

using platform::Variant;

TEST(CellAddressTest, ColumnLettersAndReferences) {
  EXPECT_EQ(columnLetters(1), "A");
  EXPECT_EQ(columnLetters(26), "Z");
  EXPECT_EQ(columnLetters(27), "AA");
  EXPECT_EQ(columnLetters(256), "IV");
  EXPECT_EQ(columnLetters(702), "ZZ");
  EXPECT_EQ(columnLetters(703), "AAA");
  EXPECT_EQ(cellName(5, 3), "C5");
  EXPECT_EQ(parseAreaReference("c5"), (CellArea{5, 3, 5, 3}));
  EXPECT_EQ(parseAreaReference("$B$2:$A$7"), (CellArea{2, 1, 7, 2}));
  EXPECT_EQ(parseAreaReference("IV65536"), (CellArea{65536, 256, 65536, 256}));
  for (const char* bad : {"", "5B", "B", "12", "A1:", "A1:B", "A-1", "A1 B2", "AAAAAAA1", "A1234567890"})
    EXPECT_FALSE(parseAreaReference(bad)) << bad;
}

TEST(SheetTest, StoresEachKindOfValue) {
  Sheet sheet("Data", kSheetLimits);
  sheet.setValue(1, 1, Variant(12.0));
  sheet.setValue(2, 1, Variant("12"));
  sheet.setValue(3, 1, Variant::boolean(true));
  sheet.setValue(4, 1, Variant::date(36527));
  sheet.setValue(5, 1, Variant::error(platform::kSpreadsheetErrorBase + kErrorDiv0));
  sheet.setValue(6, 1, Variant::i2(7));
  sheet.setValue(7, 1, Variant::currency(15000));
  EXPECT_EQ(sheet.value(1, 1), Variant(12.0));
  EXPECT_EQ(sheet.value(2, 1), Variant("12"));
  EXPECT_EQ(sheet.value(3, 1), Variant::boolean(true));
  EXPECT_EQ(sheet.value(4, 1), Variant::date(36527));
  EXPECT_EQ(sheet.value(5, 1), Variant::error(platform::kSpreadsheetErrorBase + kErrorDiv0));
  EXPECT_EQ(sheet.value(6, 1), Variant(7.0));
  EXPECT_EQ(sheet.value(7, 1), Variant(1.5));
  EXPECT_TRUE(sheet.value(8, 1).isEmpty());
  EXPECT_TRUE(sheet.value(1, 200).isEmpty());

  // Overwriting text with a number forgets the text; an empty text clears the cell.
  sheet.setValue(2, 1, Variant(3.0));
  EXPECT_EQ(sheet.kind(2, 1), CellKind::Number);
  EXPECT_EQ(sheet.text(2, 1), "");
  sheet.setValue(1, 1, Variant(""));
  EXPECT_EQ(sheet.kind(1, 1), CellKind::Empty);
  // Objects and arrays cannot live in a cell.
  EXPECT_FALSE(sheet.setValue(1, 1, Variant(static_cast<platform::Dispatch*>(nullptr))));
  EXPECT_FALSE(sheet.setValue(1, 1, Variant(platform::SafeArray::create2D(1, 1))));
}

TEST(SheetTest, LimitsAreEnforced) {
  Sheet big("Big", kSheetLimits);
  big.setNumber(65536, 256, 1.0);
  EXPECT_EQ(big.number(65536, 256), 1.0);
  EXPECT_THROW(big.setNumber(65537, 1, 1.0), std::out_of_range);
  EXPECT_THROW(big.setNumber(1, 257, 1.0), std::out_of_range);
  EXPECT_THROW(big.setNumber(0, 1, 1.0), std::out_of_range);
  Sheet old("Old", kSheetLimitsVersion7);
  old.setNumber(16384, 1, 1.0);
  EXPECT_THROW(old.setNumber(16385, 1, 1.0), std::out_of_range);
  EXPECT_THROW(old.clear(16385, 1), std::out_of_range);
}

TEST(SheetTest, BlockAssignmentFillsTheAreaAndMarksTheRestNotAvailable) {
  Sheet sheet("S", kSheetLimits);
  auto block = platform::SafeArray::create2D(3, 2);
  for (std::uint32_t i = 0; i < 3; ++i)
    for (std::uint32_t j = 0; j < 2; ++j) block->at(i, j) = Variant(10.0 * i + j);
  sheet.setText(6, 3, "overwritten");
  ASSERT_TRUE(sheet.assignBlock(CellArea{5, 3, 7, 4}, *block));
  EXPECT_EQ(sheet.value(5, 3), Variant(0.0));
  EXPECT_EQ(sheet.value(6, 3), Variant(10.0));
  EXPECT_EQ(sheet.value(7, 4), Variant(21.0));
  EXPECT_TRUE(sheet.value(8, 3).isEmpty());

  // A range larger than the array: the cells beyond it read #N/A.
  ASSERT_TRUE(sheet.assignBlock(CellArea{1, 1, 4, 3}, *block));
  EXPECT_EQ(sheet.value(3, 2), Variant(21.0));
  EXPECT_EQ(sheet.value(4, 1), Variant::error(platform::kSpreadsheetErrorBase + kErrorNA));
  EXPECT_EQ(sheet.value(1, 3), Variant::error(platform::kSpreadsheetErrorBase + kErrorNA));

  // Refused without a change: off the sheet, or an element that is an object.
  EXPECT_FALSE(sheet.assignBlock(CellArea{65535, 1, 65537, 2}, *block));
  block->at(2, 1) = Variant(static_cast<platform::Dispatch*>(nullptr));
  EXPECT_FALSE(sheet.assignBlock(CellArea{5, 3, 7, 4}, *block));
  EXPECT_EQ(sheet.value(5, 3), Variant(0.0));
}

TEST(SheetTest, SmallerArraysFillABlockAsASpreadsheetDoes) {
  Sheet sheet("S", kSheetLimits);
  const Variant na = Variant::error(platform::kSpreadsheetErrorBase + kErrorNA);
  const platform::SafeArrayBound three[1] = {{3, 0}};
  auto flat = platform::SafeArray::create(three);
  for (std::uint32_t i = 0; i < 3; ++i) flat->at(i, 0) = Variant(1.0 + i);
  // A one-dimensional array is a row: across A1:C1, then repeated down A3:D4 with #N/A past it.
  ASSERT_TRUE(sheet.assignBlock(CellArea{1, 1, 1, 3}, *flat));
  EXPECT_EQ(sheet.value(1, 2), Variant(2.0));
  EXPECT_EQ(sheet.value(1, 3), Variant(3.0));
  ASSERT_TRUE(sheet.assignBlock(CellArea{3, 1, 4, 4}, *flat));
  EXPECT_EQ(sheet.value(4, 1), Variant(1.0));
  EXPECT_EQ(sheet.value(4, 3), Variant(3.0));
  EXPECT_EQ(sheet.value(3, 4), na);

  // One row is repeated down, one column across.
  auto row = platform::SafeArray::create2D(1, 2);
  row->at(0, 0) = Variant(5.0);
  row->at(0, 1) = Variant("x");
  ASSERT_TRUE(sheet.assignBlock(CellArea{1, 6, 3, 7}, *row));
  EXPECT_EQ(sheet.value(3, 6), Variant(5.0));
  EXPECT_EQ(sheet.value(3, 7), Variant("x"));
  auto column = platform::SafeArray::create2D(2, 1);
  column->at(0, 0) = Variant("a");
  column->at(1, 0) = Variant("b");
  ASSERT_TRUE(sheet.assignBlock(CellArea{1, 9, 3, 11}, *column));
  EXPECT_EQ(sheet.value(2, 11), Variant("b"));
  EXPECT_EQ(sheet.value(1, 10), Variant("a"));
  EXPECT_EQ(sheet.value(3, 9), na);
}

TEST(SheetTest, UsedArea) {
  Sheet sheet("S", kSheetLimits);
  EXPECT_FALSE(sheet.usedArea());
  sheet.setNumber(4, 3, 1);
  sheet.setText(2, 5, "x");
  sheet.setNumber(9, 5, 1);
  EXPECT_EQ(sheet.usedArea(), (CellArea{2, 3, 9, 5}));
  sheet.clear(9, 5);
  EXPECT_EQ(sheet.usedArea(), (CellArea{2, 3, 4, 5}));
}

TEST(HostModelTest, VersionsAndLimits) {
  EXPECT_EQ(HostModel().versionText(), "9.0");
  EXPECT_EQ(HostModel(8).limits().rows, 65536);
  HostModel old(7);
  EXPECT_EQ(old.versionText(), "7.0");
  EXPECT_EQ(old.limits().rows, 16384);
  EXPECT_EQ(old.newWorkbook().sheet(0).limits().rows, 16384);
  EXPECT_THROW(HostModel(10), std::invalid_argument);
}

TEST(HostModelTest, WorkbooksOpenActivateAndClose) {
  HostModel model;
  EXPECT_EQ(model.activeWorkbook(), nullptr);
  Workbook& first = model.newWorkbook();
  Workbook& second = model.newWorkbook();
  EXPECT_EQ(first.name(), "Book1");
  EXPECT_EQ(second.name(), "Book2");
  EXPECT_EQ(model.activeWorkbook(), &second);
  EXPECT_EQ(model.findWorkbook("book1").get(), &first);
  EXPECT_EQ(model.addIn().name(), "LUMIVANE.XLA");
  EXPECT_FALSE(model.findWorkbook("LUMIVANE.XLA"));
  EXPECT_THROW(model.add(std::make_shared<Workbook>("BOOK1", model.limits())), std::invalid_argument);
  EXPECT_THROW(first.addSheet("sheet1"), std::invalid_argument);

  auto sheet = second.sheetPtr(0);
  model.close(second);
  EXPECT_FALSE(sheet->attached());
  EXPECT_EQ(model.workbookCount(), 1);
  EXPECT_EQ(model.activeWorkbook(), &first);
  model.close(first);
  EXPECT_EQ(model.activeWorkbook(), nullptr);
}

}  // namespace
}  // namespace host
