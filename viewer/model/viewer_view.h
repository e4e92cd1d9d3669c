#pragma once
// The viewer's view without a window: the scale model, the display image
// (the visible part of the photo scaled to the client size, rebuilt only
// when the scale, the visible part, the client size or the photo changes),
// the back buffer it is composed into with the logo, and the commands that
// change scale and position. The widget forwards its events here in device
// pixels and paints the back buffer with the overlays this class lists.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/core/image/thumbnail.h"
#include "foundation/core/imageops/image.h"
#include "foundation/core/util/wheel_notches.h"
#include "platform/color.h"
#include "platform/doc_view.h"
#include "viewer/model/centre_keeper.h"
#include "viewer/model/photo_loader.h"
#include "viewer/model/measure.h"
#include "viewer/model/scale_model.h"
#include "viewer/model/viewer_document.h"

namespace kv::viewer {

// What the view asks of the window around it.
class ViewHost {
 public:
  virtual ~ViewHost() = default;
  // The window is to be painted again (soon; not necessarily now).
  virtual void Repaint() = 0;
  virtual void SetStatusPaneText(int pane, const std::string& utf8) = 0;
  // The document's title changed (a photo step).
  virtual void TitleChanged() {}
  // A decode finished after the call that started it: the photo (a first
  // frame or the whole) or its failure is there now.
  virtual void PhotoChanged() {}
  // A file was asked for and has nothing to show yet (true), or it has
  // now, or failed (false): the window may show it is busy.
  virtual void PhotoPending(bool pending) { (void)pending; }
  // Opens the logo's link with the desktop.
  virtual void OpenLink(const std::string& utf8) { (void)utf8; }
  // Shows or hides the floating toolbox window.
  virtual void ShowToolbox(bool shown) { (void)shown; }
  // The frame's full-screen state; leaving it resizes the view, perhaps
  // only after the call returns.
  virtual bool IsFullScreen() const { return false; }
  virtual void SetFullScreen(bool on) { (void)on; }
};

struct GuideLine {
  int32_t x1, y1, x2, y2;
  platform::ColorRef color;
};

inline constexpr platform::ColorRef kCurrentGuideColor = platform::Rgb(255, 0, 204);
inline constexpr platform::ColorRef kOtherGuideColor = platform::Rgb(182, 182, 182);
inline constexpr platform::ColorRef kCalibrationMarkColor = platform::Rgb(210, 210, 255);
inline constexpr int32_t kWelcomeWidth = 300;
inline constexpr int32_t kWelcomeHeight = 400;
inline constexpr int32_t kLogoMargin = 10;

// The cursor a point of the view calls for.
enum class ViewCursor {
  Scroll,
  Grab,
  ZoomIn,
  ZoomOut,
  Calibration,
  Registration,
  Logo,
  ShowToolboxIcon,
  ReturnIcon,
  Measure
};

// The keys the view answers, whatever the toolkit calls them.
enum class ViewKey { Left, Right, Up, Down, PageUp, PageDown, Home, End, Plus, Minus, Escape, F11 };

// What pane 1 shows when a rectangle would need more than this scale.
inline constexpr double kMaxRectangleZoom = 100.0;
inline constexpr const char* kTooLargeText = "拡大率が大きすぎます";
// A press and release closer than this (device pixels, each axis) is a click.
inline constexpr int32_t kClickSlop = 2;

// The icons drawn in the top-left corner while the toolbox is hidden, in
// logical pixels (multiplied by the device-pixel ratio in the view).
inline constexpr int32_t kHotIconSide = 32;
inline constexpr int32_t kReturnIconX = 10;
inline constexpr int32_t kShowToolboxIconX = 50;
inline constexpr int32_t kHotIconY = 10;

// A rectangle in client device pixels, right and bottom included.
struct ClientRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool Contains(int32_t x, int32_t y) const {
    return x >= left && x <= right && y >= top && y <= bottom;
  }
  bool operator==(const ClientRect&) const = default;
};

// How the navigator fits the photo into the thumbnail: as the bitmap does.
using NavigatorGeometry = ThumbnailPlacement;

NavigatorGeometry ComputeNavigator(int32_t photoWidth, int32_t photoHeight,
                                   int32_t thumbWidth = kThumbnailSide,
                                   int32_t thumbHeight = kThumbnailSide);

// The part of the photo the view shows, in navigator pixels, and which of
// its edges fall inside the square and are drawn.
struct NavigatorFrame {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool drawTop = false, drawLeft = false, drawBottom = false, drawRight = false;
};

// A registration as the navigator draws it, in navigator pixels.
struct NavigatorLine {
  int32_t x1, y1, x2, y2;
  platform::ColorRef color;
};

