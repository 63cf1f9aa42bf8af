// lumivane-batch as a user runs it: exit codes, the tools' refusals on standard error, job files
// written and rerun, every promised file of a run on the samples, and a run killed midway.

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "host/workbook_io.h"
#include "tests/batch/batch_process.h"
#include "tests/support/test_support.h"

namespace batch_test {
namespace {

namespace fs = std::filesystem;
using lumivane::test::samplePath;
using lumivane::test::TempDir;

const std::string kIrisMeasurements = "sepal_length_cm,sepal_width_cm,petal_length_cm,petal_width_cm";

std::vector<std::string> folderContents(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

QJsonObject jsonFile(const fs::path& path) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(readAll(path))).object();
}

class BatchProgramTest : public ::testing::Test {
 protected:
  ProcessResult run(std::vector<std::string> args) { return runBatch(args, work.path(), logs.path()); }

  // A small Vantor run on iris: two measurements predicting the setosa indicator.
  std::vector<std::string> irisVantor(std::vector<std::string> more) {
    std::vector<std::string> args = {"vantor",    "--quiet",   "--data",   samplePath("iris.csv"),
                                     "--columns", "B-I",       "--inputs", "sepal_length_cm,petal_width_cm",
                                     "--outputs", "is_setosa", "--net",    "3t1,1l1"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }

  lumivane::test::ConfigHomeScope config;
  TempDir work, logs;
};

TEST_F(BatchProgramTest, BadArgumentsExitTwoWithAUsageLineNamingThem) {
  struct Case {
    std::vector<std::string> args;
    std::string named;
  };
  const Case cases[] = {
      {{}, "no command given"},
      {{"vantor", "--data", "x.csv", "--epochs", "ten"}, "--epochs ten"},
      {{"gridwise", "--data", "x.csv", "--inputs", "a"}, "'--inputs'"},
      {{"vantor", "--data", "x.csv", "--net", "8q1"}, "layer '8q1'"},
      {{"vantor", "--data", "x.csv", "--job", "missing.json"}, "missing.json"},
      {{"vantor", "--data", "x.csv", "--scatter-picture", "s.jpg"},
       "s.jpg: a picture file ends in .png or .svg"},
  };
  for (const Case& c : cases) {
    const ProcessResult r = run(c.args);
    EXPECT_EQ(r.exitCode, 2) << c.named;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("usage: lumivane-batch vantor|gridwise"), std::string::npos) << r.err;
  }
  EXPECT_TRUE(folderContents(work.path()).empty());
  const ProcessResult help = run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--save-project FILE.gwp"), std::string::npos);
}

TEST_F(BatchProgramTest, RefusalsPrintTheToolsMessagesAndExitOne) {
  // A table with a constant column, and a project of wine's 17 columns for the dimension check.
  std::ofstream(work.file("flat.csv")) << "a,b,c\n1,5,2\n2,5,4\n3,5,7\n4,5,8\n";
  std::ofstream(work.file("bad.vtp")) << "not a project";
  ASSERT_EQ(
      run({"vantor", "--quiet", "--data", samplePath("wine.csv"), "--columns", "B-R", "--inputs",
           "alcohol,hue", "--outputs", "is_cultivar1", "--net", "2t1,1l1", "--save-project", "wine.vtp"})
          .exitCode,
      0);

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {irisVantor({"--output", "r.xlsx!A0"}), "Vantor 3: Row number must be over zero!"},
      {irisVantor({"--output", "r.xlsx!IV2", "--all-data"}),
       "Vantor 3: Output range is over the maximal number of columns in MS Excel!"},
      {{"vantor", "--data", samplePath("iris.csv"), "--columns", "A-I", "--inputs", "sepal_length_cm"},
       "Vantor 3: Bad value in the cell A2!"},
      {{"vantor", "--data", samplePath("iris.csv"), "--columns", "B-E", "--load-project", "bad.vtp"},
       "VANTOR3: This file isn't in Vantor format!"},
      {{"vantor", "--data", samplePath("iris.csv"), "--columns", "B-I", "--load-project", "wine.vtp"},
       "don't match the number of columns in project loaded."},
      {{"vantor", "--data", "flat.csv", "--inputs", "a,b", "--outputs", "c", "--boxcount"},
       "'b' has zero variance"},
      {irisVantor({"--epochs", "5", "--initial-step", "5000"}), "kestrel: Please enter a number between"},
      {{"vantor", "--data", samplePath("iris.csv"), "--columns", "B-I", "--inputs", "petal_colour"},
       "the table has no column named \"petal_colour\""},
      {{"gridwise", "--data", samplePath("iris.csv"), "--row-ids", "--select", kIrisMeasurements,
        "--iterations", "5", "--output", "r.xlsx!IU1", "--output-ids"},
       "Gridwise: The number of columns is greater than maximum value!"},
      {{"gridwise", "--data", "missing.csv", "--select", "a"}, "missing.csv"},
      {irisVantor({"--significance-picture", "s.png"}), "the significance chart needs --boxcount"},
      {{"gridwise", "--data", samplePath("iris.csv"), "--row-ids", "--select", kIrisMeasurements,
        "--iterations", "5", "--map", "colour:existence:m.png"},
       "the table has no column named \"colour\""},
  };
  for (const Case& c : cases) {
    const ProcessResult r = run(c.args);
    EXPECT_EQ(r.exitCode, 1) << c.message << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  // Nothing was written by a refused run.
  EXPECT_EQ(folderContents(work.path()), (std::vector<std::string>{"bad.vtp", "flat.csv", "wine.vtp"}));
}

TEST_F(BatchProgramTest, AWrittenJobRerunGivesTheSameFiles) {
  const ProcessResult first = run(irisVantor(
      {"--test-set", "random-last", "--test-count", "30", "--last-count", "10", "--epochs", "25",
       "--save-net", "n.mlp", "--save-project", "p.vtp", "--errors", "e.csv", "--write-job", "job.json"}));
  ASSERT_EQ(first.exitCode, 0) << first.err;
  fs::create_directory(work.path() / "first");
  for (const char* f : {"n.mlp", "p.vtp", "e.csv"}) fs::rename(work.path() / f, work.path() / "first" / f);

  const ProcessResult again = run({"vantor", "--job", "job.json"});
  ASSERT_EQ(again.exitCode, 0) << again.err;
  for (const char* f : {"n.mlp", "p.vtp", "e.csv"}) {
    EXPECT_FALSE(readAll(work.path() / f).empty()) << f;
    EXPECT_EQ(readAll(work.path() / f), readAll(work.path() / "first" / f)) << f;
  }
  // 25 epochs: the history holds entries 0 … 25 after its header.
  const std::string csv = readAll(work.path() / "e.csv");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 27);
  EXPECT_EQ(csv.rfind("Epoch,Training error,Test error\n0,", 0), 0u);

