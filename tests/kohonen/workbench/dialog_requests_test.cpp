// The rules of the dialogs' request objects: the selector's lists and buttons, the PC curve's
// pixels, the swatch stripes and the size and map checks.
#include <gtest/gtest.h>

#include "kohonen/workbench/network_requests.h"
#include "kohonen/workbench/pc_analyzer_request.h"
#include "kohonen/workbench/preferences_request.h"
#include "kohonen/workbench/selector_request.h"
#include "tests/support/test_support.h"

namespace {

using platform::IDCANCEL;
using platform::IDOK;

std::vector<std::string> names(int n) {
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.push_back("col" + std::to_string(i));
  return v;
}

TEST(ColumnSelectionRequestTest, ListsStayInTableOrderAndButtonsFollowThem) {
  ColumnSelectionRequest r(names(5), ColumnChoice::initial(5));
  EXPECT_EQ(r.dialogTitle(), "Select relevant columns");
  EXPECT_EQ(r.available(), (std::vector<std::int32_t>{0, 1, 2, 3, 4}));
  EXPECT_TRUE(r.selected().empty());
  EXPECT_TRUE(r.canSelectAll());
  EXPECT_FALSE(r.canDeselectAll());
  EXPECT_FALSE(r.canNormalise());
  EXPECT_FALSE(r.canAccept());

  // Highlighted out of order, moved twice, or outside the table: the right list is still a
  // set in table order.
  r.select(std::vector<std::int32_t>{3, 1, 3, 9, -1});
  EXPECT_EQ(r.selected(), (std::vector<std::int32_t>{1, 3}));
  EXPECT_EQ(r.available(), (std::vector<std::int32_t>{0, 2, 4}));
  EXPECT_TRUE(r.canAccept());
  r.selectAll();
  EXPECT_FALSE(r.canSelectAll());
  EXPECT_EQ(r.selected().size(), 5u);
  r.deselect(std::vector<std::int32_t>{4, 0});
  EXPECT_EQ(r.selected(), (std::vector<std::int32_t>{1, 2, 3}));
  r.deselectAll();
  EXPECT_FALSE(r.canAccept());
}

TEST(ColumnSelectionRequestTest, StartsFromAPreviousChoiceThatFitsTheTable) {
  ColumnChoice previous = ColumnChoice::initial(4);
  previous.selected = {0, 2};
  previous.kinds[2] = NormalisationKind::Tanh;
  previous.extractComponents = true;
  EXPECT_EQ(ColumnSelectionRequest(names(4), previous).choice(), previous);
  // A choice made for another table is replaced by the initial one.
  EXPECT_EQ(ColumnSelectionRequest(names(2), previous).choice(), ColumnChoice::initial(2));
  previous.selected = {2, 0};
  EXPECT_EQ(ColumnSelectionRequest(names(4), previous).choice(), ColumnChoice::initial(4));
}

class NormaliseCommandTest : public lumivane::test::PromptedTest {};

TEST_F(NormaliseCommandTest, EveryButtonGivesItsKindToEveryColumnAndCancelChangesNothing) {
  const NormalisationKind expected[] = {NormalisationKind::None, NormalisationKind::MeanVariance,
                                        NormalisationKind::MinMax, NormalisationKind::Tanh};
  ColumnSelectionRequest r(names(3), ColumnChoice::initial(3));
  r.select(std::vector<std::int32_t>{1});
  for (int button = 3; button >= 0; --button) {
    prompter.answerModal([button](platform::ModalDialog& d) {
      auto& n = dynamic_cast<NormalisationRequest&>(d);
      EXPECT_EQ(n.dialogTitle(), "Inputs normalization");
      EXPECT_EQ(n.button, 0);  // "Leave data unnormalized" when it opens
      n.button = button;
      return IDOK;
    });
    r.normaliseCommand();
    EXPECT_EQ(r.choice().kinds, std::vector<NormalisationKind>(3, expected[button])) << button;
  }
  r.setKindForAll(NormalisationKind::Tanh);
  prompter.answerModal([](platform::ModalDialog& d) {
    dynamic_cast<NormalisationRequest&>(d).button = 1;
    return IDCANCEL;
  });
  r.normaliseCommand();
  EXPECT_EQ(r.choice().kinds, std::vector<NormalisationKind>(3, NormalisationKind::Tanh));
  // Without a selected column "Normalize..." is disabled.
  r.deselectAll();
  r.normaliseCommand();
  EXPECT_EQ(prompter.calls().size(), 5u);
}

RealMatrix column(std::vector<double> v) {
  RealMatrix m(static_cast<std::int32_t>(v.size()), 1);
  for (std::size_t i = 0; i < v.size(); ++i) m(static_cast<std::int32_t>(i), 0) = v[i];
  return m;
}

TEST(PcAnalyzerRequestTest, PreselectsNinetyPercentAndKeepsEverythingWithoutVariance) {
  // 3.75 is the first running sum to reach 0.9 · 4 = 3.6: three components, entry 2.
  PcAnalyzerRequest r(column({2.0, 1.0, 0.75, 0.25}));
  EXPECT_EQ(r.cumulative(), (std::vector<double>{2.0, 3.0, 3.75, 4.0}));
  EXPECT_EQ(r.selectedEntry, 2);
  EXPECT_EQ(r.componentsToKeep(), 3);
  // Just short of 90 %: one more component.
  EXPECT_EQ(PcAnalyzerRequest(column({2.0, 1.0, 0.5, 0.5})).selectedEntry, 3);
  r.selectedEntry = 0;
  EXPECT_EQ(r.componentsToKeep(), 1);
  r.selectedEntry = 7;  // outside the list: nothing chosen
  EXPECT_EQ(r.componentsToKeep(), 4);

  PcAnalyzerRequest flat(column({0.0, 0.0, 0.0}));
  EXPECT_FALSE(flat.selectedEntry.has_value());
  EXPECT_EQ(flat.componentsToKeep(), 3);
}

TEST(PcCurveGeometryTest, TwoComponentsAtKnownPixels) {
  const PcCurveGeometry g = pcCurveGeometry({3.0, 4.0}, 0, 230, 140);
  EXPECT_EQ((std::array{g.left, g.top, g.right, g.bottom}), (std::array{30, 10, 220, 110}));
  EXPECT_EQ(g.curve, (std::vector<PixelPoint>{{30, 35}, {220, 10}}));
  ASSERT_TRUE(g.marker);
  EXPECT_EQ(g.markerPath,
            (std::array<PixelPoint, 3>{PixelPoint{30, 35}, PixelPoint{30, 35}, PixelPoint{30, 110}}));
  EXPECT_EQ(g.gridX, (std::array{77, 125, 172}));
  EXPECT_EQ(g.gridY, (std::array{35, 60, 85}));
  EXPECT_EQ(g.componentsLabel, (PixelPoint{50, 120}));
  EXPECT_EQ(g.countLabel, (PixelPoint{190, 120}));
  EXPECT_EQ(g.informationLabel, (PixelPoint{5, 90}));
  EXPECT_EQ(g.fullLabel, (PixelPoint{5, 50}));
}

TEST(PcCurveGeometryTest, FourComponentsTruncateEveryDivision) {
  const PcCurveGeometry g = pcCurveGeometry({2.0, 3.0, 3.5, 4.0}, 2, 330, 230);
  // W = 290, H = 190: x = 30 + 290·i / 3, y = 200 − ⌊190·Sₖ / 4⌋.
  EXPECT_EQ(g.curve, (std::vector<PixelPoint>{{30, 105}, {126, 58}, {223, 34}, {320, 10}}));
  EXPECT_EQ(g.markerPath,
            (std::array<PixelPoint, 3>{PixelPoint{30, 34}, PixelPoint{223, 34}, PixelPoint{223, 200}}));
  // No selection: the curve without its marker.
  EXPECT_FALSE(pcCurveGeometry({2.0, 3.0, 3.5, 4.0}, std::nullopt, 330, 230).marker);
}

TEST(PcCurveGeometryTest, WithoutVarianceThereIsNeitherCurveNorMarker) {
  const PcCurveGeometry g = pcCurveGeometry({0.0, 0.0, 0.0}, 1, 200, 100);
  EXPECT_TRUE(g.curve.empty());
  EXPECT_FALSE(g.marker);
  EXPECT_TRUE(pcCurveGeometry({}, std::nullopt, 200, 100).curve.empty());
}

TEST(PreferencesRequestTest, SwatchStripesCoverTheWidth) {
  // k stripes of a 100-pixel swatch: stripe i is drawn from ⌊i·100 / k⌋; the last pixel and
  // beyond are still k − 1.
  EXPECT_EQ(PreferencesRequest::stripeAt(0, 100, 3), 0);
  EXPECT_EQ(PreferencesRequest::stripeAt(32, 100, 3), 0);
  EXPECT_EQ(PreferencesRequest::stripeAt(33, 100, 3), 1);
  EXPECT_EQ(PreferencesRequest::stripeAt(66, 100, 3), 2);
  EXPECT_EQ(PreferencesRequest::stripeAt(99, 100, 3), 2);
  EXPECT_EQ(PreferencesRequest::stripeAt(100, 100, 3), 2);
  EXPECT_EQ(PreferencesRequest::stripeLeft(1, 100, 3), 33);
  // Where width is no multiple of k the first pixel of a stripe belongs to it, as drawn:
  // pixel 13 of a 97-pixel swatch of 7 starts stripe 1 (⌊97 / 7⌋ = 13), though ⌊13·7 / 97⌋ = 0.
  EXPECT_EQ(PreferencesRequest::stripeAt(13, 97, 7), 1);
  EXPECT_EQ(PreferencesRequest::stripeAt(12, 97, 7), 0);
  for (int x = 0; x < 97; ++x) {
    const std::int32_t s = PreferencesRequest::stripeAt(x, 97, 7);
    EXPECT_GE(x, PreferencesRequest::stripeLeft(s, 97, 7)) << x;
    EXPECT_LT(x, PreferencesRequest::stripeLeft(s + 1, 97, 7)) << x;
  }
}

class PreferencesRequestPromptTest : public lumivane::test::PromptedTest {};

TEST_F(PreferencesRequestPromptTest, ColourPickedOnlyOnOkAndOnlyInTheWorkingCopy) {
  int applied = 0;
  PreferencesRequest r(TrainingSettings{}, PaletteTable{},
                       [&](const TrainingSettings&, const PaletteTable&) { ++applied; });
  EXPECT_EQ(r.dialogTitle(), "Program preferences");
  prompter.answerColour(std::nullopt);
  EXPECT_FALSE(r.pickColour(10, 100));
  EXPECT_FALSE(r.modified());
  EXPECT_FALSE(r.pickColour(100, 100));  // outside the swatch: no dialog
  r.setColourCount(11);                  // not offered: stays at 2
  EXPECT_EQ(r.colourCount(), 2);
  prompter.answerColour(platform::Rgb{1, 2, 3});
  EXPECT_TRUE(r.pickColour(99, 100));
  EXPECT_EQ(r.palette().colour(2, 1), (platform::Rgb{1, 2, 3}));
  EXPECT_TRUE(r.coloursModified());
  EXPECT_FALSE(r.trainingModified());
  EXPECT_EQ(applied, 0);
  EXPECT_TRUE(r.apply());
  EXPECT_EQ(applied, 1);
}

TEST(NetworkRequestsTest, SizesAndMapChoices) {
  EXPECT_FALSE(NetworkSizeRequest(1, 255).problem());
  EXPECT_EQ(NetworkSizeRequest(0, 10).problem().value_or(""), "Please enter an integer between 1 and 255.");
  EXPECT_TRUE(NetworkSizeRequest(10, 256).problem());

  NewMapRequest m(names(3));
  EXPECT_EQ(m.mode(), MapMode::Average);
  EXPECT_EQ(m.featureColumn, 0);
  EXPECT_EQ(m.colourCount, 2);
  m.colourCount = 10;
  EXPECT_TRUE(m.valid());
  m.setMode(MapMode::Existence);
  EXPECT_EQ(m.colourCount, 2);
  EXPECT_FALSE(m.colourCountEnabled());
  m.setMode(MapMode::Average);
  EXPECT_TRUE(m.colourCountEnabled());
  m.colourCount = 11;
  EXPECT_FALSE(m.valid());
  m.colourCount = 3;
  m.featureColumn = 3;
  EXPECT_FALSE(m.valid());
}

}  // namespace