class KovalindraView : public platform::ViewBase {
 public:
  KovalindraView(KovalindraDoc& doc, ViewHost* host);
  ~KovalindraView() override;
  KovalindraView(const KovalindraView&) = delete;
  KovalindraView& operator=(const KovalindraView&) = delete;

  void OnNotify(const std::string& text, int code) override;

  // --- window events (device pixels) ---
  void OnSize(int32_t cx, int32_t cy);
  void OnInitialUpdate();
  void OnLeftButtonDown(int32_t x, int32_t y);
  void OnMouseMove(int32_t x, int32_t y);
  // zoomOutModifier: Ctrl or Alt held, as the release itself reports (a
  // zoom click takes its direction from there).
  void OnLeftButtonUp(int32_t x, int32_t y, bool zoomOutModifier = false);
  // The button was released where the view could not see it, or the window
  // lost the pointer: a drag keeps where it got to, a rectangle is dropped.
  void OnCaptureLost();
  ViewCursor CursorAt(int32_t x, int32_t y, bool zoomOutModifier = false) const;
  // A wheel turn; ctrlOrShift or a held button leave the scale alone.
  // Small touchpad deltas add up to whole notches. Returns the steps taken.
  int OnWheel(int angleDelta, bool ctrlOrShift = false, bool buttonHeld = false);
  // True when the key did something.
  bool OnKeyDown(ViewKey key);
  bool Dragging() const { return dragging_; }
  bool MeasureDragging() const { return measures_.Dragging(); }
  // The rubber band while a rectangle is being dragged out, normalised.
  std::optional<ClientRect> SelectionRect() const;
  // Device pixels per logical pixel: sizes the corner icons' hot spots.
  void SetDeviceRatio(double ratio) { deviceRatio_ = ratio > 0 ? ratio : 1.0; }
  ClientRect ReturnIconRect() const { return HotIconRect(kReturnIconX); }
  ClientRect ShowToolboxIconRect() const { return HotIconRect(kShowToolboxIconX); }
  bool ShowsHotIcons() const { return !toolboxShown; }

  // --- the toolbox's navigator (navigator pixels, 0 to 240) ---
  // A press inside the square (its first row and column excluded) moves
  // the view there and starts a drag; false elsewhere.
  bool OnNavigatorPress(int32_t x, int32_t y);
  // While dragging: inside the square the view follows, outside it waits.
  void OnNavigatorMove(int32_t x, int32_t y);
  // Ends the drag at the clamped position under (x, y), wherever it is.
  void OnNavigatorRelease(int32_t x, int32_t y);
  bool NavigatorDragging() const { return navDragging_; }
  void CentreOnNavigatorPoint(int32_t x, int32_t y);
  NavigatorFrame NavigatorVisibleFrame() const;
  std::vector<NavigatorLine> NavigatorLines() const;

  // --- brightness and contrast (-100 to 100, for viewing only) ---
  int32_t Brightness() const { return brightness_; }
  int32_t Contrast() const { return contrast_; }
  void SetAdjustment(int32_t brightness, int32_t contrast);
  // A drag shows the plain display image; its end shows the adjusted one.
  bool AdjustsNow() const {
    return (brightness_ != 0 || contrast_ != 0) && !dragging_ && !navDragging_;
  }
  int Adjustments() const { return adjustments_; }

  // --- commands ---
  void ApplyZoom(int32_t cx, int32_t cy);
  bool ZoomIn();
  bool ZoomOut();
  void ShowRealSize();
  void ShowWhole();
  void StepRealSizePoint(int direction);
  // The next (+1) or previous (-1) photo of the folder. False when there is
  // none or it did not open: the photo on show stays, the status bar says
  // why, and the folder position moves onto the failed file so that the
  // next step goes beyond it.
  bool StepPhoto(int direction);
  // The folder's first or last photo.
  bool StepPhotoToEnd(bool last);
  void ToggleGuides();
  void ToggleCalibrationMarks();
  void ToggleToolbox() { SetToolboxShown(!toolboxShown); }
  void SetToolboxShown(bool shown);
  // Back to the whole photo in the window (full screen left).
  void ResetView();
  // Moves the visible part by a tenth of the view (dx, dy: -1, 0 or 1).
  void ScrollByTenth(int dx, int dy);
  // The window is about to change size by itself (full screen and back):
  // the photo point at the centre and the scale stay through the resizes
  // that follow, until the user moves the view.
  void KeepCentreThroughResize() { centreKeeper_.Hold(scale_); }

