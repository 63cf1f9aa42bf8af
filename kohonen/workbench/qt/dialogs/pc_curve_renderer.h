#pragma once

#include <QImage>
#include <QSize>
#include <cstdint>
#include <optional>
#include <vector>

class QPaintDevice;

// The picture of the "PC Analyzer": the information curve through the running sums of the
// eigenvalues, the marker of the selected entry, the frame, the grid and the labels, laid out by
// pcCurveGeometry for the device's size. Without a positive total variance the picture has
// neither curve nor marker.

// Paints over the whole of device (a widget, an image, a printer).
void renderPcCurve(QPaintDevice& device, const std::vector<double>& cumulative,
                   std::optional<std::int32_t> selected);

// The picture as an image of the given size, as the dialog caches it.
QImage pcCurveImage(QSize size, const std::vector<double>& cumulative, std::optional<std::int32_t> selected);
