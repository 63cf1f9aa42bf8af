#include "batch/batch_pictures.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <filesystem>
#include <functional>

#include "shared/binary_io.h"

#ifdef LUMIVANE_BATCH_PC_CURVE
#include "kohonen/workbench/qt/dialogs/pc_curve_renderer.h"
#endif
#ifdef LUMIVANE_BATCH_MAPS
#include "kohonen/workbench/qt/maps/map_renderer.h"
#endif
#ifdef LUMIVANE_BATCH_VANTOR_GRAPHS
#include "mlp/workbench/graphs/network_snapshot.h"
#include "mlp/workbench/qt/graphs/graph_renderers.h"
#include "mlp/workbench/vantor_session.h"
#endif

namespace batch {
namespace {

// The size pictures are drawn at, about that of a tool's window when it opens.
constexpr int kPictureWidth = 640;
constexpr int kPictureHeight = 480;
// The screen the error viewer's layout is measured against (it sizes its strips in per cents of
// the screen).
constexpr int kScreenWidth = 1280;
constexpr int kScreenHeight = 1024;

// Draws a whole picture on a device; the QPainter-based renderers go through onPainter.
using Painter = std::function<void(QPaintDevice&)>;

template <class Draw>
Painter onPainter(Draw draw) {
  return [draw](QPaintDevice& device) {
    QPainter painter(&device);
    draw(painter);
  };
}

std::string lowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool writeBytes(const std::string& path, const QByteArray& bytes, std::string& problem) {
  if (!writeFileAtomically(path, [&](std::ostream& out) { out.write(bytes.constData(), bytes.size()); })) {
    problem = "the file could not be written";
    return false;
  }
  return true;
}

bool pngBytes(const QImage& image, QByteArray& bytes, std::string& problem) {
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (image.isNull() || !image.save(&buffer, "PNG")) {
    problem = "the PNG could not be encoded";
    return false;
  }
  return true;
}

bool knownExtension(const std::string& path, std::string& problem) {
  const std::string ext = lowerExtension(path);
  if (ext == ".png" || ext == ".svg") return true;
  problem = "a picture file ends in .png or .svg";
  return false;
}

// Draws into an image (PNG) or an SVG document in memory, then writes the file in one piece.
[[maybe_unused]] bool savePicture(const Painter& paint, const std::string& path, std::string& problem) {
  if (!knownExtension(path, problem)) return false;
  QByteArray bytes;
  if (lowerExtension(path) == ".png") {
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    paint(image);
    if (!pngBytes(image, bytes, problem)) return false;
  } else {
    QBuffer buffer(&bytes);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(kPictureWidth, kPictureHeight));
    svg.setViewBox(QRect(0, 0, kPictureWidth, kPictureHeight));
    paint(svg);
  }
  return writeBytes(path, bytes, problem);
}

}  // namespace

