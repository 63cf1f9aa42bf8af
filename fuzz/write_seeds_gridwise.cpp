// Seeds of the Gridwise harnesses: projects and data-set blocks written by our own writers.
#include <sstream>
#include <vector>

#include "fuzz/write_seeds.h"
#include "kohonen/engine/gridwise_project.h"
#include "shared/gridwise_data_set.h"

void gridwiseProjects(const RawTable& table) {
  const NormalisationKind kinds[] = {NormalisationKind::MinMax, NormalisationKind::MeanVariance,
                                     NormalisationKind::Tanh, NormalisationKind::None,
                                     NormalisationKind::Uniform};
  for (int columns = 1; columns <= 5; columns += 2) {
    GridwiseDataSet dataSet(table);
    std::vector<std::int32_t> chosen;
    for (int c = 0; c < columns; ++c) chosen.push_back(c);
    dataSet.prepare(chosen, kinds);
    KohonenNet net(2, 3, columns);
    std::ostringstream project(std::ios::binary);
    writeProject(project, dataSet, net);
    seed("gridwise_project", project.str());
    std::ostringstream block(std::ios::binary);
    dataSet.writeBlock(block);
    seed("data_sets", std::string(1, '\1') + block.str());
  }
}