  bool CanZoomIn() const { return ZoomInStep(scale_.zoom).has_value(); }
  bool CanZoomOut() const { return ZoomOutStep(scale_.zoom).has_value(); }
  // The current point gave a real-size scale (a photo without a usable
  // registration is never shown as real size).
  bool HasRealSize() const { return realSizeOutcome_ == RealSizeOutcome::Ok; }
  bool IsRealSize() const { return HasRealSize() && scale_.zoom == scale_.realSizeZoom; }
  // The window is on `screen` now (moved, or its resolution or pixel ratio
  // changed; `primary` is the primary monitor), with what that screen
  // reports of its millimetres per device pixel when plausible, and the
  // client size in device pixels there (0: unchanged). The real size is
  // worked out for it: from its own calibration, else from its report (or
  // the program's fallback density) as an estimate. A view at real size
  // stays at the new real size, any other scale stays as it is; the photo
  // point under the window's middle stays there either way.
  void OnScreenChanged(const ScreenId& screen, const ScreenId& primary,
                       std::optional<double> reportedMmPerPixel, int32_t clientWidth = 0,
                       int32_t clientHeight = 0);
  // Real size comes from the screen's report, not from a calibration.
  bool RealSizeIsEstimate() const { return HasRealSize() && IsUncalibrated(doc_.Calibration()); }
  // Millimetres per device pixel an uncalibrated screen is taken at: its own
  // report when plausible, else the fallback density.
  double ScreenEstimate() const { return estimate_; }
  // Pane 0's word on the screen's calibration when it changes, and pane
  // 2's lasting short one (shown while not measuring); both empty when the
  // screen has a calibration of its own.
  std::string CalibrationStatusText() const;
  std::string CalibrationNote() const;
  bool IsWhole() const { return scale_.zoom == scale_.Fit(); }

  // 10 end point, 11 line, 0 nothing; the index of the registration found.
  int HitTestRegistrationAt(int32_t x, int32_t y, int32_t& px, int32_t& py,
                            int32_t& index) const;

  // --- drawing ---
  // Composes the display image (adjusted unless a drag is going on) and
  // the logo into the back buffer.
  void RenderBackBuffer();
  const Image* BackBuffer() const { return back_.get(); }
  const Image* DisplayImage() const { return display_.get(); }
  std::vector<GuideLine> GuideLines() const;
  bool showGuides = false;
  bool showCalibrationMarks = false;
  bool toolboxShown = true;
  // Where the welcome panel goes while the monitor is uncalibrated.
  bool ShowsWelcome() const { return IsUncalibrated(doc_.Calibration()); }
  // Its size and place in device pixels: its logical size at the pixel ratio.
  int32_t WelcomeWidth() const { return int32_t(std::lround(kWelcomeWidth * deviceRatio_)); }
  int32_t WelcomeHeight() const { return int32_t(std::lround(kWelcomeHeight * deviceRatio_)); }
  int32_t WelcomeX() const { return scale_.clientWidth / 2 - WelcomeWidth() / 2; }
  int32_t WelcomeY() const { return scale_.clientHeight / 2 - WelcomeHeight() / 2; }
  double DeviceRatio() const { return deviceRatio_; }

  const ViewScale& Scale() const { return scale_; }
  ViewScale& MutableScale() { return scale_; }
  const NavigatorGeometry& Navigator() const { return navigator_; }
  int DisplayRebuilds() const { return rebuilds_; }
  // Displays a decode composed and the view took over instead of composing.
  int DisplaysTakenOver() const { return takenOver_; }
  // Bytes of pixels the view holds for the photo (its copy and the halved
  // ones), and for the window (display image, adjusted copy, back buffer).
  size_t PhotoBytes() const;
  size_t WindowBytes() const;
  // The next rebuild request really rebuilds (measurements).
  void InvalidateDisplay() { displayValid_ = false; }
  int InitialUpdates() const { return initialUpdates_; }
  // Changes whenever another photo is decoded (or fails to), and when the
  // whole photo replaces its first frame.
  uint64_t PhotoGeneration() const { return session_.PhotoGeneration(); }
  // The photo the view draws, held by the document's session: upright,
  // perhaps reduced by 2^shift while the whole photo is still being decoded.
  const Image* Photo() const { return session_.Photo(); }
  int PhotoShift() const { return session_.Shift(); }
  // A file asked for is being read or decoded.
  bool Decoding() const { return session_.Busy(); }
  PhotoSession& Session() { return session_; }
  // Draws the navigator bitmap at the destination's size from the photo
  // held; false without one.
  bool DrawThumbnail(DibImage& destination) const;
  // Shows an upright photo made elsewhere (benchmarks, tests) as if it had
  // been decoded from the document's file; the caller places it.
  void ShowPhoto(IplImageSlot upright);
  KovalindraDoc& Document() { return doc_; }

  // --- measuring (photo pixels; the file is never touched) ---
  // The measurements on the photo on show, and the one being dragged out.
  const MeasureList& Measurements() const;
  // The scale they are read with: the current real-size point's.
  MeasureScale CurrentMeasureScale() const;
  std::vector<MeasureLine> MeasureOverlay() const;
  // The last measurement as text; none before the first.
  std::optional<std::string> LastMeasureText() const;

