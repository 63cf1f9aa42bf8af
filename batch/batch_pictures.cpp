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

namespace batch {
namespace {

// The size pictures are drawn at, as a window of the tools opens.
constexpr int kPictureWidth = 640;
constexpr int kPictureHeight = 480;

using Painter = std::function<void(QPaintDevice&)>;

std::string lowerExtension(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// Draws into an image (PNG) or an SVG document in memory, then writes the file in one piece.
bool savePicture(const Painter& paint, const std::string& path, std::string& problem) {
  const std::string ext = lowerExtension(path);
  QByteArray bytes;
  if (ext == ".png") {
    QImage image(kPictureWidth, kPictureHeight, QImage::Format_RGB32);
    image.fill(Qt::white);
    paint(image);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
      problem = "the PNG could not be encoded";
      return false;
    }
  } else if (ext == ".svg") {
    QBuffer buffer(&bytes);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(QSize(kPictureWidth, kPictureHeight));
    svg.setViewBox(QRect(0, 0, kPictureWidth, kPictureHeight));
    paint(svg);
  } else {
    problem = "a picture file ends in .png or .svg";
    return false;
  }
  if (!writeFileAtomically(path, [&](std::ostream& out) { out.write(bytes.constData(), bytes.size()); })) {
    problem = "the file could not be written";
    return false;
  }
  return true;
}

}  // namespace

bool saveVantorPicture(VantorSession&, VantorPicture, const std::string&, std::string& problem) {
  problem = "pictures of Vantor's graphs are not available in this build";
  return false;
}

bool savePcCurvePicture(const std::vector<double>& cumulative, std::optional<std::int32_t> selected,
                        const std::string& path, std::string& problem) {
#ifdef LUMIVANE_BATCH_PC_CURVE
  return savePicture([&](QPaintDevice& device) { renderPcCurve(device, cumulative, selected); }, path,
                     problem);
#else
  (void)cumulative;
  (void)selected;
  (void)path;
  (void)savePicture;
  problem = "the principal-component curve is not available in this build";
  return false;
#endif
}

bool saveMapPicture(const MapPicture&, const std::string&, std::string& problem) {
  problem = "map pictures are not available in this build";
  return false;
}

}  // namespace batch
