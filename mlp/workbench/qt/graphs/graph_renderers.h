#pragma once

#include <QColor>
#include <QSize>

#include "mlp/workbench/graphs/answers_model.h"
#include "mlp/workbench/graphs/error_viewer_model.h"
#include "mlp/workbench/graphs/scatter_model.h"
#include "mlp/workbench/graphs/significance_chart_model.h"

class QPainter;

// One renderer per picture. Each draws on any paint device through the painter it is given (the
// windows' cached images, PNG and SVG files, the batch mode), with whole-pixel coordinates and
// no antialiasing, so the same model gives the same pixels everywhere.
namespace graph_colours {
inline const QColor kFrame{0, 100, 0};       // the error viewer's thick frame
inline const QColor kTraining{0, 0, 255};    // training error, training examples
inline const QColor kTest{255, 0, 0};        // test error, test examples
inline const QColor kDiagonal{255, 255, 0};  // the scattering diagram's perfect answers
inline const QColor kRealData{255, 128, 0};  // the answers view's targets
inline const QColor kAnswer{0, 200, 0};      // the answers view's network answers
inline const QColor kBar{70, 110, 200};      // significance bars
inline const QColor kStrip{232, 232, 232};   // the significance chart's left strip
inline const QColor kBackground{255, 255, 255};
}  // namespace graph_colours

// The error viewer's texts drawn in its header strip (the controls lie over the rest of it).
inline constexpr const char* kYScaleText = "Y Scale:";
inline constexpr const char* kXScaleText = "X Scale:";
inline constexpr const char* kMinCaption = "min";
inline constexpr const char* kMaxCaption = "max";
inline constexpr const char* kTrainingLegend = "train.";
inline constexpr const char* kTestLegend = "gener.";

// The whole error viewer: background, header texts and legends, frame, graph rectangle, axes
// with their labels and grid, and both curves up to the model's painted count. The histories
// hold `entries` errors each (epochs 0 … entries − 1).
void renderErrorViewer(QPainter& painter, const ErrorViewerModel& model, const ErrorViewerLayout& layout,
                       const float* trainingErrors, const float* testErrors, int entries);
// The new segments of an incremental update, clipped to the graph.
void drawErrorSegments(QPainter& painter, const ErrorViewerUpdate& update, const GraphRect& graph);

void renderScatter(QPainter& painter, const ScatterGeometry& geometry);
void renderAnswers(QPainter& painter, const AnswersGeometry& geometry);
void renderSignificanceChart(QPainter& painter, const SignificanceChartGeometry& geometry);
