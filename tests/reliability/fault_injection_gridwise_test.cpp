// Gridwise projects saved with their save cut short at every byte keep the previous file.
#include "kohonen/engine/gridwise_project.h"
#include "shared/gridwise_data_set.h"
#include "tests/reliability/fault_injection.h"

using namespace reliability;

TEST(FaultInjection, GridwiseProjectSavesCutAtAnyByteKeepThePreviousFile) {
  const RawTable table = smallTable();
  GridwiseDataSet mapData(table);
  const std::int32_t chosen[] = {0, 1, 2};
  const NormalisationKind kinds[] = {NormalisationKind::MinMax, NormalisationKind::None,
                                     NormalisationKind::MeanVariance};
  mapData.prepare(chosen, kinds);
  const KohonenNet smallMap(2, 2, 3);
  const KohonenNet largeMap(4, 5, 3);
  expectEveryCutKeepsPrevious([&](const fs::path& p) { return saveProject(p, mapData, smallMap).ok(); },
                              [&](const fs::path& p) { return saveProject(p, mapData, largeMap).ok(); },
                              "map.gwp");
}