  // The scale as pane 1 shows it.
  std::string ScaleText() const;
  std::string RealSizeText() const;

 private:
  void SyncPhotoSize();
  // Takes up the session's pixels: a new file's are placed whole, the whole
  // photo after its first frame where the user now is.
  void OnPhotoArrived();
  void OnPhotoFailed();
  void TakePhoto();
  void PrefetchNeighbour();
  void MakeBuffers();
  // The display image is the client size plus DisplayPad() on each axis.
  int32_t DisplayPad() const;
  void EnsureDisplaySize();
  void RebuildDisplay();
  void Notify(int c) { doc_.NotifyViews("", c); }
  void Status(const std::string& t) {
    if (host_) host_->SetStatusPaneText(1, t);
  }
  void CalibrationStatus() {
    if (!host_) return;
    host_->SetStatusPaneText(0, CalibrationStatusText());
    if (doc_.mouseMode != kMouseMeasure) host_->SetStatusPaneText(2, CalibrationNote());
  }
  void Repaint() {
    if (host_) host_->Repaint();
  }
  bool InLogo(int32_t x, int32_t y) const;
  ClientRect HotIconRect(int32_t logicalX) const;
  bool OpenFolderEntry(size_t target, int direction);
  uint64_t FileGeneration() const { return session_.FileGeneration(); }
  // A scale the user chose is not replaced by the fit of the first resize.
  void KeepChosenScale() {
    if (initialUpdates_ == 1) initialUpdates_ = 2;
  }
  void SelectRealSizePoint(int32_t index);
  void ZoomToSelection();
  void DragTo(int32_t x, int32_t y);
  // Where a measurement point goes for the pointer at (x, y): a
  // registration's end point when one is close, else the photo point there.
  std::optional<PhotoPointF> MeasurePointAt(int32_t x, int32_t y, bool insideOnly) const;
  void BeginMeasure(int32_t x, int32_t y);
  void EndMeasure(int32_t x, int32_t y);
  // Pane 2 names the scale while measuring; leaving the mode clears it and
  // drops the measurements.
  void FollowMeasureMode();
  void DropMeasurements();

  KovalindraDoc& doc_;
  ViewHost* host_;
  ViewScale scale_;
  NavigatorGeometry navigator_;
  int initialUpdates_ = 0;

  PhotoSession& session_;
  // The session's file generation the view has placed.
  uint64_t placedFile_ = 0;
  int lastDirection_ = +1;
  // The photo's halved copies (the session's): a strong reduction
  // resamples from the level nearest above its size instead of from the
  // full photo.
  Image* LevelFor(double zoom, int& shift);
  IplImageSlot display_;
  IplImageSlot adjusted_;
  IplImageSlot back_;
  int32_t brightness_ = 0, contrast_ = 0;
  // What the adjusted image was made from: the display rebuild and values.
  int adjustedFor_ = -1;
  int32_t adjustedB_ = 0, adjustedK_ = 0;
  int adjustments_ = 0;
  bool navDragging_ = false;
  const Image* DrawnDisplay();
  struct DisplayKey {
    double zoom = -1.0;
    int32_t ox = 0, oy = 0, vw = 0, vh = 0, cw = 0, ch = 0;
    uint64_t generation = 0;
    bool operator==(const DisplayKey&) const = default;
  };
  DisplayKey displayKey_;
  bool displayValid_ = false;
  int rebuilds_ = 0;
  int takenOver_ = 0;

  RealSizeOutcome realSizeOutcome_ = RealSizeOutcome::NoPoint;
  double deviceRatio_ = 1.0;
  double estimate_ = FallbackMmPerDevicePixel(1.0);
  bool refitOnResize_ = false;
  CentreKeeper centreKeeper_;
  WheelNotches wheel_;

  bool dragging_ = false;
  int32_t dragStartX_ = 0, dragStartY_ = 0;
  double dragBaseX_ = 0, dragBaseY_ = 0;  // photo pixels, between pixels too
  // One axis of a drag to the exact photo position `exact`: the origin and
  // the device-pixel shift (a negative offset) that show it.
  void DragAxis(double exact, int32_t visible, int32_t photo, int32_t& origin,
                int32_t& offset) const;
  bool selecting_ = false;
  int32_t anchorX_ = 0, anchorY_ = 0, endX_ = 0, endY_ = 0;

  MeasureList measures_;
  uint64_t measuredPhoto_ = 0;  // the file generation they were made on
  int32_t measurePressX_ = 0, measurePressY_ = 0;
  bool measureStatusShown_ = false;
};

}  // namespace kv::viewer
