// Every writer of the tools, its save cut short at every byte: the file that was there before
// must be exactly as it was, the failure reported and no temporary left beside it. Networks,
// projects, workbooks, comma-separated files, the registry store and the batch mode's text
// outputs (summaries, pictures).
#include "tests/reliability/fault_injection.h"

#include <array>
#include <span>

#include "host/workbook_io.h"
#include "kohonen/workbench/registry_store.h"
#include "mlp/engine/network_file.h"
#include "mlp/engine/perceptron.h"
#include "mlp/workbench/vantor_project.h"
#include "shared/binary_io.h"
#include "shared/vantor_data_set.h"

using namespace reliability;

namespace {

std::unique_ptr<Perceptron> network(int hidden) {
  const int counts[] = {hidden, 1};
  const int orders[] = {2, 1};
  const char codes[] = {'t', 'l'};
  return std::make_unique<Perceptron>(2, 2, counts, orders, codes);
}

host::Workbook workbook(int rows) {
  host::Workbook book("book", host::kSheetLimits);
  host::Sheet& sheet = book.addSheet("Data");
  sheet.setText(1, 1, "value");
  for (int r = 2; r <= rows + 1; ++r) sheet.setNumber(r, 1, r * 0.25);
  return book;
}

}  // namespace

TEST(FaultInjection, NetworkAndVantorProjectSavesCutAtAnyByteKeepThePreviousFile) {
  const auto small = network(2);
  const auto large = network(5);
  expectEveryCutKeepsPrevious([&](const fs::path& p) { return saveNetworkFile(*small, p).ok(); },
                              [&](const fs::path& p) { return saveNetworkFile(*large, p).ok(); }, "net.mlp");

  const RawTable table = smallTable();
  VantorDataSet first(table);
  VantorDataSet second(table);
  const std::int32_t inputs[] = {0, 1};
  const std::int32_t outputs[] = {2};
  const NormalisationKind minMax[] = {NormalisationKind::MinMax, NormalisationKind::MinMax};
  const NormalisationKind meanVar[] = {NormalisationKind::MeanVariance, NormalisationKind::Tanh};
  first.setInputs(inputs, minMax);
  first.setOutputs(outputs, std::span(minMax, 1));
  second.setInputs(inputs, meanVar);
  second.setOutputs(outputs, std::span(meanVar, 1));
  expectEveryCutKeepsPrevious([&](const fs::path& p) { return saveProjectFile(*small, first, p); },
                              [&](const fs::path& p) { return saveProjectFile(*large, second, p); },
                              "project.vtp");
}

TEST(FaultInjection, WorkbookExportsCutAtAnyByteKeepThePreviousFile) {
  const host::Workbook before = workbook(3);
  const host::Workbook after = workbook(400);
  for (const char* name : {"book.xlsx", "book.csv"}) {
    SCOPED_TRACE(name);
    expectEveryCutKeepsPrevious(
        [&](const fs::path& p) {
          host::exportWorkbook(before, p.string());
          return true;
        },
        [&](const fs::path& p) {
          host::exportWorkbook(after, p.string());
          return true;
        },
        name, /*failureThrows=*/true);
  }
}

TEST(FaultInjection, RegistryValuesAndTextOutputsCutAtAnyByteKeepThePreviousValue) {
  lumivane::test::ConfigHomeScope config;
  const std::optional<RegistryKey> key = RegistryKey::create("Software\\Reliability\\Values");
  ASSERT_TRUE(key);
  const std::string oldValue(40, 'o');
  const std::string newValue(200, 'n');
  auto bytes = [](const std::string& s) { return std::as_bytes(std::span(s.data(), s.size())); };
  const std::vector<std::string> listing = folderContents(key->folder());
  ASSERT_TRUE(key->setValue("Value", bytes(oldValue)));
  const std::vector<std::string> withValue = folderContents(key->folder());
  for (rlim_t cut = 0; cut < newValue.size(); ++cut) {
    const Outcome outcome =
        writeWithLimit([&](const fs::path&) { return key->setValue("Value", bytes(newValue)); }, {}, cut);
    ASSERT_EQ(outcome, Outcome::ReportedFailure) << "cut at byte " << cut;
    std::array<std::byte, 256> buffer{};
    const std::optional<std::size_t> n = key->queryValue("Value", buffer);
    ASSERT_TRUE(n) << "cut at byte " << cut;
    ASSERT_EQ(std::string(reinterpret_cast<const char*>(buffer.data()), *n), oldValue)
        << "cut at byte " << cut;
    ASSERT_EQ(folderContents(key->folder()), withValue) << "cut at byte " << cut;
  }
  (void)listing;

  // The batch mode's summaries and pictures go through the atomic writer.
  auto text = [](std::string body) {
    return
        [body](const fs::path& p) { return writeFileAtomically(p, [&](std::ostream& out) { out << body; }); };
  };
  expectEveryCutKeepsPrevious(text("{\"status\": \"old\"}\n"), text(std::string(3000, 'x')), "summary.json");
}

// The cut is real: a writer that truncates its target and writes in place loses the previous
// file when cut short, and says it succeeded only because it never checks.
TEST(FaultInjection, ACutShortInPlaceWriteIsSeen) {
  TempDir dir;
  const fs::path target = dir.path() / "plain.txt";
  std::ofstream(target) << "previous contents";
  const Writer inPlace = [](const fs::path& p) {
    std::ofstream out(p, std::ios::trunc);
    out << std::string(100, 'n');
    out.flush();
    return out.good();
  };
  EXPECT_EQ(writeWithLimit(inPlace, target, 10), Outcome::ReportedFailure);
  EXPECT_EQ(readAll(target), std::string(10, 'n'));
}
