#pragma once

// The fixture of the comparisons between the desktop road and the batch program: a host for the
// desktop road, folders for both, and the cell comparison of their sheets.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "host/workbook_io.h"
#include "platform/random.h"
#include "shared/range_reader.h"
#include "tests/batch/batch_process.h"
#include "tests/shared/excel_test_support.h"

namespace batch_test {

using lumivane::test::samplePath;
using lumivane::test::TempDir;
using platform::IDOK;
using platform::IDYES;
using platform::ModalDialog;

class BatchEquivalenceTest : public bridge_test::BridgeTest {
 protected:
  // Every cell of area (1-based, inclusive) of the desktop's sheet equals the batch file's.
  static void expectSameCells(const host::Sheet& desktop, const std::string& batchFile, std::int32_t top,
                              std::int32_t left, std::int32_t bottom, std::int32_t right) {
    const auto book = host::importWorkbook(batchFile, host::kSheetLimits);
    ASSERT_GE(book->sheetCount(), 1);
    const host::Sheet& batch = book->sheet(0);
    int differences = 0;
    for (std::int32_t r = top; r <= bottom; ++r)
      for (std::int32_t c = left; c <= right; ++c)
        if (!(desktop.value(r, c) == batch.value(r, c)) && ++differences < 5)
          ADD_FAILURE() << "cell " << platform::cellName(r, c);
    EXPECT_EQ(differences, 0);
    EXPECT_FALSE(desktop.value(top, left).isEmpty());
    const auto used = batch.usedArea();
    ASSERT_TRUE(used);
    EXPECT_EQ(used->bottom, bottom);
    EXPECT_EQ(used->right, right);
  }

  lumivane::test::ConfigHomeScope config;  // the child inherits it
  TempDir desktop, batch, logs;
};

}  // namespace batch_test
