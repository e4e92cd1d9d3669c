#include "viewer/model/scale_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kv::viewer {
namespace {

int32_t Clamp64(int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max()));
}

double ClampScale(double scale) { return std::clamp(scale, kMinScale, kMaxScale); }

// One axis of the placement: the visible part centred on c, then kept
// inside the photo; a visible part wider than the photo starts at 0.
int32_t PlaceAxis(int64_t c, int32_t visible, int32_t photo) {
  if (visible > photo) return 0;
  int64_t origin = c - visible / 2;
  if (origin + visible >= photo) origin = int64_t(photo) - visible;
  if (origin < 0) origin = 0;
  return Clamp64(origin);
}

int32_t ClampAxis(int32_t origin, int32_t visible, int32_t photo) {
  if (visible >= photo) return 0;
  return std::clamp(origin, 0, photo - visible);
}

}  // namespace

int32_t TruncToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
  return int32_t(value);  // truncates toward zero
}

bool IsUsableScale(double scale) { return std::isfinite(scale) && scale > 0.0; }

double FitScale(int32_t photoWidth, int32_t photoHeight, int32_t clientWidth,
                int32_t clientHeight) {
  if (photoWidth <= 0 || photoHeight <= 0 || clientWidth <= 0 || clientHeight <= 0) return 1.0;
  const double rw = double(photoWidth) / double(clientWidth);
  const double rh = double(photoHeight) / double(clientHeight);
  const double r = rw > rh ? rw : rh;  // equal ratios take the height's
  return ClampScale(1.0 / r);
}

std::optional<double> ZoomInStep(double zoom) {
  for (double z : kZoomTable)
    if (z > zoom) return z;
  return std::nullopt;
}

std::optional<double> ZoomOutStep(double zoom) {
  for (auto it = kZoomTable.rbegin(); it != kZoomTable.rend(); ++it)
    if (*it < zoom) return *it;
  return std::nullopt;
}

void ViewScale::UpdateVisibleSize() {
  if (!HasScale()) return;
  visibleWidth = std::max(0, TruncToInt(clientWidth / zoom));
  visibleHeight = std::max(0, TruncToInt(clientHeight / zoom));
}

void ViewScale::PlaceCentredOn(int32_t cx, int32_t cy) {
  UpdateVisibleSize();
  originX = PlaceAxis(cx, visibleWidth, photoWidth);
  originY = PlaceAxis(cy, visibleHeight, photoHeight);
}

namespace {

double CentreAxis(int32_t client, int32_t offset, double zoom, int32_t origin, int32_t visible,
                  int32_t photo) {
  const double p = IsUsableScale(zoom) ? (client / 2.0 - offset) / zoom + origin
                                       : origin + visible / 2;
  return photo > 0 ? std::clamp(p, 0.0, double(photo)) : p;
}

int32_t PlaceAxisAt(double p, int32_t client, double zoom, int32_t visible, int32_t photo) {
  if (visible > photo) return 0;
  const double origin = std::round(p - client / (2.0 * zoom));
  return int32_t(std::clamp(origin, 0.0, double(photo - visible)));
}

}  // namespace

double ViewScale::WindowCentrePhotoX() const {
  return CentreAxis(clientWidth, offsetX, zoom, originX, visibleWidth, photoWidth);
}
double ViewScale::WindowCentrePhotoY() const {
  return CentreAxis(clientHeight, offsetY, zoom, originY, visibleHeight, photoHeight);
}

void ViewScale::PlaceWindowCentreOn(double px, double py) {
  UpdateVisibleSize();
  if (!HasScale() || !std::isfinite(px) || !std::isfinite(py)) return ClampOrigin();
  originX = PlaceAxisAt(px, clientWidth, zoom, visibleWidth, photoWidth);
  originY = PlaceAxisAt(py, clientHeight, zoom, visibleHeight, photoHeight);
}

