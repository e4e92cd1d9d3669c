#pragma once
// Registration from a printed marker: the user prints the marker sheet at
// real size, lays a marker flat beside the product and photographs both;
// each marker found becomes one registration along its outer side, with
// the length the user printed it at. No Qt, no document: the authoring
// tool, the folder batch and kvitool share it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/core/image/dib_image.h"
#include "kvi/size_registration.h"

namespace kv::authoring {

// The marker family the sheet prints and the detector looks for.
inline constexpr const char* kMarkerFamily = "tag36h11";
// The printed side of the black square, in millimetres, unless the user
// says otherwise.
inline constexpr int32_t kDefaultMarkerMm = 50;
inline constexpr int32_t kMinMarkerMm = 10;
inline constexpr int32_t kMaxMarkerMm = 150;
// Below this many photo pixels a side, the whole-pixel ends of the stored
// registration alone may be off by more than a few tenths of a percent.
inline constexpr double kMarkerMinSidePx = 200;
// A marker seen at a slant is a trapezium: more than this between its
// longest and shortest side and the scale depends on where one measures.
inline constexpr double kMarkerMaxSideSpread = 0.03;

struct DetectedMarker {
  int id = 0;
  // Sub-pixel corners of the black square's outer edge, going round it, in
  // pixels of the upright photo (pixel (x, y) covers [x, x + 1)).
  double x[4] = {}, y[4] = {};
  double Side(int i) const;  // from corner i to corner i + 1
  double MeanSide() const;
  // (longest - shortest) / shortest
  double SideSpread() const;
};

// Owns the library's detector and its decoding tables (made once, in some
// tens of milliseconds); it works on the calling thread, one per thread.
class MarkerDetector {
 public:
  MarkerDetector();
  ~MarkerDetector();
  MarkerDetector(const MarkerDetector&) = delete;
  MarkerDetector& operator=(const MarkerDetector&) = delete;

  // Every marker of the family in the upright photo, in the order of
  // their ids, then their position.
  std::vector<DetectedMarker> Detect(const DibImage& upright);

 private:
  struct Library;
  std::unique_ptr<Library> lib_;
};

// One registration per marker, or the reason (Japanese, for the user)
// why the photo cannot be registered from its markers: none found, one too
// small (with how much closer to come), one seen at a slant.
struct MarkerOutcome {
  RegistrationList registrations;
  std::string refusal;
  bool Ok() const { return refusal.empty(); }
};
MarkerOutcome RegistrationsFromMarkers(const std::vector<DetectedMarker>& markers, int32_t sizeMm);

// The registration for one marker: along the side whose length is nearest
// the mean of the four, its ends rounded to the nearest photo pixel.
SizeRegistration MarkerRegistration(const DetectedMarker& m, int32_t sizeMm);

// The size the user types, checked: "" when it can be used.
std::string CheckMarkerSize(int32_t sizeMm);

}  // namespace kv::authoring
