#pragma once
// The authoring view's model: the scale (device pixels per photo pixel),
// where the scaled photo lies in the window (centred when smaller than the
// window), the scroll position, the two-click size registration, and the
// navigation window's mapping between the photo and its 240 x 240
// thumbnail. No widgets: the widget reports sizes, clicks and scrolls in
// device pixels and paints what this model says.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <iterator>
#include <optional>
#include <string>

#include "authoring/model/kovasand_document.h"
#include "kvi/size_registration.h"
#include "platform/doc_view.h"

namespace kv::authoring {

struct IntPoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const IntPoint&) const = default;
};

struct IntRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  bool IsEmpty() const { return width <= 0 || height <= 0; }
  bool operator==(const IntRect&) const = default;
};

// The zoom table, in device pixels per photo pixel; fitting the photo in
// the window may give any scale between its ends.
inline constexpr double kZoomSteps[] = {0.0625, 0.125, 0.25, 0.5, 0.75, 1, 1.5, 2,
                                        2.5,    3,     3.5,  4,   5,    6, 8};
inline constexpr double kMinScale = kZoomSteps[0];
inline constexpr double kMaxScale = kZoomSteps[std::size(kZoomSteps) - 1];
// The table's next value above (below) a scale; the end itself at the end.
double ZoomStepAbove(double scale);
double ZoomStepBelow(double scale);

// What the view asks of its widgets.
class KovasandViewHost {
 public:
  virtual ~KovasandViewHost() = default;
  virtual void InvalidateView() = 0;        // repaint the view
  virtual void RedrawNavigator() = 0;       // repaint the navigation window
  virtual void RefillList() = 0;            // rebuild the registration list's rows
  virtual void ScrollRangeChanged() = 0;    // scroll bars follow the model
  // The completion dialog: the image length for reference, the measured
  // length typed (nullopt: cancelled).
  virtual std::optional<int32_t> AskMeasuredLength(int32_t imageLengthPx) = 0;
};

// The navigation window's mapping (photo pixels per thumbnail pixel, where
// the photo starts inside the square).
struct NavigatorMapping {
  double navScale = 1.0;
  int32_t navOffsetX = 0;
  int32_t navOffsetY = 0;
  IntPoint PhotoToThumb(int32_t x, int32_t y) const;
};
NavigatorMapping ComputeNavigatorMapping(int32_t photoWidth, int32_t photoHeight);

// The visible part drawn on the thumbnail; an edge is drawn only when it
// lies inside the square.
struct VisibleFrame {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool drawLeft = false, drawTop = false, drawRight = false, drawBottom = false;
};

class KovasandView : public platform::ViewBase {
 public:
  KovasandView(KovasandDoc& doc, KovasandViewHost& host);
  ~KovasandView() override;

  // After every New and Open: loads the project's photo (told when it is
  // missing, unless whoever drives the view offers more), or clears the
  // display; the list refills.
  void OnInitialUpdate();
  void SetTellsMissingPhoto(bool tells) { tellsMissingPhoto_ = tells; }
  void OnNotify(const std::string& text, int code) override;

  // The window's client size in device pixels (WM_SIZE).
  void SetClientSize(int32_t width, int32_t height);
  int32_t ClientWidth() const { return clientWidth_; }
  int32_t ClientHeight() const { return clientHeight_; }

  // The display: the larger of scaled photo and client per axis; the
  // photo's top-left inside it.
  int32_t DisplayWidth() const { return displayWidth_; }
  int32_t DisplayHeight() const { return displayHeight_; }
  int32_t DisplayOffsetX() const { return displayOffsetX_; }
  int32_t DisplayOffsetY() const { return displayOffsetY_; }

