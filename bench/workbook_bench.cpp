// Opening workbooks: a full 65,536 x 256 sheet of numbers, and a column of 65,536 running
// totals with 5,000 whole-column sums whose results the file stores. The files are made once
// in the benchmark data folder (LUMIVANE_BENCH_DATA or bench-data in the build tree).
#include <benchmark/benchmark.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "host/number_text.h"
#include "host/workbook_io.h"

namespace {

namespace fs = std::filesystem;

fs::path dataFolder() {
  const char* env = std::getenv("LUMIVANE_BENCH_DATA");
  fs::path folder = env && *env ? fs::path(env) : fs::path(LUMIVANE_BENCH_DATA_DEFAULT);
  fs::create_directories(folder);
  return folder;
}

// The full sheet, written by our own writer.
const std::string& wideFile() {
  static const std::string path = [] {
    const fs::path p = dataFolder() / "workbook_65536x256.xlsx";
    if (!fs::exists(p)) {
      host::Workbook book("wide.xlsx", host::kSheetLimits);
      host::Sheet& s = book.addSheet("Data");
      std::mt19937_64 random(65536);
      std::uniform_real_distribution<double> value(-1000, 1000);
      for (std::int32_t c = 1; c <= 256; ++c)
        for (std::int32_t r = 1; r <= 65536; ++r) s.setNumber(r, c, value(random));
      host::exportWorkbook(book, p.string());
    }
    return p.string();
  }();
  return path;
}

// Formulas with stored results, as a spreadsheet saves them.
const std::string& formulaFile() {
  static const std::string path = [] {
    const fs::path p = dataFolder() / "workbook_running_totals.xlsx";
    if (fs::exists(p)) return p.string();
    const std::string ns = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
    const std::string rns = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    std::string sheet = "<?xml version=\"1.0\"?><worksheet xmlns=\"" + ns + "\"><sheetData>";
    double total = 0, sum = 0;
    for (int r = 1; r <= 65536; ++r) sum += r;
    for (int r = 1; r <= 65536; ++r) {
      total += r;
      const std::string n = std::to_string(r);
      sheet += "<row r=\"" + n + "\"><c r=\"A" + n + "\">";
      sheet +=
          r == 1 ? "<v>1</v>"
                 : "<f>A" + std::to_string(r - 1) + "+" + n + "</f><v>" + host::formatNumber(total) + "</v>";
      sheet += "</c>";
      if (r <= 5000) sheet += "<c r=\"B" + n + "\"><f>SUM(A:A)</f><v>" + host::formatNumber(sum) + "</v></c>";
      sheet += "</row>";
    }
    sheet += "</sheetData></worksheet>";
    const std::string book =
        "<?xml version=\"1.0\"?><workbook xmlns=\"" + ns + "\" xmlns:r=\"" + rns +
        "\"><sheets><sheet name=\"Totals\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const std::string rels =
        "<?xml version=\"1.0\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"" +
        rns + "/worksheet\" Target=\"worksheets/sheet1.xml\"/></Relationships>";
    const std::string types =
        "<?xml version=\"1.0\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"/>";
    int error = 0;
    zip_t* z = zip_open(p.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z) std::abort();
    for (const auto& [name, data] :
         {std::pair<std::string, const std::string*>{"[Content_Types].xml", &types},
          {"xl/workbook.xml", &book},
          {"xl/_rels/workbook.xml.rels", &rels},
          {"xl/worksheets/sheet1.xml", &sheet}})
      zip_file_add(z, name.c_str(), zip_source_buffer(z, data->data(), data->size(), 0), 0);
    if (zip_close(z) != 0) std::abort();
    return p.string();
  }();
  return path;
}

void BM_OpenFullSheet(benchmark::State& state) {
  const std::string& path = wideFile();
  for (auto _ : state) {
    auto book = host::importWorkbook(path, host::kSheetLimits);
    benchmark::DoNotOptimize(book->sheet(0).number(65536, 256));
  }
  state.counters["cells"] = 65536.0 * 256;
  state.counters["MB"] = static_cast<double>(fs::file_size(path)) / 1e6;
}
// The sheet is read on two threads: CPU is the time of both, against the real time.
BENCHMARK(BM_OpenFullSheet)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

void BM_OpenRunningTotalsAndColumnSums(benchmark::State& state) {
  const std::string& path = formulaFile();
  for (auto _ : state) {
    auto book = host::importWorkbook(path, host::kSheetLimits);
    benchmark::DoNotOptimize(book->sheet(0).number(5000, 2));
  }
}
BENCHMARK(BM_OpenRunningTotalsAndColumnSums)->Unit(benchmark::kMillisecond)->Iterations(5);

// Writing the full sheet.
void BM_SaveFullSheet(benchmark::State& state) {
  auto book = host::importWorkbook(wideFile(), host::kSheetLimits);
  const std::string out = (dataFolder() / "workbook_save_copy.xlsx").string();
  for (auto _ : state) host::exportWorkbook(*book, out);
  fs::remove(out);
}
BENCHMARK(BM_SaveFullSheet)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
