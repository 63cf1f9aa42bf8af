#pragma once

// Stands in for the graph windows in the page suites: VantorGraphs whose commands are counted.
namespace lumivane::test {

struct GraphCalls {
  int errorViewer = 0;
  int scatteringDiagram = 0;
  int networkAnswers = 0;
  int boxcounting = 0;
  int closeAll = 0;
};

// The calls made on every VantorGraphs of this process since the last reset.
GraphCalls& graphCalls();

}  // namespace lumivane::test
