#pragma once

#include <QImage>

#include "kohonen/workbench/qt/maps/map_layout.h"
#include "kohonen/workbench/qt/maps/map_renderer.h"

// The cells of a map picture written straight into the pixels of a 32-bit image: the same
// figures the painter draws (background, filled and outlined rectangles, diagonals, bands,
// names from glyphs laid out once per font size), without a painter call per figure, so that
// a map of 65,025 cells renders in a few milliseconds. image must be Format_RGB32 or one of
// the two ARGB32 formats; figures outside it are clipped.
void rasteriseCells(QImage& image, const MapScene& scene, const MapViewOptions& options,
                    const MapLayout& layout);

// The formats rasteriseCells writes.
bool rasterisable(const QImage& image);
