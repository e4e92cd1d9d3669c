#pragma once
// Keeps the photo point at the view's centre, and the scale, through
// changes of the window's size that the user did not make by moving the
// photo (full screen and back, another screen's pixel ratio).
#include <cstdint>
#include <optional>

#include "viewer/model/scale_model.h"

namespace kv::viewer {

// The photo point at the centre of the client area, as the zoom commands
// take it (origin + visible / 2).
struct ViewCentre {
  int32_t x = 0, y = 0;
  bool operator==(const ViewCentre&) const = default;
};
ViewCentre CentreOf(const ViewScale& s);
// Places the visible part of the current scale on `centre`, as far as the
// photo allows (the rule of the zoom commands).
void PlaceOnCentre(ViewScale& s, ViewCentre centre);

class CentreKeeper {
 public:
  // Remembers the centre now. When the view has not moved since this keeper
  // last placed it, the centre held before stays: a larger window may have
  // clamped the view against the photo's edge, and the way back must come
  // back to where the user was, not to the clamped place.
  void Hold(const ViewScale& s);
  // After the client size changed: puts the held centre back in the middle.
  // False, and nothing held any more, when nothing was held or the user has
  // moved or zoomed the view since.
  bool Apply(ViewScale& s);
  bool Holding() const { return centre_.has_value(); }

 private:
  bool Unmoved(const ViewScale& s) const {
    return s.zoom == zoom_ && s.originX == originX_ && s.originY == originY_;
  }
  void Remember(const ViewScale& s) {
    zoom_ = s.zoom;
    originX_ = s.originX;
    originY_ = s.originY;
  }
  std::optional<ViewCentre> centre_;
  double zoom_ = 0.0;
  int32_t originX_ = 0, originY_ = 0;
};

}  // namespace kv::viewer
