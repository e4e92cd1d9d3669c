#pragma once
// Measuring distances on the photo. A registration says how many
// millimetres one photo pixel covers; a segment dragged out on the photo is
// that many millimetres per pixel long, whatever the scale it is shown at.
// Points are kept in photo pixels (fractions allowed, so a measurement made
// at a high scale keeps its precision) and only mapped to the client area
// for drawing. Nothing here reads or writes a file.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kvi/size_registration.h"
#include "platform/color.h"
#include "viewer/model/scale_model.h"

namespace kv::viewer {

// Orange with a white rim: apart from the magenta and grey of the guides
// and the pale blue of the calibration marks.
inline constexpr platform::ColorRef kMeasureColor = platform::Rgb(255, 110, 0);
// How close (logical pixels) the pointer must come to a registration's end
// point to land exactly on it.
inline constexpr int32_t kMeasureSnapRadius = 6;

struct PhotoPointF {
  double x = 0.0, y = 0.0;
  bool operator==(const PhotoPointF&) const = default;
};

// The scale measurements are read with: the current real-size point's
// registration, or pixels only and why.
struct MeasureScale {
  enum class Source {
    Registration,     // mmPerPixel from registrations[index]
    NoRegistrations,  // the photo has none
    NoCurrentPoint,   // it has some, but none is the current point
    Unusable,         // the current point's registration gives no scale
  };
  Source source = Source::NoRegistrations;
  int32_t index = -1;
  int32_t lengthMm = 0;
  double mmPerPixel = 0.0;
  bool HasMillimetres() const { return source == Source::Registration; }
  bool operator==(const MeasureScale&) const = default;
};
MeasureScale MeasureScaleFor(const RegistrationList& registrations, int32_t currentPoint);

struct Measurement {
  PhotoPointF from, to;
  double Pixels() const;
  // None when the scale is pixels only.
  std::optional<double> Millimetres(const MeasureScale& scale) const;
  bool operator==(const Measurement&) const = default;
};

// "150.0 mm (300 px)", or "300 px" without a scale; also what Ctrl+C copies.
std::string MeasureCaption(const Measurement& m, const MeasureScale& scale);
// The status bar's word on the scale in use.
std::string MeasureScaleText(const MeasureScale& scale);

// The photo point under the client device pixel (x, y), unrounded.
PhotoPointF PhotoPointAt(const ViewScale& s, int32_t x, int32_t y);
// Where a photo point is drawn, truncated as the guide lines are (an
// integral point lands on the very pixel of its guide's end).
int32_t MeasureClientX(const ViewScale& s, double photoX);
int32_t MeasureClientY(const ViewScale& s, double photoY);
// The end point of a registration drawn nearest to the client point, if it
// is within radius device pixels; ties go to the earlier in list order.
std::optional<PhotoPointF> SnapToRegistrationEnd(const RegistrationList& registrations,
                                                 const ViewScale& s, int32_t x, int32_t y,
                                                 double radius);

// The measurements on the photo on show and the one being dragged out.
class MeasureList {
 public:
  void Begin(PhotoPointF at);
  void MoveTo(PhotoPointF at);
  // Keeps the dragged segment unless it has no length (a click). True when kept.
  bool End(PhotoPointF at);
  void Cancel() { dragging_ = false; }
  void Clear();
  bool Dragging() const { return dragging_; }
  bool Empty() const { return done_.empty() && !dragging_; }
  const std::vector<Measurement>& Done() const { return done_; }
  // The segment being dragged out, if any.
  std::optional<Measurement> Pending() const;
  const Measurement* Last() const { return done_.empty() ? nullptr : &done_.back(); }

 private:
  std::vector<Measurement> done_;
  Measurement pending_;
  bool dragging_ = false;
};

// One measurement as the view draws it, in client device pixels.
struct MeasureLine {
  int32_t x1, y1, x2, y2;
  std::string caption;
  bool pending;  // still being dragged out
};
std::vector<MeasureLine> MeasureLines(const MeasureList& list, const ViewScale& s,
                                      const MeasureScale& scale);

// A caption's box in client device pixels.
struct LabelBox {
  double x = 0, y = 0, width = 0, height = 0;
  bool Overlaps(const LabelBox& o) const {
    return x < o.x + o.width && o.x < x + width && y < o.y + o.height && o.y < y + height;
  }
};

// Where each line's caption goes: beside its own line, at least `clearance`
// away from the pixels of every line (each `lineWidth` thick) and from the
// captions placed before it, inside the view of viewWidth x viewHeight
// where it fits. sizes[i] is caption i's width and height. Places near the
// middle are tried first, then further along the line and further out;
// when none is clear the least covered one is taken.
std::vector<LabelBox> PlaceMeasureLabels(const std::vector<MeasureLine>& lines,
                                         const std::vector<std::pair<double, double>>& sizes,
                                         double viewWidth, double viewHeight, double lineWidth,
                                         double clearance);
// Whether the segment (thickened by halfWidth each side) touches the box.
bool SegmentTouchesBox(double x1, double y1, double x2, double y2, double halfWidth,
                       const LabelBox& box);

}  // namespace kv::viewer