  // The same for a map, whose job also holds the training settings.
  ASSERT_EQ(run({"gridwise", "--quiet", "--data", samplePath("iris.csv"), "--row-ids", "--select",
                 kIrisMeasurements, "--pcs", "90%", "--iterations", "50", "--decay", "0.01", "--map-rows",
                 "3", "--save-project", "first/m.gwp", "--write-job", "map-job.json"})
                .exitCode,
            0);
  ASSERT_EQ(run({"gridwise", "--job", "map-job.json", "--save-project", "m.gwp"}).exitCode, 0);
  EXPECT_EQ(readAll(work.path() / "m.gwp"), readAll(work.path() / "first" / "m.gwp"));
  EXPECT_FALSE(readAll(work.path() / "m.gwp").empty());

  // An option on the command line overrides the job's.
  const ProcessResult longer = run({"vantor", "--job", "job.json", "--epochs", "30"});
  ASSERT_EQ(longer.exitCode, 0) << longer.err;
  EXPECT_NE(readAll(work.path() / "n.mlp"), readAll(work.path() / "first" / "n.mlp"));
}

TEST_F(BatchProgramTest, RunsOnTheSamplesWriteEveryPromisedFile) {
  const ProcessResult wine = run({"vantor",
                                  "--data",
                                  samplePath("wine.csv"),
                                  "--columns",
                                  "B-R",
                                  "--inputs",
                                  "alcohol,flavanoids,color_intensity,proline",
                                  "--input-norm",
                                  "meanvar",
                                  "--outputs",
                                  "is_cultivar1,is_cultivar2,is_cultivar3",
                                  "--output-norm",
                                  "minmax",
                                  "--boxcount",
                                  "--test-count",
                                  "30",
                                  "--net",
                                  "5t1,3l1",
                                  "--epochs",
                                  "40",
                                  "--save-project",
                                  "wine.vtp",
                                  "--save-net",
                                  "wine.mlp",
                                  "--output",
                                  "results.xlsx:Answers!A1",
                                  "--errors",
                                  "wine-errors.csv",
                                  "--json",
                                  "wine.json"});
  ASSERT_EQ(wine.exitCode, 0) << wine.err;
  // Progress of each long step reached standard error.
  for (const char* step : {"Retrieving data", "Performing boxcounting", "Epoch 40:", "wrote results.xlsx"})
    EXPECT_NE(wine.err.find(step), std::string::npos) << step;

  const QJsonObject summary = jsonFile(work.path() / "wine.json");
  EXPECT_EQ(summary["exit code"].toInt(), 0);
  EXPECT_EQ(summary["network"].toObject()["epochs"].toInt(), 40);
  EXPECT_EQ(summary["data set"].toObject()["test examples"].toInt(), 30);
  const QJsonArray outputs = summary["boxcounting"].toObject()["outputs"].toArray();
  ASSERT_EQ(outputs.size(), 3);
  EXPECT_GT(outputs[0].toObject()["predictability"].toDouble(), 0.0);
  EXPECT_EQ(outputs[0].toObject()["significance"].toObject().size(), 4);
  EXPECT_LE(summary["network"].toObject()["best training error"].toDouble(),
            summary["network"].toObject()["final training error"].toDouble());

  const ProcessResult iris = run({"gridwise",
                                  "--quiet",
                                  "--data",
                                  samplePath("iris.csv"),
                                  "--row-ids",
                                  "--select",
                                  kIrisMeasurements,
                                  "--norm",
                                  "meanvar",
                                  "--pcs",
                                  "90%",
                                  "--iterations",
                                  "200",
                                  "--save-project",
                                  "iris.gwp",
                                  "--output",
                                  "results.xlsx:Cells!B2",
                                  "--pc-picture",
                                  "pc.png",
                                  "--json",
                                  "iris.json"});
  ASSERT_EQ(iris.exitCode, 0) << iris.err;
  const QJsonObject map = jsonFile(work.path() / "iris.json");
  // Standardised iris keeps two components, 95.8 % of the variance.
  EXPECT_EQ(map["components kept"].toInt(), 2);
  EXPECT_NEAR(map["retained fraction"].toDouble(), 0.958, 1e-3);
  EXPECT_EQ(map["map"].toObject()["rows"].toInt(), 10);
  EXPECT_GT(map["map"].toObject()["quantisation error"].toDouble(), 0.0);
  const QJsonObject quality = map["map"].toObject()["map quality"].toObject();
  EXPECT_GT(quality["quantisation error"].toDouble(), 0.0);
  EXPECT_LT(quality["topographic error"].toDouble(), 0.5);

  // Every file the summaries list exists and is not empty; the workbook holds both outputs.
  for (const QJsonObject& s : {summary, map})
    for (const QJsonValue& f : s["files written"].toArray())
      EXPECT_GT(fs::file_size(work.path() / f.toString().toStdString()), 0u) << f.toString().toStdString();
  const auto book = host::importWorkbook(work.file("results.xlsx"), host::kSheetLimits);
  ASSERT_EQ(book->sheetCount(), 2);
  EXPECT_EQ(book->findSheet("Answers")->value(1, 1), platform::Variant("is_cultivar1 (Predicted)"));
  EXPECT_EQ(book->findSheet("Cells")->value(2, 2).vt(), platform::VT_BSTR);  // the first flower's row letters
  EXPECT_TRUE(book->findSheet("Cells")->value(152, 2).isEmpty());
  EXPECT_EQ(readAll(work.path() / "pc.png").substr(1, 3), "PNG");
}

