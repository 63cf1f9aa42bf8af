// The bridge against the host's automation: reading a 65,536 × 256 block of numbers cell by
// cell into a raw table (the range reader, goal ≤ 3 s), and writing a 65,536 × 10 table through
// the output-request cycle with its one block assignment (goal ≤ 0.5 s). Both run the real
// path: automation calls by member name, the subclassed host window, the add-in macro.
#include <benchmark/benchmark.h>

#include <memory>

#include "host/host.h"
#include "shared/excel_connection.h"
#include "shared/output_writer.h"
#include "shared/range_reader.h"

namespace {

// The largest sheet of the host versions above 7.
constexpr std::int32_t kRows = 65536;
constexpr std::int32_t kReadColumns = 256;
constexpr std::int32_t kWriteColumns = 10;

void vantorReader97(platform::Dispatch* target) {
  ExcelConnection::instance(Tool::Vantor).runReader97(target);
}
void bookAndSheetVT(platform::Variant* book, platform::Variant* sheet) {
  ExcelConnection::instance(Tool::Vantor).GetBookAndSheet(book, sheet);
}

// A running host whose active sheet is "Sheet1" of "Data.xlsx", with Vantor entered.
struct BenchHost {
  BenchHost() {
    host.addIn().addLibrary([](const char* name) -> void* {
      const std::string n(name);
      if (n == "Vantor3Reader97") return reinterpret_cast<void*>(&vantorReader97);
      if (n == "GetBookAndSheetVT") return reinterpret_cast<void*>(&bookAndSheetVT);
      return nullptr;
    });
    host.model().newWorkbook().setName("Data.xlsx");
    ExcelConnection::instance(Tool::Vantor).enter(host.application());
  }
  ~BenchHost() { ExcelConnection::instance(Tool::Vantor).reset(); }
  host::Sheet& sheet() { return host.model().workbook(0).sheet(0); }

  host::Host host;
};

void BM_ReadRangeCellByCell(benchmark::State& state) {
  BenchHost bench;
  for (std::int32_t c = 1; c <= kReadColumns; ++c)
    for (std::int32_t r = 1; r <= kRows; ++r) bench.sheet().setNumber(r, c, r + c * 0.5);
  DataSourceChoice choice;
  choice.columns = "A-IV";
  choice.firstRow = 1;
  choice.lastRow = kRows;
  choice.namesInFirstRow = false;
  ExcelConnection& connection = ExcelConnection::instance(Tool::Vantor);
  for (auto _ : state) {
    RawTable table;
    if (!readRange(connection, bench.host.application(), choice, table)) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(table.columns.back().back());
  }
  state.counters["cells"] = static_cast<double>(kRows) * kReadColumns;
  state.counters["ns_per_cell"] =
      benchmark::Counter(static_cast<double>(kRows) * kReadColumns,
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
// The reader ends with its fixed 100 ms pause under the full progress bar; it is included.
BENCHMARK(BM_ReadRangeCellByCell)->Unit(benchmark::kMillisecond)->Iterations(2);

class NumbersWriter final : public OutputWriter {
 public:
  using OutputWriter::OutputWriter;
  std::int32_t tableRows() const override { return kRows; }
  std::int32_t tableColumns() const override { return kWriteColumns; }
  platform::Variant cellValue(std::int32_t row, std::int32_t column) const override {
    return platform::Variant(row * 0.25 + column);
  }
};

void BM_WriteBlock(benchmark::State& state) {
  BenchHost bench;
  NumbersWriter writer(ExcelConnection::instance(Tool::Vantor));
  for (auto _ : state) {
    OutputPlace place;
    place.firstCell = "A1";
    if (writer.output(place) != OutputWriter::Outcome::Written) state.SkipWithError("write failed");
  }
  if (!(bench.sheet().value(kRows, kWriteColumns) ==
        platform::Variant((kRows - 1) * 0.25 + kWriteColumns - 1)))
    state.SkipWithError("the last cell does not hold its value");
  state.counters["cells"] = static_cast<double>(kRows) * kWriteColumns;
}
BENCHMARK(BM_WriteBlock)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
