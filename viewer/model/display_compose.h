#pragma once
// The display image: the visible part of the photo resampled to the client,
// in device pixels. The view composes it on the interface thread when the
// user moves or zooms; a worker composes the one a newly decoded photo
// opens at, so that a step costs the interface thread no resampling.
#include <cmath>
#include <cstdint>
#include <vector>

#include "foundation/core/image/orientation.h"
#include "foundation/core/imageops/image.h"
#include "viewer/model/scale_model.h"

namespace kv::viewer {

// Whether a view at `zoom` halves an image of the given size once more.
inline bool HalvesAgain(double zoom, int shift, int32_t width, int32_t height) {
  return std::ldexp(zoom, shift + 1) <= 1.0 && width >= 64 && height >= 64;
}

// Where a display image was composed: equal places give equal pixels for
// the same photo.
struct DisplayPlace {
  double zoom = -1.0;
  int32_t ox = 0, oy = 0, vw = 0, vh = 0, cw = 0, ch = 0;
  bool operator==(const DisplayPlace&) const = default;
};
DisplayPlace PlaceOf(const ViewScale& s);

// The columns and rows the display holds beyond the client: a drag leaves
// the photo up to one photo pixel (zoom device pixels) left of and above
// where its origin says.
int32_t DisplayPadFor(double zoom);

// The level a view at `zoom` resamples from: the photo (reduced by
// 2^photoShift) or one of its halved copies; `shift` says which. Null when
// a halved copy it needs is not among `levels` (nothing is made here).
Image* ExistingLevelFor(Image& photo, int photoShift, const std::vector<IplImageSlot>& levels,
                        double zoom, int& shift);

// Draws what `s` shows of the photo into `display` (client plus pad),
// resampling `from`, which is the photo reduced by 2^fromShift; white where
// the photo ends inside the client. The region of interest of `from` is
// used and cleared.
void ComposeDisplay(Image& from, int fromShift, const ViewScale& s, Image& display);

// A display composed ahead for a photo, and the place it shows.
struct PreparedDisplay {
  IplImageSlot image;
  DisplayPlace place;
};

// The display a view of `client` device pixels opens a photo of upright
// size `shown` at (the whole photo fitted, centred), composed from its
// decode (reduced by 2^shift) and the halved levels made with it; empty
// when the client is unknown or a level is missing.
PreparedDisplay ComposeOpeningDisplay(Image& photo, int shift, const std::vector<IplImageSlot>& levels,
                                      PixelSize shown, PixelSize client);

}  // namespace kv::viewer