TEST_F(BatchProgramTest, KeepBestEndsOnTheNetworkOfTheLowestTestError) {
  const ProcessResult kept =
      run(irisVantor({"--test-count", "40", "--epochs", "80", "--keep-best", "--json", "kept.json"}));
  ASSERT_EQ(kept.exitCode, 0) << kept.err;
  const QJsonObject net = jsonFile(work.path() / "kept.json")["network"].toObject();
  const QJsonObject best = net["best network"].toObject();
  ASSERT_FALSE(best.isEmpty());
  EXPECT_TRUE(best["restored"].toBool());
  EXPECT_GE(best["epoch"].toInt(), 1);
  EXPECT_LE(best["epoch"].toInt(), 80);
  // The restored network's errors are measured afresh: they are the kept ones, and the kept test
  // error is the lowest of the history.
  EXPECT_EQ(net["final test error"].toDouble(), best["test error"].toDouble());
  EXPECT_EQ(net["final training error"].toDouble(), best["training error"].toDouble());
  EXPECT_EQ(net["best test error"].toDouble(), best["test error"].toDouble());
  EXPECT_EQ(net["epochs"].toInt(), 80);

  const ProcessResult plain =
      run(irisVantor({"--test-count", "40", "--epochs", "80", "--json", "plain.json"}));
  ASSERT_EQ(plain.exitCode, 0) << plain.err;
  const QJsonObject plainNet = jsonFile(work.path() / "plain.json")["network"].toObject();
  EXPECT_FALSE(plainNet["best network"].toObject()["restored"].toBool());
  EXPECT_EQ(plainNet["best network"].toObject()["epoch"].toInt(), best["epoch"].toInt());
}

