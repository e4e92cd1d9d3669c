#include "viewer/model/centre_keeper.h"

namespace kv::viewer {

ViewCentre CentreOf(const ViewScale& s) { return {s.CentreX(), s.CentreY()}; }

void PlaceOnCentre(ViewScale& s, ViewCentre centre) {
  s.PlaceCentredOn(centre.x, centre.y);
  s.ComputeOffsets();
}

void CentreKeeper::Hold(const ViewScale& s) {
  if (!s.HasScale()) return;
  if (centre_ && Unmoved(s)) return;
  centre_ = CentreOf(s);
  Remember(s);
}

bool CentreKeeper::Apply(ViewScale& s) {
  if (!centre_ || !s.HasScale() || !Unmoved(s)) {
    centre_.reset();
    return false;
  }
  PlaceOnCentre(s, *centre_);
  Remember(s);
  return true;
}

}  // namespace kv::viewer
