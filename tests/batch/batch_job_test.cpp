// The batch program's command line and job files: every option kind, the merge of a job file
// with the command line, and the values the run needs checked before it starts.

#include "batch/batch_job.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "batch/batch_choices.h"
#include "tests/support/test_support.h"

namespace batch {
namespace {

Invocation parse(std::vector<std::string> args) {
  args.insert(args.begin(), "lumivane-batch");
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

// The message of the UsageError that parsing and checking these arguments throws.
std::string usageError(std::vector<std::string> args) {
  try {
    checkJob(parse(std::move(args)).job);
  } catch (const UsageError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(BatchCommandLine, EveryKindOfValueReachesTheJob) {
  const Invocation inv = parse({"vantor", "--data", "w.csv:Sheet2", "--inputs", "a,b,,c", "--epochs=40",
                                "--train-error", "1e-3", "--boxcount", "--write-job", "j.json"});
  EXPECT_EQ(inv.job.command, Command::Vantor);
  EXPECT_EQ(inv.job.text("data"), "w.csv:Sheet2");
  EXPECT_EQ(inv.job.list("inputs"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(inv.job.integer("epochs"), 40);
  EXPECT_EQ(inv.job.number("train-error"), 1e-3);
  EXPECT_TRUE(inv.job.flag("boxcount"));
  EXPECT_FALSE(inv.job.flag("all-data"));
  // Where the job goes is no choice of the analysis.
  EXPECT_EQ(inv.writeJobFile, "j.json");
  EXPECT_FALSE(inv.job.has("write-job"));

  const Invocation maps =
      parse({"gridwise", "--data", "i.csv", "--map", "a:existence:x.png", "--map", "b:average:4:y.svg"});
  EXPECT_EQ(maps.job.list("map"), (std::vector<std::string>{"a:existence:x.png", "b:average:4:y.svg"}));
}

TEST(BatchCommandLine, BadArgumentsNameThemselves) {
  EXPECT_EQ(usageError({}), "no command given");
  EXPECT_EQ(usageError({"kohonen"}), "unknown command 'kohonen'");
  EXPECT_EQ(usageError({"vantor", "--data", "w.csv", "--select", "a"}),
            "unknown option '--select' for vantor");
  EXPECT_EQ(usageError({"vantor", "--data"}), "missing value for --data");
  EXPECT_EQ(usageError({"vantor", "--data", "w.csv", "--epochs", "12x"}), "not a whole number: --epochs 12x");
  EXPECT_EQ(usageError({"vantor", "--data", "w.csv", "--delta", "1"}), "unknown option '--delta' for vantor");
  EXPECT_EQ(usageError({"gridwise", "--data", "w.csv", "--delta", "nan"}), "not a number: --delta nan");
  EXPECT_EQ(usageError({"vantor", "--data", "w.csv", "--boxcount=yes"}), "--boxcount takes no value");
  EXPECT_EQ(usageError({"vantor", "--data", "a", "--data", "b"}), "--data given twice");
  EXPECT_EQ(usageError({"vantor", "--epochs", "3"}), "--data FILE is required");
  EXPECT_EQ(usageError({"vantor", "--data", "w.csv", "--epochs", "0"}),
            "--epochs 0 is outside 1 … 2147483648");
  EXPECT_EQ(usageError({"vantor", "--data", "w.csv", "--epochs", "3", "--max-epochs", "4"}),
            "--epochs cannot be combined with --max-epochs, --train-error or --test-error");
  EXPECT_EQ(usageError({"vantor", "--data", "w.csv", "--inputs", "a", "--input-norm", "zscore"}),
            "--input-norm zscore: expected none, meanvar, minmax or tanh");
  EXPECT_EQ(usageError({"vantor", "--data", "w.csv", "--output", "out.xlsx"}),
            "--output out.xlsx: expected FILE[:SHEET]!CELL");
  EXPECT_EQ(usageError({"gridwise", "--data", "w.csv", "--map-rows", "256"}),
            "--map-rows 256 is outside 1 … 255");
  EXPECT_EQ(usageError({"gridwise", "--data", "w.csv", "--select", "a", "--pcs", "0"}),
            "--pcs 0: expected a count, 90% or none");
  EXPECT_EQ(usageError({"vantor", "--data", "w.csv", "--net", "8t1,3l1"}), "(accepted)");
}

TEST(BatchCommandLine, NetworkLayersAndMaps) {
  EXPECT_EQ(parseNetwork("8t1,3l1"), (std::vector<LayerChoice>{{8, 't', 1}, {3, 'l', 1}}));
  EXPECT_EQ(parseNetwork("12t3"), (std::vector<LayerChoice>{{12, 't', 3}}));
  for (const char* bad :
       {"", "8", "8x1", "8t4", "8t0", "t1", "0t1", "8t1,", "1t1,1t1,1t1,1t1,1t1,1t1", "8t12"})
    EXPECT_THROW(parseNetwork(bad), UsageError) << bad;

  const MapChoice average = parseMap("ratio:a:b:average:5:maps/m.png");
  EXPECT_EQ(average.feature, "ratio:a:b");  // a feature name may hold colons
  EXPECT_FALSE(average.existence);
  EXPECT_EQ(average.colours, 5);
  EXPECT_EQ(average.file, "maps/m.png");
  const MapChoice existence = parseMap("species:existence:e.svg");
  EXPECT_TRUE(existence.existence);
  EXPECT_EQ(existence.feature, "species");
  for (const char* bad : {"a:average:1:f.png", "a:average:11:f.png", "a:average:f.png", ":existence:f.png",
                          "a:existence:", "a:sum:3:f.png"})
    EXPECT_THROW(parseMap(bad), UsageError) << bad;
}

TEST(BatchCommandLine, SheetTargetsAndDataFiles) {
  const SheetTarget t = parseSheetTarget("out/res.xlsx:My sheet!B2");
  EXPECT_EQ(t.file, "out/res.xlsx");
  EXPECT_EQ(t.sheet, "My sheet");
  EXPECT_EQ(t.cell, "B2");
  const SheetTarget plain = parseSheetTarget("res.xlsx!C3");
  EXPECT_EQ(plain.file, "res.xlsx");
  EXPECT_TRUE(plain.sheet.empty());
  // A colon in a folder name is no sheet.
  const DataFile f = parseDataFile("/data/run:3/iris.csv");
  EXPECT_EQ(f.file, "/data/run:3/iris.csv");
  EXPECT_TRUE(f.sheet.empty());
  EXPECT_THROW(parseSheetTarget("res.xlsx!"), UsageError);
  EXPECT_THROW(parseSheetTarget("!A1"), UsageError);
}

TEST(BatchJobFile, RoundTripAndCommandLineOverrides) {
  lumivane::test::TempDir dir;
  const Invocation first =
      parse({"gridwise", "--data", "iris.csv", "--row-ids", "--select", "a,b", "--pcs", "90%", "--iterations",
             "50", "--delta", "0.25", "--map", "a:existence:m.png"});
  const std::string path = dir.file("job.json");
  std::ofstream(path) << jobJson(first.job);
  const Job back = parseJobJson(jobJson(first.job), path);
  EXPECT_EQ(back.command, Command::Gridwise);
  EXPECT_EQ(back.options, first.job.options);

  const Invocation rerun = parse({"gridwise", "--job", path, "--iterations", "60"});
  EXPECT_EQ(rerun.job.integer("iterations"), 60);
  EXPECT_EQ(rerun.job.number("delta"), 0.25);
  EXPECT_EQ(rerun.job.list("select"), (std::vector<std::string>{"a", "b"}));
  EXPECT_THROW(parse({"vantor", "--job", path}), UsageError);  // a Gridwise job
}

TEST(BatchJobFile, MalformedJobsAreRefused) {
  for (const char* text :
       {"", "[1]", "{\"command\": \"vantor\", \"options\": {\"epochs\": 2.5}}",
        "{\"command\": \"vantor\", \"options\": {\"epoch\": 2}}",
        "{\"command\": \"vantor\", \"options\": {\"inputs\": \"a,b\"}}",
        "{\"command\": \"vantor\", \"options\": {\"boxcount\": 1}}",
        "{\"command\": \"vantor\", \"options\": {\"job\": \"x.json\"}}",
        "{\"command\": \"vantor\", \"extra\": 1}", "{\"options\": {}}", "{\"command\": \"vantor\""})
    EXPECT_THROW(parseJobJson(text, "job.json"), UsageError) << text;
  EXPECT_NO_THROW(parseJobJson("{\"command\": \"vantor\", \"options\": {\"epochs\": 2}}", "job.json"));
}

}  // namespace
}  // namespace batch