TEST_F(BatchProgramTest, ANamedSheetIsReadAndTheOutputKeepsTheRestOfTheWorkbook) {
  host::Workbook book("book.xlsx", host::kSheetLimits);
  host::Sheet& notes = book.addSheet("Notes");
  notes.setText(1, 1, "keep me");
  host::Sheet& data = book.addSheet("Data");
  data.setText(1, 1, "a");
  data.setText(1, 2, "b");
  data.setText(1, 3, "c");
  for (int r = 2; r <= 21; ++r) {
    data.setNumber(r, 1, r);
    data.setNumber(r, 2, (r * 7) % 5);
    data.setNumber(r, 3, r * 0.5 + (r * 7) % 5);
  }
  host::exportWorkbook(book, work.file("book.xlsx"));

  const ProcessResult r =
      run({"vantor", "--quiet", "--data", "book.xlsx:Data", "--inputs", "a,b", "--outputs", "c", "--net",
           "2t1,1l1", "--epochs", "5", "--output", "book.xlsx:Data!E1"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto back = host::importWorkbook(work.file("book.xlsx"), host::kSheetLimits);
  ASSERT_EQ(back->sheetCount(), 2);
  EXPECT_EQ(back->findSheet("Notes")->value(1, 1), platform::Variant("keep me"));
  const host::Sheet& written = *back->findSheet("Data");
  EXPECT_EQ(written.value(21, 3), platform::Variant(21 * 0.5 + (21 * 7) % 5));  // the data stays
  EXPECT_EQ(written.value(1, 5), platform::Variant("c (Predicted)"));
  EXPECT_EQ(written.value(21, 5).vt(), platform::VT_R8);  // one answer per data row
  EXPECT_TRUE(written.value(22, 5).isEmpty());

  // A sheet the workbook does not have is refused before anything is read.
  const ProcessResult missing = run({"vantor", "--data", "book.xlsx:Sheet9", "--inputs", "a"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.err.find("has no sheet \"Sheet9\""), std::string::npos) << missing.err;
}

// A picture drawn by a renderer: an image of the batch size that is not one flat colour.
void expectPicture(const fs::path& path) {
  const QImage image(QString::fromStdString(path.string()));
  ASSERT_FALSE(image.isNull()) << path;
  EXPECT_EQ(image.size(), QSize(640, 480)) << path;
  const QRgb corner = image.pixel(0, 0);
  bool varied = false;
  for (int y = 0; y < image.height() && !varied; y += 7)
    for (int x = 0; x < image.width() && !varied; x += 7) varied = image.pixel(x, y) != corner;
  EXPECT_TRUE(varied) << path;
}

TEST_F(BatchProgramTest, PicturesOfEveryGraphInBothFormats) {
  const ProcessResult vantor =
      run(irisVantor({"--boxcount", "--test-count", "30", "--epochs", "30", "--errors-picture", "errors.png",
                      "--scatter-picture", "scatter.png", "--answers-picture", "answers.svg",
                      "--significance-picture", "significance.png"}));
  ASSERT_EQ(vantor.exitCode, 0) << vantor.err;
  const ProcessResult gridwise = run({"gridwise",
                                      "--quiet",
                                      "--data",
                                      samplePath("iris.csv"),
                                      "--row-ids",
                                      "--select",
                                      kIrisMeasurements,
                                      "--norm",
                                      "minmax",
                                      "--pcs",
                                      "2",
                                      "--iterations",
                                      "100",
                                      "--map-rows",
                                      "6",
                                      "--map-columns",
                                      "7",
                                      "--map",
                                      "species:average:3:species.png",
                                      "--map",
                                      "is_setosa:existence:setosa.svg",
                                      "--map-legend",
                                      "--map-umatrix",
                                      "--pc-picture",
                                      "pc.svg"});
  ASSERT_EQ(gridwise.exitCode, 0) << gridwise.err;
  for (const char* png : {"errors.png", "scatter.png", "significance.png", "species.png"})
    expectPicture(work.path() / png);
  for (const char* svg : {"answers.svg", "setosa.svg", "pc.svg"}) {
    const std::string text = readAll(work.path() / svg);
    EXPECT_NE(text.find("<svg"), std::string::npos) << svg;
    EXPECT_NE(text.find("</svg>"), std::string::npos) << svg;
  }
}

TEST_F(BatchProgramTest, AKilledRunLeavesNoPartialFile) {
  BatchProcess p(irisVantor({"--test-count", "20", "--epochs", "100000000", "--save-project", "p.vtp",
                             "--save-net", "n.mlp", "--output", "r.xlsx!A1", "--errors", "e.csv"}),
                 work.path(), logs.path());
  ASSERT_TRUE(p.started());
  // Let it train for a while, then kill it without a chance to clean up.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  p.killNow();
  const ProcessResult r = p.wait();
  EXPECT_EQ(r.exitCode, -1);
  EXPECT_TRUE(folderContents(work.path()).empty());
}

}  // namespace
}  // namespace batch_test

namespace batch_test {
namespace {

TEST_F(BatchProgramTest, AnInterruptedRunEndsRefusedWithoutItsFiles) {
  for (const bool vantor : {true, false}) {
    BatchProcess p(
        vantor ? irisVantor({"--epochs", "100000000", "--save-project", "p.vtp", "--output", "r.xlsx!A1"})
               : std::vector<std::string>{"gridwise", "--quiet", "--data", samplePath("iris.csv"),
                                          "--row-ids", "--select", kIrisMeasurements, "--iterations",
                                          "1000000", "--save-project", "m.gwp"},
        work.path(), logs.path());
    ASSERT_TRUE(p.started());
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    p.interrupt();
    const ProcessResult r = p.wait();
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("interrupted; nothing more was written"), std::string::npos) << r.err;
    EXPECT_TRUE(folderContents(work.path()).empty());
  }
}

}  // namespace
}  // namespace batch_test
