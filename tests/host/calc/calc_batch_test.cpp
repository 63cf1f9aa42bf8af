// lumivane-batch --calc as the user runs it: data from a document open in the running Calc, the
// map's output into a new sheet of that document, cell for cell what the same run writes to a
// file.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "host/calc/calc_objects.h"
#include "host/host_model.h"
#include "tests/host/calc/calc_test_office.h"

namespace {

using calc_test::objectOf;
using platform::Variant;

std::string quoted(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Runs the batch program with the arguments; returns its exit code.
int runBatch(const std::string& environment, const std::string& arguments) {
  const std::string command = environment + " " + quoted(LUMIVANE_BATCH_PROGRAM) + " " + arguments;
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CalcBatchTest, GridwiseOutputInCalcIsTheOutputWrittenToAFile) {
  CALC_TEST_REQUIRE_OFFICE();
  auto office = calc_test::sharedOffice().office();
  auto calc = platform::makeRef<host::calc::CalcApplication>(office);
  const std::string book = office->newDocument();
  host::HostModel model;
  const host::Sheet& iris = model.open(lumivane::test::samplePath("iris.csv")).sheet(0);
  auto dataSheet =
      objectOf(objectOf(calc.get(), "Workbooks", {Variant(book)}).get(), "Worksheets", {Variant("Sheet1")});
  calc_test::copyToCalc(iris, dataSheet.get());

  lumivane::test::TempDir dir;
  const std::string map =
      "--row-ids --select sepal_length_cm,sepal_width_cm,petal_length_cm,petal_width_cm --norm meanvar "
      "--map-rows 3 --map-columns 4 --quiet";
  ASSERT_EQ(runBatch("", "gridwise --data " + quoted(lumivane::test::samplePath("iris.csv")) + " " + map +
                             " --output-ids --output " + quoted(dir.file("reference.xlsx") + "!B2")),
            0);
  // The document by its title, its sheet by name; the output's "-" is the data's document.
  ASSERT_EQ(runBatch("LUMIVANE_CALC_PIPE=" + quoted(calc_test::sharedOffice().pipe()),
                     "gridwise --calc --data " + quoted(book + ":Sheet1") + " " + map +
                         " --output-ids --output '-:Map!B2'"),
            0);
  EXPECT_TRUE(office->alive());

  host::HostModel written;
  const host::Sheet& reference = written.open(dir.file("reference.xlsx")).sheet(0);
  ASSERT_TRUE(reference.usedArea());
  EXPECT_EQ(reference.usedArea()->rows(), 150);
  auto out =
      objectOf(objectOf(calc.get(), "Workbooks", {Variant(book)}).get(), "Worksheets", {Variant("Map")});
  ASSERT_TRUE(out);
  calc_test::expectSameCells(reference, out.get());

  // A document that is not open in Calc is refused with its title.
  EXPECT_EQ(runBatch("LUMIVANE_CALC_PIPE=" + quoted(calc_test::sharedOffice().pipe()),
                     "gridwise --calc --data 'Not open.ods' " + map + " 2>" + quoted(dir.file("err.txt"))),
            1);
  std::ifstream err(dir.file("err.txt"));
  const std::string said((std::istreambuf_iterator<char>(err)), std::istreambuf_iterator<char>());
  EXPECT_NE(said.find("\"Not open.ods\" is not open"), std::string::npos);
}

}  // namespace