#ifdef LUMIVANE_BATCH_VANTOR_GRAPHS
bool saveVantorPicture(VantorSession& session, VantorPicture picture, int output, const std::string& path,
                       std::string& problem) {
  if (!knownExtension(path, problem)) return false;
  switch (picture) {
    case VantorPicture::ErrorHistory: {
      const std::vector<float> training = session.run().TrainingHistory();
      const std::vector<float> test = session.run().TestHistory();
      const int entries = static_cast<int>(std::min(training.size(), test.size()));
      if (entries == 0) {
        problem = "there is no error history";
        return false;
      }
      const ErrorViewerLayout layout =
          ErrorViewerLayout::compute(kScreenWidth, kScreenHeight, kPictureWidth, kPictureHeight);
      // The window of the linear axis that shows every epoch, and the y range grown over the
      // whole history, as the viewer's own updates grow it.
      ErrorViewerModel model;
      int window = ErrorViewerModel::kWindowChoices.back();
      for (int w : ErrorViewerModel::kWindowChoices)
        if (4LL * w >= entries - 1) {
          window = w;
          break;
        }
      model.setScales(false, false, window);
      model.advance(training.data(), test.data(), 0, entries - 1, layout.graph);
      model.beginFullPaint(entries - 1);
      return savePicture(onPainter([&](QPainter& p) {
                           renderErrorViewer(p, model, layout, training.data(), test.data(), entries);
                         }),
                         path, problem);
    }
    case VantorPicture::ScatteringDiagram: {
      const NetworkSnapshot snapshot = NetworkSnapshot::take(session.run());
      if (!snapshot.fits()) {
        problem = "no network that fits the data set";
        return false;
      }
      ScatterModel model;
      model.setOutput(output);
      const ScatterData data = collectScatterData(snapshot, model.output());
      const ScatterGeometry geometry = model.layout(data, kPictureWidth, kPictureHeight);
      return savePicture(onPainter([&](QPainter& p) { renderScatter(p, geometry); }), path, problem);
    }
    case VantorPicture::NetworkAnswers: {
      const NetworkSnapshot snapshot = NetworkSnapshot::take(session.run());
      const AnswersData data = collectAnswersData(snapshot);
      if (data.rows == 0) {
        problem = "no network that fits the data set";
        return false;
      }
      AnswersModel model(data.rows, data.outputs);
      model.setOutput(output);
      model.setLast(data.rows - 1);
      model.setColoring(true);
      const AnswersGeometry geometry = model.layout(data, kPictureWidth, kPictureHeight);
      return savePicture(onPainter([&](QPainter& p) { renderAnswers(p, geometry); }), path, problem);
    }
    case VantorPicture::Significance: {
      if (!session.lastBoxCounting()) {
        problem = "the significance chart needs --boxcount";
        return false;
      }
      SignificanceChartModel model = SignificanceChartModel::fromBoxCounter(*session.lastBoxCounting());
      model.setOutput(output);
      const SignificanceChartGeometry geometry = model.layout(kPictureWidth, kPictureHeight);
      return savePicture(onPainter([&](QPainter& p) { renderSignificanceChart(p, geometry); }), path,
                         problem);
    }
  }
  return false;
}
#else
bool saveVantorPicture(VantorSession&, VantorPicture, int, const std::string&, std::string& problem) {
  problem = "pictures of Vantor's graphs are not part of this build";
  return false;
}
#endif

bool savePcCurvePicture(const std::vector<double>& cumulative, std::optional<std::int32_t> selected,
                        const std::string& path, std::string& problem) {
#ifdef LUMIVANE_BATCH_PC_CURVE
  return savePicture([&](QPaintDevice& device) { renderPcCurve(device, cumulative, selected); }, path,
                     problem);
#else
  (void)cumulative;
  (void)selected;
  (void)path;
  problem = "the principal-component curve is not part of this build";
  return false;
#endif
}

#ifdef LUMIVANE_BATCH_MAPS
bool saveMapPicture(const MapPicture& picture, const MapPictureOptions& options, const std::string& path,
                    std::string& problem) {
  if (!knownExtension(path, problem)) return false;
  const MapScene scene(picture);
  MapViewOptions view;
  view.showNames = options.names;
  view.uMatrix = options.uMatrix;
  view.cellSize = !options.uMatrix && !options.plain;
  view.extraInfo = options.legend;
  const QSize size(kPictureWidth, kPictureHeight);
  QByteArray bytes;
  if (lowerExtension(path) == ".png") {
    if (!pngBytes(renderMapImage(scene, view, size), bytes, problem)) return false;
  } else {
    bytes = renderMapSvg(scene, view, size, QString::fromStdString(picture.title));
    if (bytes.isEmpty()) {
      problem = "the SVG could not be generated";
      return false;
    }
  }
  return writeBytes(path, bytes, problem);
}
#else
bool saveMapPicture(const MapPicture&, const MapPictureOptions&, const std::string&, std::string& problem) {
  problem = "map pictures are not part of this build";
  return false;
}
#endif

}  // namespace batch