void ViewScale::ClampOrigin() {
  originX = ClampAxis(originX, visibleWidth, photoWidth);
  originY = ClampAxis(originY, visibleHeight, photoHeight);
}

void ViewScale::ComputeOffsets() {
  offsetX = offsetY = 0;
  if (!HasScale()) return;
  const int32_t scaledWidth = TruncToInt(photoWidth * zoom);
  const int32_t scaledHeight = TruncToInt(photoHeight * zoom);
  if (scaledWidth < clientWidth) offsetX = (clientWidth - scaledWidth) / 2;
  if (scaledHeight < clientHeight) offsetY = (clientHeight - scaledHeight) / 2;
}

int32_t ViewScale::PhotoX(int32_t clientX) const {
  if (!HasScale()) return originX;
  return TruncToInt((double(clientX) - offsetX) / zoom + originX);
}
int32_t ViewScale::PhotoY(int32_t clientY) const {
  if (!HasScale()) return originY;
  return TruncToInt((double(clientY) - offsetY) / zoom + originY);
}
int32_t ViewScale::ClientX(int32_t photoX) const {
  const double z = HasScale() ? zoom : 1.0;
  return Clamp64(int64_t(TruncToInt((double(photoX) - originX) * z)) + offsetX);
}
int32_t ViewScale::ClientY(int32_t photoY) const {
  const double z = HasScale() ? zoom : 1.0;
  return Clamp64(int64_t(TruncToInt((double(photoY) - originY) * z)) + offsetY);
}

RealSizeOutcome ComputeRealSize(ViewScale& s, const RegistrationList& registrations,
                                int32_t currentPoint, const DisplayCalibration& calibration,
                                std::optional<double> estimatedMmPerPixel) {
  const int32_t keepX = s.CentreX();
  const int32_t keepY = s.CentreY();
  auto fallBack = [&](RealSizeOutcome why) {
    s.realSizeZoom = s.zoom = 1.0;
    s.PlaceCentredOn(keepX, keepY);
    return why;
  };
  if (currentPoint < 0 || size_t(currentPoint) >= registrations.size())
    return fallBack(RealSizeOutcome::NoPoint);
  const SizeRegistration& r = registrations[size_t(currentPoint)];
  // A monitor nobody calibrated is taken at its own word, or failing that
  // at the one density the program assumes: never at the defaults' 0.7 mm.
  const std::optional<double> screenMm =
      !IsUncalibrated(calibration) ? ScreenMillimetresPerPixel(calibration)
      : estimatedMmPerPixel && *estimatedMmPerPixel > 0
          ? estimatedMmPerPixel
          : std::optional<double>(FallbackMmPerDevicePixel(1.0));
  if (screenMm) s.mmPerScreenPixel = *screenMm;
  const std::optional<double> photoMm = MmPerPhotoPixel(r);
  if (!photoMm) return fallBack(RealSizeOutcome::DegenerateRegistration);
  if (!screenMm) return fallBack(RealSizeOutcome::BadCalibration);
  s.mmPerImagePixel = *photoMm;
  const double z = s.mmPerImagePixel / s.mmPerScreenPixel;
  if (!IsUsableScale(z)) return fallBack(RealSizeOutcome::DegenerateRegistration);
  s.realSizeZoom = s.zoom = ClampScale(z);
  s.PlaceCentredOn(r.centerX, r.centerY);
  return RealSizeOutcome::Ok;
}

int32_t StepPointIndex(int32_t current, int32_t direction, size_t count) {
  const int64_t n = int64_t(std::min<size_t>(count, size_t(std::numeric_limits<int32_t>::max())));
  if (n == 0) return direction < 0 ? -1 : 0;
  int64_t next = int64_t(current) + (direction < 0 ? -1 : 1);
  // An index left over from another photo's list starts over at its end.
  if (current < 0 || current >= n) next = direction < 0 ? n - 1 : 0;
  if (next < 0) next = n - 1;
  if (next >= n) next = 0;
  return int32_t(next);
}

}  // namespace kv::viewer
