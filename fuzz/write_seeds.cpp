// Writes the seed corpora of the fuzz harnesses into <folder>/<harness>/: files written by our
// own writers (networks, projects, data-set blocks, stored preferences, workbooks, jobs), the
// sample tables and the test workbooks. Usage: write_seeds <folder> <source folder>.
#include "fuzz/write_seeds.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "batch/batch_job.h"
#include "fuzz/fuzz_support.h"
#include "host/workbook_io.h"
#include "host/workbook_transfer.h"
#include "kohonen/workbench/preferences.h"
#include "mlp/engine/network_file.h"
#include "mlp/engine/perceptron.h"
#include "mlp/workbench/vantor_project.h"
#include "shared/vantor_data_set.h"

namespace fs = std::filesystem;

namespace {
fs::path gRoot;
int gCount = 0;
}  // namespace

void seed(const std::string& harness, const std::string& bytes) {
  fs::create_directories(gRoot / harness);
  std::ofstream out(gRoot / harness / ("seed-" + std::to_string(++gCount)), std::ios::binary);
  out << bytes;
  if (!out) {
    std::cerr << "write_seeds: cannot write into " << (gRoot / harness) << "\n";
    std::exit(1);
  }
}

namespace {

std::string fileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void networksAndVantorProjects(const RawTable& table) {
  const NormalisationKind kinds[] = {NormalisationKind::MinMax, NormalisationKind::MeanVariance,
                                     NormalisationKind::Tanh, NormalisationKind::None};
  const int counts[] = {3, 1};
  const int orders[] = {2, 1};
  const char codes[] = {'t', 'l'};
  for (int inputs = 1; inputs <= 3; ++inputs) {
    Perceptron network(inputs, 2, counts, orders, codes);
    std::ostringstream file(std::ios::binary);
    writeNetworkFile(network, file);
    seed("network", file.str());

    VantorDataSet dataSet(table);
    std::vector<std::int32_t> in;
    for (int i = 0; i < inputs; ++i) in.push_back(i);
    const std::int32_t out[] = {4};
    dataSet.setInputs(in, std::span(kinds, static_cast<std::size_t>(inputs)));
    dataSet.setOutputs(out, std::span(kinds + 3, 1));
    std::ostringstream project(std::ios::binary);
    writeProject(network, dataSet, project);
    seed("vantor_project", project.str());
    std::ostringstream block(std::ios::binary);
    dataSet.writeBlock(block);
    seed("data_sets", std::string(1, '\0') + block.str());
  }
  const int deep[] = {4, 3, 2};
  const int deepOrders[] = {3, 2, 1};
  const char deepCodes[] = {'s', 't', 'l'};
  Perceptron network(5, 3, deep, deepOrders, deepCodes);
  std::ostringstream file(std::ios::binary);
  writeNetworkFile(network, file);
  seed("network", file.str());
}

void grammars() {
  for (const char* text : {"A-E,F,G,K-AA", "a-c, e", "\tB ,\tA", "A-B-D", "IV", "A-IV", "ZZ-A"})
    seed("grammars", std::string(1, static_cast<char>(127 << 1)) + text);
  for (const char* text : {"B3", "b3", "IV65536", "AAAAAAAAAAA99999999999", "A0x"})
    seed("grammars", std::string(1, '\1') + text);
}

void preferences() {
  std::string folder = (fs::temp_directory_path() / "lumivane-seeds-XXXXXX").string();
  if (!mkdtemp(folder.data())) std::exit(1);
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  TrainingSettings settings;
  PaletteTable palette;
  resetPreferences(settings, palette);
  storePreferences(settings, palette);
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file()) files.push_back(entry.path());
  // The harness replaces the files in the order the store lists them.
  for (std::size_t i = 0; i < files.size(); ++i)
    seed("registry", std::string(1, static_cast<char>(i)) + fileBytes(files[i]));
  seed("registry", std::string("\x80") + "Software\\Veltrax\\Lumivane\\Gridwise\nDelta");
  fs::remove_all(folder);
}

void workbooks(const fs::path& source) {
  host::Workbook workbook("seed", host::kSheetLimits);
  host::Sheet& data = workbook.addSheet("Data");
  data.setText(1, 1, "x");
  data.setText(1, 2, "name, \"quoted\"");
  data.setNumber(2, 1, 1.5);
  data.setNumber(3, 1, -2e-300);
  data.setBoolean(2, 2, true);
  data.setError(3, 2, 7);
  data.setDate(4, 1, 45000.25);
  data.setText(4, 2, "=not a formula");
  workbook.addSheet("Second").setNumber(4, 3, 42);
  std::string folder = (fs::temp_directory_path() / "lumivane-seeds-XXXXXX").string();
  if (!mkdtemp(folder.data())) std::exit(1);
  host::exportWorkbook(workbook, folder + "/seed.xlsx");
  seed("workbook", std::string(1, '\0') + fileBytes(folder + "/seed.xlsx"));
  host::exportWorkbook(workbook, folder + "/seed.csv");
  seed("workbook", std::string(1, '\2') + fileBytes(folder + "/seed.csv"));
  fs::remove_all(folder);
  // The reading process's answers: this workbook, a sample read as the window reads it, a refusal.
  std::string answer;
  const host::TransferSink append = [&](const char* p, std::size_t n) { answer.append(p, n); };
  host::writeWorkbookTransfer(workbook, append);
  seed("workbook_transfer", answer);
  answer.clear();
  host::writeWorkbookTransfer(
      *host::importWorkbook((source / "samples" / "iris.csv").string(), host::kSheetLimits), append);
  seed("workbook_transfer", answer);
  answer.clear();
  host::writeRefusalTransfer("the file is damaged: a sheet ends early", append);
  seed("workbook_transfer", answer);
  for (const auto& entry : fs::directory_iterator(source / "samples"))
    if (entry.path().extension() == ".csv") {
      std::string bytes = fileBytes(entry.path());
      if (bytes.size() > 4096) bytes.resize(bytes.rfind('\n', 4096) + 1);  // a few rows suffice
      seed("workbook", std::string(1, '\2') + bytes);
    }
  for (const auto& entry : fs::directory_iterator(source / "tests" / "data"))
    if (entry.path().extension() == ".ods") seed("workbook", std::string(1, '\1') + fileBytes(entry.path()));
}

void jobs() {
  seed("batch_job",
       R"({"command": "vantor", "options": {"data": "wine.csv:Data", "inputs": ["Alcohol", "Ash"], )"
       R"("outputs": ["Class"], "input-norm": "minmax", "test-count": 5, "boxcount": true}})");
  seed("batch_job",
       R"({"command": "gridwise", "options": {"data": "iris.csv", "columns": "A-D", "no-names": false}})");
  seed("batch_job", "out.xlsx:Answers!B3");
}

void methinfo() {
  seed("methinfo", "kestrel\n");
  seed("methinfo", "libkestrel.so  ./missing.so\n\t" + std::string(120, 'x'));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: write_seeds <folder> <source folder>\n";
    return 2;
  }
  gRoot = argv[1];
  const RawTable table = fuzz::fixedTable();
  networksAndVantorProjects(table);
  gridwiseProjects(table);
  grammars();
  preferences();
  workbooks(argv[2]);
  jobs();
  methinfo();
  std::cout << "write_seeds: " << gCount << " seeds in " << gRoot << "\n";
  return 0;
}
