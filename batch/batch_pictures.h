#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class VantorSession;
struct MapPicture;

// Pictures of the tools' graphs written to files through the windows' own renderers: PNG or
// SVG, chosen by the file's extension, each written only once complete. A picture whose
// renderer is not part of this build is refused with a reason.
namespace batch {

enum class VantorPicture { ErrorHistory, ScatteringDiagram, NetworkAnswers, Significance };

// output: 0-based, for the scattering diagram, the answers and the significance chart.
bool saveVantorPicture(VantorSession& session, VantorPicture picture, int output, const std::string& path,
                       std::string& problem);
// The "PC Analyzer" curve: the running sums of the eigenvalues and the selected entry.
bool savePcCurvePicture(const std::vector<double>& cumulative, std::optional<std::int32_t> selected,
                        const std::string& path, std::string& problem);
// The map window's options: cell names, U-matrix bands instead of cell sizes, neither, the legend.
struct MapPictureOptions {
  bool names = false;
  bool uMatrix = false;
  bool plain = false;
  bool legend = false;
};
bool saveMapPicture(const MapPicture& picture, const MapPictureOptions& options, const std::string& path,
                    std::string& problem);

}  // namespace batch
