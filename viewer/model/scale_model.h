#pragma once
// The viewer's scale model: how many device pixels one photo pixel covers,
// which part of the photo is visible and where it sits in the client area.
// Everything here counts device (physical) pixels of the view's client area,
// so that a scale of 1.0 puts one photo pixel on one pixel of the glass.
#include <array>
#include <cstdint>
#include <optional>

#include "kvi/size_registration.h"
#include "viewer/model/calibration.h"

namespace kv::viewer {

// The fixed scales of the zoom commands, ascending. 0.167 is meant, not 1/6.
inline constexpr std::array<double, 18> kZoomTable = {
    0.125, 0.167, 0.25, 0.5,  0.75, 1.0,  1.25, 1.5,  1.75,
    2.0,   2.25,  2.5,  2.75, 3.0,  3.25, 3.5,  3.75, 4.0};

// Limits every computed scale is kept within, so that sizes derived from it
// stay representable and the display never asks for a giant resample.
inline constexpr double kMinScale = 1.0 / 1024.0;
inline constexpr double kMaxScale = 1024.0;

// Truncates toward zero into the 32-bit range: NaN gives 0, values beyond
// the range saturate instead of being undefined.
int32_t TruncToInt(double value);

// True for a scale the view can use: finite and above 0.
bool IsUsableScale(double scale);

// 1 / max(photoW / clientW, photoH / clientH); 1.0 when the photo or the
// client has no size.
double FitScale(int32_t photoWidth, int32_t photoHeight, int32_t clientWidth,
                int32_t clientHeight);

// The next table value above (below) the scale; none at the table's end.
std::optional<double> ZoomInStep(double zoom);
std::optional<double> ZoomOutStep(double zoom);

struct ViewScale {
  int32_t clientWidth = 0;
  int32_t clientHeight = 0;
  int32_t visibleWidth = 0;
  int32_t visibleHeight = 0;
  int32_t offsetX = 0;
  int32_t offsetY = 0;
  int32_t originX = 0;
  int32_t originY = 0;
  double realSizeZoom = 1.0;
  double zoom = 0.0;  // 0 until the first fit
  double mmPerImagePixel = 1.0;
  double mmPerScreenPixel = 1.0;
  int32_t photoWidth = 0;
  int32_t photoHeight = 0;

  bool HasScale() const { return IsUsableScale(zoom); }

  // Visible size from the client size and the scale; left alone while the
  // scale is not set yet (the first resize comes before it).
  void UpdateVisibleSize();
  // Visible size, then the origin placed so the visible part is centred on
  // the photo point as far as the photo allows.
  void PlaceCentredOn(int32_t cx, int32_t cy);
  // Keeps the origin inside the photo for the current visible size.
  void ClampOrigin();
  // Centring offsets of a scaled photo smaller than the client area.
  void ComputeOffsets();
  // (origin + visible / 2), taken before a scale change.
  int32_t CentreX() const { return originX + visibleWidth / 2; }
  int32_t CentreY() const { return originY + visibleHeight / 2; }

  // The photo point under the middle of the client area, in photo pixels
  // (not truncated), kept within the photo: what stays put when the
  // window's scale, size or screen changes, and what a printed page is
  // centred on.
  double WindowCentrePhotoX() const;
  double WindowCentrePhotoY() const;
  // Visible size, then the origin placed so that the photo point (px, py)
  // lies under the middle of the client area, as far as the photo allows.
  void PlaceWindowCentreOn(double px, double py);

  double Fit() const { return FitScale(photoWidth, photoHeight, clientWidth, clientHeight); }

  // Client point to photo point and back, truncating toward zero.
  int32_t PhotoX(int32_t clientX) const;
  int32_t PhotoY(int32_t clientY) const;
  int32_t ClientX(int32_t photoX) const;
  int32_t ClientY(int32_t photoY) const;
};

// Why the real-size scale fell back to 1.0, if it did.
enum class RealSizeOutcome { Ok, NoPoint, DegenerateRegistration, BadCalibration };

// The real-size scale of the registration at `currentPoint`: sets
// mmPerImagePixel, mmPerScreenPixel, realSizeZoom and zoom, and centres the
// visible part on the registration's centre. A missing or unusable point or
// calibration gives 1.0 about the current centre instead.
// estimatedMmPerPixel: the screen's own report, used instead of a
// calibration that was never made.
RealSizeOutcome ComputeRealSize(ViewScale& s, const RegistrationList& registrations,
                                int32_t currentPoint, const DisplayCalibration& calibration,
                                std::optional<double> estimatedMmPerPixel = std::nullopt);

// Steps the real-size point index: -1 walks toward the list's start, +1
// toward its end, both wrapping. With an empty list -1 gives -1 and +1 gives 0.
int32_t StepPointIndex(int32_t current, int32_t direction, size_t count);

}  // namespace kv::viewer
