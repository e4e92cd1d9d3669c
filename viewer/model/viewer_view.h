#pragma once
// The viewer's view without a window: the scale model, the display image
// (the visible part of the photo scaled to the client size, rebuilt only
// when the scale, the visible part, the client size or the photo changes),
// the back buffer it is composed into with the logo, and the commands that
// change scale and position. The widget forwards its events here in device
// pixels and paints the back buffer with the overlays this class lists.
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/core/imageops/image.h"
#include "platform/color.h"
#include "platform/doc_view.h"
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
  // Opens the logo's link with the desktop.
  virtual void OpenLink(const std::string& utf8) { (void)utf8; }
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
enum class ViewCursor { Scroll, Grab, ZoomIn, ZoomOut, Calibration, Registration, Logo };

// How the navigator fits the photo into the thumbnail.
struct NavigatorGeometry {
  double scale = 1.0;  // photo pixels per thumbnail pixel
  int32_t offsetX = 0;
  int32_t offsetY = 0;
};
// A 2 x 2 box average of a BGRA image (odd last rows and columns dropped).
IplImageSlot HalveImage(const Image& src);

NavigatorGeometry ComputeNavigator(int32_t photoWidth, int32_t photoHeight,
                                   int32_t thumbWidth = kThumbnailSide,
                                   int32_t thumbHeight = kThumbnailSide);

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
  void OnLeftButtonDown(int32_t x, int32_t y, bool zoomOutModifier = false);
  void OnMouseMove(int32_t x, int32_t y);
  void OnLeftButtonUp(int32_t x, int32_t y);
  ViewCursor CursorAt(int32_t x, int32_t y, bool zoomOutModifier = false) const;

  // --- commands ---
  void ApplyZoom(int32_t cx, int32_t cy);
  bool ZoomIn();
  bool ZoomOut();
  void ShowRealSize();
  void ShowWhole();
  void StepRealSizePoint(int direction);
  // The next (+1) or previous (-1) photo of the folder. False when there is
  // none or it did not open (the photo on show stays, and the status bar
  // says why).
  bool StepPhoto(int direction);
  void ToggleGuides();
  void ToggleCalibrationMarks();

  bool CanZoomIn() const { return ZoomInStep(scale_.zoom).has_value(); }
  bool CanZoomOut() const { return ZoomOutStep(scale_.zoom).has_value(); }
  bool IsRealSize() const { return scale_.zoom == scale_.realSizeZoom; }
  bool IsWhole() const { return scale_.zoom == scale_.Fit(); }

  // 10 end point, 11 line, 0 nothing; the index of the registration found.
  int HitTestRegistrationAt(int32_t x, int32_t y, int32_t& px, int32_t& py,
                            int32_t& index) const;

  // --- drawing ---
  // Composes the display image and the logo into the back buffer.
  void RenderBackBuffer();
  const Image* BackBuffer() const { return back_.get(); }
  const Image* DisplayImage() const { return display_.get(); }
  std::vector<GuideLine> GuideLines() const;
  bool showGuides = false;
  bool showCalibrationMarks = false;
  bool toolboxShown = true;
  // Where the welcome panel goes while the monitor is uncalibrated.
  bool ShowsWelcome() const { return IsUncalibrated(doc_.Calibration()); }
  int32_t WelcomeX() const { return scale_.clientWidth / 2 - kWelcomeWidth / 2; }
  int32_t WelcomeY() const { return scale_.clientHeight / 2 - kWelcomeHeight / 2; }

  const ViewScale& Scale() const { return scale_; }
  ViewScale& MutableScale() { return scale_; }
  const NavigatorGeometry& Navigator() const { return navigator_; }
  int DisplayRebuilds() const { return rebuilds_; }
  // Bytes of pixels the view holds (source, halved levels, display, back buffer).
  size_t PixelBytes() const;
  // The next rebuild request really rebuilds (measurements).
  void InvalidateDisplay() { displayValid_ = false; }
  int InitialUpdates() const { return initialUpdates_; }
  KovalindraDoc& Document() { return doc_; }

  // The scale as pane 1 shows it.
  std::string ScaleText() const;
  std::string RealSizeText() const;

 private:
  void SyncPhotoSize();
  void Decode();
  void MakeBuffers();
  void RebuildDisplay();
  void Notify(int c) { doc_.NotifyViews("", c); }
  void Status(const std::string& t) {
    if (host_) host_->SetStatusPaneText(1, t);
  }
  void Repaint() {
    if (host_) host_->Repaint();
  }
  bool InLogo(int32_t x, int32_t y) const;

  KovalindraDoc& doc_;
  ViewHost* host_;
  ViewScale scale_;
  NavigatorGeometry navigator_;
  int initialUpdates_ = 0;

  IplImageSlot source_;
  // The photo halved once, twice, ...: a strong reduction resamples from
  // the level nearest above its size instead of from the full photo.
  std::vector<IplImageSlot> levels_;
  const Image* LevelFor(double zoom, int& shift);
  IplImageSlot display_;
  IplImageSlot back_;
  uint64_t photoGeneration_ = 0;   // bumped whenever the decoded photo changes
  uint64_t sourceGeneration_ = ~uint64_t(0);
  struct DisplayKey {
    double zoom = -1.0;
    int32_t ox = 0, oy = 0, vw = 0, vh = 0, cw = 0, ch = 0;
    uint64_t generation = 0;
    bool operator==(const DisplayKey&) const = default;
  };
  DisplayKey displayKey_;
  bool displayValid_ = false;
  int rebuilds_ = 0;

  bool dragging_ = false;
  int32_t dragStartX_ = 0, dragStartY_ = 0, dragBaseX_ = 0, dragBaseY_ = 0;
  bool zoomClick_ = false;
  bool zoomClickOut_ = false;
};

}  // namespace kv::viewer
