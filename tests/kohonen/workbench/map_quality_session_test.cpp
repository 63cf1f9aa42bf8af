// The map quality a session measures after training and after loading a project, and the line
// the Project page shows.
#include <cstdio>

#include "kohonen/engine/map_quality.h"
#include "session_fixture.h"

namespace gridwise_test {
namespace {

TEST_F(GridwiseSessionTest, MapQualityIsMeasuredAfterTrainingAndAfterLoading) {
  EXPECT_FALSE(session->mapQuality().has_value());
  EXPECT_EQ(session->qualityLine(), "");

  createIrisPatterns();
  createMap(5, 5);
  ASSERT_TRUE(session->mapQuality().has_value());
  const MapQuality q = *session->mapQuality();
  const MapQuality expected = measureMapQuality(*session->net(), session->dataSet().workingMatrix());
  EXPECT_EQ(q.rows, kIrisRows);
  EXPECT_EQ(q.quantisationError, expected.quantisationError);
  EXPECT_EQ(q.topographicError, expected.topographicError);
  // A trained 5 × 5 map sits close to standardised iris and keeps most neighbours together.
  EXPECT_GT(q.quantisationError, 0.0);
  EXPECT_LT(q.quantisationError, 0.5);
  EXPECT_LT(q.topographicError, 0.5);
  char line[96];
  std::snprintf(line, sizeof line, "Quantisation error: %.5g, topographic error: %.3f", q.quantisationError,
                q.topographicError);
  EXPECT_EQ(session->qualityLine(), line);

  lumivane::test::TempDir dir;
  const std::string path = dir.file("iris.gwp");
  prompter.answerFile(path);
  ASSERT_TRUE(session->saveProject());
  GridwiseSession loaded(table, connection(Tool::Gridwise));
  prompter.answerFile(path);
  ASSERT_TRUE(loaded.loadProject());
  EXPECT_EQ(loaded.qualityLine(), session->qualityLine());
}

}  // namespace
}  // namespace gridwise_test
