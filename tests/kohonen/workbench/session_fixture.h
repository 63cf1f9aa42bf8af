#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "kohonen/workbench/gridwise_session.h"
#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/selector_request.h"
#include "shared/range_reader.h"
#include "tests/shared/excel_test_support.h"

namespace gridwise_test {

using platform::IDCANCEL;
using platform::IDNO;
using platform::IDOK;
using platform::IDYES;
using platform::MB_ICONERROR;
using platform::MB_ICONINFORMATION;
using platform::MB_ICONQUESTION;
using platform::MB_YESNO;
using platform::ModalDialog;

// Raw columns of samples/iris.csv once its first column is taken as the row IDs.
inline constexpr std::int32_t kSepalLength = 0;
inline constexpr std::int32_t kPetalWidth = 3;
inline constexpr std::int32_t kSpecies = 4;
inline constexpr std::int32_t kIrisRows = 150;
inline constexpr std::int32_t kIrisColumns = 8;

// Records what the session told its observers.
class RecordingObserver final : public GridwiseObserver {
 public:
  void sessionChanged(unsigned changes) override { seen.push_back(changes); }
  unsigned all() const {
    unsigned m = 0;
    for (unsigned c : seen) m |= c;
    return m;
  }
  std::vector<unsigned> seen;
};

// A cancellable progress window that reports Cancel once the given number of checks have
// passed (never for a negative count).
class CancellingProgress final : public ProgressWindow {
 public:
  explicit CancellingProgress(int checksBeforeCancel) : left_(checksBeforeCancel) {}
  void setText(const std::string&) override {}
  void setPosition(int p) override { positions.push_back(p); }
  bool cancelRequested() override {
    if (left_ < 0) return false;
    return left_-- == 0;
  }
  void bringToForeground() override {}
  void close() override {}
  std::vector<int> positions;

 private:
  int left_;
};

// A running host with samples/iris.csv open and active, read into a raw table with its first
// column as row IDs, and a Gridwise session over that table.
class GridwiseSessionTest : public bridge_test::BridgeTest {
 protected:
  void SetUp() override { startIris(9, kIrisRows); }
  void TearDown() override {
    session.reset();
    bridge_test::BridgeTest::TearDown();
  }

  // Starts a host of the version, opens iris and reads its first `rows` data rows.
  void startIris(int version, std::int32_t rows) {
    session.reset();
    startHost(version);
    host->model().open(lumivane::test::samplePath("iris.csv"));
    DataSourceChoice choice;
    choice.columns = "A-I";
    choice.firstRow = 1;
    choice.lastRow = rows + 1;
    choice.namesInFirstRow = true;
    choice.rowIdsInFirstColumn = true;
    table = RawTable{};
    ASSERT_TRUE(readRange(entered(Tool::Gridwise), app(), choice, table));
    ASSERT_EQ(table.rowCount, rows);
    ASSERT_EQ(table.columnCount(), kIrisColumns);
    session = std::make_unique<GridwiseSession>(table, connection(Tool::Gridwise));
  }

  host::Sheet& irisSheet() { return host->model().activeWorkbook()->sheet(0); }

  // Scripts the selector: exactly `columns` selected, then (button ≥ 0) "Normalize..." with that
  // radio button, and the principal-component box.
  void scriptSelector(std::vector<std::int32_t> columns, int normalisationButton, bool components,
                      int answer = IDOK) {
    prompter.answerModal([=](ModalDialog& d) {
      auto& r = dynamic_cast<ColumnSelectionRequest&>(d);
      r.deselectAll();
      r.select(columns);
      if (normalisationButton >= 0) r.normaliseCommand();
      r.setExtractComponents(components);
      return answer;
    });
    if (normalisationButton >= 0) {
      prompter.answerModal([=](ModalDialog& d) {
        dynamic_cast<NormalisationRequest&>(d).button = normalisationButton;
        return IDOK;
      });
    }
  }
  // Scripts the "PC Analyzer": notes its preselection and, when given, selects another entry.
  void scriptAnalyzer(std::optional<std::int32_t> entry = std::nullopt) {
    prompter.answerModal([this, entry](ModalDialog& d) {
      auto& r = dynamic_cast<PcAnalyzerRequest&>(d);
      preselected = r.selectedEntry;
      analyzerCurve = r.cumulative();
      if (entry) r.selectedEntry = *entry;
      return IDOK;
    });
  }
  void scriptNetworkSize(std::int32_t rows, std::int32_t columns, int answer = IDOK) {
    prompter.answerModal([=, this](ModalDialog& d) {
      auto& r = dynamic_cast<NetworkSizeRequest&>(d);
      offeredSize = {r.rows, r.columns};
      r.rows = rows;
      r.columns = columns;
      return answer;
    });
  }

  // The four measurements, "Mean / Variance", principal components with the preselected count.
  void createIrisPatterns() {
    scriptSelector({0, 1, 2, 3}, 1, true);
    scriptAnalyzer();
    ASSERT_TRUE(session->createPatterns());
  }
  void createMap(std::int32_t rows, std::int32_t columns) {
    scriptNetworkSize(rows, columns);
    ASSERT_TRUE(session->createNetwork());
  }

  // The winner of data row i of the session's working matrix, from the engine directly.
  CellPos winnerOf(const GridwiseSession& s, std::int32_t i) const {
    const RealMatrix& w = s.dataSet().workingMatrix();
    std::vector<double> x(static_cast<std::size_t>(w.Cols()));
    for (std::int32_t k = 0; k < w.Cols(); ++k) x[static_cast<std::size_t>(k)] = w(i, k);
    return s.net()->findWinner(x.data());
  }

  // The last message box, with its caption and icon checked.
  platform::ScriptedPrompter::Call lastMessage() {
    const auto all = prompter.messages();
    EXPECT_FALSE(all.empty());
    return all.empty() ? platform::ScriptedPrompter::Call{} : all.back();
  }

  RawTable table;
  std::unique_ptr<GridwiseSession> session;
  std::optional<std::int32_t> preselected;
  std::vector<double> analyzerCurve;
  std::pair<std::int32_t, std::int32_t> offeredSize{0, 0};
};

// The weights of every cell, in cell order, as the bytes of their doubles.
inline std::vector<double> allWeights(const KohonenNet& net) {
  std::vector<double> w;
  for (std::int32_t r = 0; r < net.rows(); ++r)
    for (std::int32_t c = 0; c < net.columns(); ++c) {
      const auto cell = net.cellWeights(r, c);
      w.insert(w.end(), cell.begin(), cell.end());
    }
  return w;
}

}  // namespace gridwise_test