  // Scroll positions, kept within 0 .. display - client.
  int32_t ScrollX() const { return scrollX_; }
  int32_t ScrollY() const { return scrollY_; }
  int32_t MaxScrollX() const;
  int32_t MaxScrollY() const;
  void SetScroll(int32_t x, int32_t y);
  // Half the display, a fiftieth for a line, but never more than the window
  // shows (less a tenth to keep context): a magnified photo's display is
  // many windows wide, and a page must not jump over unseen parts.
  int32_t PageStepX() const { return std::min(displayWidth_ / 2, clientWidth_ - clientWidth_ / 10); }
  int32_t PageStepY() const {
    return std::min(displayHeight_ / 2, clientHeight_ - clientHeight_ / 10);
  }
  int32_t LineStepX() const { return std::min(displayWidth_ / 50, clientWidth_ / 20); }
  int32_t LineStepY() const { return std::min(displayHeight_ / 50, clientHeight_ / 20); }

  // Zoom. A new photo starts at 1:1. In, out and 1:1 keep the photo point
  // at the window's centre where it is; fit shows the whole photo and keeps
  // it fitted while the window is resized, until the next zoom. Without a
  // photo nothing zooms.
  double Scale() const { return scale_; }
  bool Fitting() const { return fitting_; }
  bool CanZoomIn() const;
  bool CanZoomOut() const;
  void ZoomIn();
  void ZoomOut();
  void ZoomFit();
  void ZoomActual();
  // To `scale` (kept within the table's ends), the photo pixel under the
  // client point staying under it as far as the scroll range allows.
  void ZoomAbout(double scale, int32_t clientX, int32_t clientY);
  // The largest scale at which the whole photo fits the window.
  double FitScale() const;

  // The photo pixel under a client device pixel: floor((p + scroll -
  // offset) / scale), so every device pixel of a magnified photo pixel
  // gives that pixel. Not clamped to the photo.
  IntPoint ClientToPhoto(int32_t px, int32_t py) const;
  // Where a photo pixel is drawn: the middle device pixel of the ones that
  // show it when magnified, the device pixel holding its centre when
  // reduced, so that ClientToPhoto(PhotoToClient(p)) == p from 1:1 up.
  IntPoint PhotoToClient(int32_t x, int32_t y) const;

  // The client device pixels that show the photo, cut to the window.
  IntRect PhotoOnClient() const;
  // Draws what PhotoOnClient covers into a picture of the client's size
  // (32-bit 0xffRRGGBB pixels, rows strideBytes apart), leaving the rest
  // as it is: nearest photo pixel when magnified (ClientToPhoto's pixel,
  // exactly), area average when reduced. Reads only the visible part.
  void RenderPhoto(uint32_t* frame, size_t strideBytes) const;

  // Mouse in the view (client device pixels).
  void OnLeftButtonDown(int32_t px, int32_t py);
  void OnRightButtonDown();
  const SizeRegistration& PendingRegistration() const { return pending_; }

  // Navigation window.
  const NavigatorMapping& Navigator() const { return nav_; }
  VisibleFrame NavigatorFrame() const;
  // A press or drag at a thumbnail point scrolls that point to the middle.
  void NavigatorPress(int32_t px, int32_t py);

  bool Initialised() const { return initialised_; }

 private:
  void RebuildDisplay();
  void UpdateGeometry();
  void GeometryChanged();
  int64_t ScaledX(int32_t x) const;

  KovasandDoc& doc_;
  KovasandViewHost& host_;
  SizeRegistration pending_;
  NavigatorMapping nav_;
  int32_t clientWidth_ = 0, clientHeight_ = 0;
  int32_t displayWidth_ = 0, displayHeight_ = 0;
  int32_t displayOffsetX_ = 0, displayOffsetY_ = 0;
  int32_t scrollX_ = 0, scrollY_ = 0;
  double scale_ = 1.0;
  bool fitting_ = false;
  bool initialised_ = false;
  bool tellsMissingPhoto_ = true;
};

// Row texts of the registration list: "No.", start, end, length, centre,
// and a note saying why a registration cannot be used (empty when it can).
struct ListRow {
  std::string number, start, end, length, center, note;
};
ListRow MakeListRow(const SizeRegistration& r, size_t position, const std::string& unusable = "");

}  // namespace kv::authoring
