#include "viewer/model/viewer_view.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <numeric>

#include "foundation/core/image/icc.h"
#include "foundation/core/image/jpeg_decode.h"
#include "foundation/core/image/orientation.h"
#include "foundation/core/util/encoding.h"
#include "foundation/core/util/text.h"
#include "kvi/hit_test.h"
#include "platform/services.h"
#include "viewer/model/adjust.h"
#include "viewer/model/open_messages.h"

namespace kv::viewer {

KovalindraView::KovalindraView(KovalindraDoc& doc, ViewHost* host)
    : doc_(doc), host_(host), session_(doc.Session()) {
  doc_.AddView(this);
}

KovalindraView::~KovalindraView() { doc_.RemoveView(this); }

void KovalindraView::OnNotify(const std::string&, int c) {
  switch (c) {
    case code::kRepaint:
      // Every change of mouse mode is followed by this code.
      FollowMeasureMode();
      Repaint();
      break;
    case code::kDecode:
      // The photo is decoded by the document's session; the view takes up
      // what it holds.
      TakePhoto();
      DropMeasurements();  // they were made on the photo before
      break;
    case code::kPhotoArrived: OnPhotoArrived(); break;
    case code::kPhotoRequested:
      if (host_) host_->PhotoPending(session_.Pending());
      break;
    case code::kPhotoFailed: OnPhotoFailed(); break;
    case code::kRebuildDisplay: RebuildDisplay(); break;
    case code::kRealSize:
      SyncPhotoSize();
      realSizeOutcome_ =
          ComputeRealSize(scale_, doc_.Registrations(), doc_.currentPoint, doc_.Calibration(),
                          estimate_);
      // The centring depends on the scale just set; a sender that does not
      // ask for it next (the calibration) would otherwise draw off centre.
      scale_.ComputeOffsets();
      // The scale changed: pane 1 must not keep the old one (a sender that
      // goes on to another scale writes its own text after this).
      Status(RealSizeText());
      // A calibration just made (or another screen's) changes pane 2's word.
      if (host_ && doc_.mouseMode != kMouseMeasure) host_->SetStatusPaneText(2, CalibrationNote());
      FollowMeasureMode();  // another point, or another photo's registrations
      break;
    case code::kOffsets: scale_.ComputeOffsets(); break;
    case code::kBuffers: MakeBuffers(); break;
    default: break;
  }
}

void KovalindraView::SyncPhotoSize() {
  // The size of the photo upright, as its header gives it, once any of it
  // can be shown (a reduced first frame stands for the whole photo).
  const Image* photo = session_.Photo();
  const PixelSize shown = session_.Shift() == 0 && photo ? PixelSize{photo->Width(), photo->Height()}
                                                         : doc_.ShownPhotoSize();
  scale_.photoWidth = photo ? shown.width : 0;
  scale_.photoHeight = photo ? shown.height : 0;
}

void KovalindraView::ShowPhoto(IplImageSlot upright) { session_.ShowPhoto(std::move(upright)); }

void KovalindraView::TakePhoto() {
  // The display's key holds the session's photo generation: new pixels
  // rebuild it, the same ones taken up again do not.
  SyncPhotoSize();
  navigator_ = session_.Photo() ? ComputeNavigator(scale_.photoWidth, scale_.photoHeight)
                                : NavigatorGeometry{0.0, 0, 0};
}

void KovalindraView::OnPhotoArrived() {
  if (host_) host_->PhotoPending(false);
  if (session_.FileGeneration() != placedFile_) {
    // Another file: everything about the one before goes in this one step,
    // so the window changes in one repaint.
    placedFile_ = session_.FileGeneration();
    // A line about a file that failed is not about this one.
    if (host_) host_->SetStatusPaneText(0, "");
    Notify(code::kDecode);
    Notify(code::kRealSize);
    Notify(code::kBuffers);
    scale_.zoom = scale_.Fit();
    ApplyZoom(0, 0);
    // An opening's title is the frame's business.
    if (host_ && !session_.Opening()) host_->TitleChanged();
    PrefetchNeighbour();
  } else {
    // The whole photo replaces its first frame where the user now is (or a
    // photo that failed whole leaves).
    TakePhoto();
    Notify(code::kRebuildDisplay);
    Repaint();
  }
  if (host_) host_->PhotoChanged();
}

void KovalindraView::OnPhotoFailed() {
  if (host_) host_->PhotoPending(false);
  const std::optional<SessionFailure>& f = doc_.LastFailure();
  if (!f || !host_) return;
  host_->SetStatusPaneText(0, StepFailureText(f->path, f->reason));
}

void KovalindraView::PrefetchNeighbour() {
  const std::optional<size_t> next = doc_.StepTarget(lastDirection_);
  session_.SetNeighbour(next ? doc_.Folder()[*next].path : std::string());
}

bool KovalindraView::DrawThumbnail(DibImage& destination) const {
  if (!session_.Photo()) return false;
  DrawThumbnailOf(*session_.Photo(), destination);
  return true;
}

std::string KovalindraView::ScaleText() const { return "倍率:" + DoubleToText(scale_.zoom); }
std::string KovalindraView::RealSizeText() const {
  if (!IsRealSize()) return ScaleText();
  // Not calibrated yet: the screen's word for it, said as such.
  if (RealSizeIsEstimate()) return "倍率:等倍(推定 " + DoubleToText(scale_.zoom) + ")";
  return "倍率:等倍(" + DoubleToText(scale_.zoom) + ")";
}

void KovalindraView::ApplyZoom(int32_t cx, int32_t cy) {
  SyncPhotoSize();
  if (!scale_.HasScale()) scale_.zoom = 1.0;
  scale_.PlaceCentredOn(cx, cy);
  Notify(code::kOffsets);
  Notify(code::kRebuildDisplay);
  Repaint();
  Status(ScaleText());
}

void KovalindraView::OnSize(int32_t cx, int32_t cy) {
  if (cx <= 0 || cy <= 0) return;
  scale_.clientWidth = cx;
  scale_.clientHeight = cy;
  session_.SetClient({cx, cy});
  SyncPhotoSize();
  if (!centreKeeper_.Apply(scale_)) {
    scale_.UpdateVisibleSize();
    scale_.ClampOrigin();
  }
  Notify(code::kOffsets);
  Notify(code::kBuffers);
  Notify(code::kRebuildDisplay);
  Repaint();
  if (initialUpdates_ == 1 && scale_.photoWidth > 0 && scale_.photoHeight > 0) {
    scale_.zoom = scale_.Fit();
    ApplyZoom(0, 0);
    ++initialUpdates_;
  }
  if (refitOnResize_) {
    // The window size that the return to the whole photo asked for.
    refitOnResize_ = false;
    scale_.zoom = scale_.Fit();
    ApplyZoom(0, 0);
    Status(DoubleToText(scale_.zoom));
  }
}

void KovalindraView::OnInitialUpdate() {
  Notify(code::kDecode);
  Notify(code::kRealSize);
  Notify(code::kBuffers);
  scale_.zoom = scale_.Fit();
  ApplyZoom(0, 0);
  ++initialUpdates_;
  if (host_ && doc_.mouseMode != kMouseMeasure) host_->SetStatusPaneText(2, CalibrationNote());
}

bool KovalindraView::ZoomIn() {
  KeepChosenScale();
  const std::optional<double> z = ZoomInStep(scale_.zoom);
  if (!z) return false;
  const int32_t cx = scale_.CentreX(), cy = scale_.CentreY();
  scale_.zoom = *z;
  ApplyZoom(cx, cy);
  return true;
}

bool KovalindraView::ZoomOut() {
  KeepChosenScale();
  const std::optional<double> z = ZoomOutStep(scale_.zoom);
  if (!z) return false;
  const int32_t cx = scale_.CentreX(), cy = scale_.CentreY();
  scale_.zoom = *z;
  ApplyZoom(cx, cy);
  return true;
}

void KovalindraView::ShowRealSize() {
  KeepChosenScale();
  const int32_t cx = scale_.CentreX(), cy = scale_.CentreY();
  scale_.zoom = scale_.realSizeZoom;
  ApplyZoom(cx, cy);
  Status(RealSizeText());
}

void KovalindraView::OnScreenChanged(const ScreenId& screen, const ScreenId& primary,
                                     std::optional<double> reportedMmPerPixel,
                                     int32_t clientWidth, int32_t clientHeight) {
  // Taken before anything moves: the client size and the scale change next.
  const double keepX = scale_.WindowCentrePhotoX(), keepY = scale_.WindowCentrePhotoY();
  const bool wasRealSize = IsRealSize();
  const double zoom = scale_.zoom;
  doc_.SetScreen(screen, primary, reportedMmPerPixel);
  estimate_ = reportedMmPerPixel && *reportedMmPerPixel > 0 ? *reportedMmPerPixel
                                                            : FallbackMmPerDevicePixel(deviceRatio_);
  const bool resized = clientWidth > 0 && clientHeight > 0 &&
                       (clientWidth != scale_.clientWidth || clientHeight != scale_.clientHeight);
  // Before the first update there is nothing shown to keep; it computes
  // the real size itself.
  if (initialUpdates_ == 0) {
    if (resized) OnSize(clientWidth, clientHeight);
    CalibrationStatus();
    return;
  }
  if (resized) {
    scale_.clientWidth = clientWidth;
    scale_.clientHeight = clientHeight;
    Notify(code::kBuffers);
  }
  SyncPhotoSize();
  // The computation also moves to the registration; only its scale is
  // wanted here.
  ViewScale probe = scale_;
  realSizeOutcome_ = ComputeRealSize(probe, doc_.Registrations(), doc_.currentPoint,
                                     doc_.Calibration(), estimate_);
  scale_.realSizeZoom = probe.realSizeZoom;
  scale_.mmPerImagePixel = probe.mmPerImagePixel;
  scale_.mmPerScreenPixel = probe.mmPerScreenPixel;
  scale_.zoom = wasRealSize ? scale_.realSizeZoom : zoom;
  if (!scale_.HasScale()) scale_.zoom = 1.0;
  scale_.PlaceWindowCentreOn(keepX, keepY);
  Notify(code::kOffsets);
  Notify(code::kRebuildDisplay);
  Repaint();
  Status(RealSizeText());
  CalibrationStatus();
}

std::string KovalindraView::CalibrationStatusText() const {
  switch (doc_.ScreenCalibrationState()) {
    case CalibrationState::Calibrated: return "";
    case CalibrationState::ResolutionChanged:
      return "解像度が変わったため、このﾓﾆﾀｰの設定は使えません。ﾓﾆﾀｰ設定をやり直して下さい"
             "(いまはﾓﾆﾀｰの報告による推定の大きさです)。";
    case CalibrationState::Uncalibrated: break;
  }
  return "このﾓﾆﾀｰは未設定です。等倍はﾓﾆﾀｰの報告による推定の大きさです。";
}

std::string KovalindraView::CalibrationNote() const {
  switch (doc_.ScreenCalibrationState()) {
    case CalibrationState::Calibrated: return "";
    case CalibrationState::ResolutionChanged: return "解像度変更: ﾓﾆﾀｰ設定が必要";
    case CalibrationState::Uncalibrated: break;
  }
  return "ﾓﾆﾀｰ未設定(推定の大きさ)";
}

void KovalindraView::ShowWhole() {
  KeepChosenScale();
  SyncPhotoSize();
  scale_.zoom = scale_.Fit();
  ApplyZoom(0, 0);
  Status(DoubleToText(scale_.zoom));
}

void KovalindraView::StepRealSizePoint(int direction) {
  SelectRealSizePoint(
      StepPointIndex(doc_.currentPoint, direction, doc_.Registrations().size()));
}

void KovalindraView::SelectRealSizePoint(int32_t index) {
  KeepChosenScale();
  doc_.currentPoint = index;
  Notify(code::kRealSize);
  Notify(code::kOffsets);
  Notify(code::kRebuildDisplay);
  Repaint();
  Status(RealSizeText());
}

bool KovalindraView::StepPhoto(int direction) {
  const std::optional<size_t> target = doc_.StepTarget(direction);
  return target && OpenFolderEntry(*target, direction);
}

bool KovalindraView::StepPhotoToEnd(bool last) {
  const size_t n = doc_.Folder().size();
  if (n == 0) return false;
  const size_t target = last ? n - 1 : 0;
  if (doc_.Folder()[target].path == doc_.PathName()) {
    // Already on show: the position comes back to it from a file that
    // failed, so the next step does not skip the one after that.
    doc_.SetFolderIndex(target);
    return false;
  }
  // From the last photo the way on is back, from the first forward.
  return OpenFolderEntry(target, last ? -1 : +1);
}

bool KovalindraView::OpenFolderEntry(size_t target, int direction) {
  if (target >= doc_.Folder().size()) return false;
  lastDirection_ = direction < 0 ? -1 : +1;
  // The photo on show stays until the new one has a picture; then the
  // session's delivery places it (OnPhotoArrived).
  return doc_.OpenFolderEntry(target);
}

void KovalindraView::ToggleGuides() {
  showGuides = !showGuides;
  Repaint();
}

void KovalindraView::ToggleCalibrationMarks() {
  showCalibrationMarks = !showCalibrationMarks;
  Repaint();
}

void KovalindraView::SetToolboxShown(bool shown) {
  toolboxShown = shown;
  if (host_) host_->ShowToolbox(shown);
  Repaint();
}

void KovalindraView::ResetView() {
  KeepChosenScale();
  if (host_ && host_->IsFullScreen()) {
    // The window comes back at its own size, maybe only after this returns:
    // the fit is made again for that size when it arrives.
    refitOnResize_ = true;
    host_->SetFullScreen(false);
  }
  SyncPhotoSize();
  scale_.zoom = scale_.Fit();
  ApplyZoom(0, 0);
  Status(DoubleToText(scale_.zoom));
}

void KovalindraView::ScrollByTenth(int dx, int dy) {
  SyncPhotoSize();
  if (!scale_.HasScale()) return;
  const int32_t stepX = std::max(1, scale_.visibleWidth / 10);
  const int32_t stepY = std::max(1, scale_.visibleHeight / 10);
  const int32_t ox = scale_.originX, oy = scale_.originY;
  scale_.originX = TruncToInt(double(ox) + double(dx) * stepX);
  scale_.originY = TruncToInt(double(oy) + double(dy) * stepY);
  scale_.ClampOrigin();
  if (scale_.originX == ox && scale_.originY == oy) return;
  Notify(code::kRebuildDisplay);
  Repaint();
}

int KovalindraView::OnWheel(int angleDelta, bool ctrlOrShift, bool buttonHeld) {
  if (ctrlOrShift || buttonHeld || angleDelta == 0) return 0;
  int steps = 0;
  for (int n = wheel_.Add(angleDelta); n != 0; n += n > 0 ? -1 : 1)
    if (n > 0 ? ZoomIn() : ZoomOut()) ++steps;
  return steps;
}

bool KovalindraView::OnKeyDown(ViewKey key) {
  switch (key) {
    case ViewKey::Left: ScrollByTenth(-1, 0); return true;
    case ViewKey::Right: ScrollByTenth(1, 0); return true;
    case ViewKey::Up: ScrollByTenth(0, -1); return true;
    case ViewKey::Down: ScrollByTenth(0, 1); return true;
    case ViewKey::PageUp: return StepPhoto(-1);
    case ViewKey::PageDown: return StepPhoto(+1);
    case ViewKey::Home: return StepPhotoToEnd(false);
    case ViewKey::End: return StepPhotoToEnd(true);
    case ViewKey::Plus: return ZoomIn();
    case ViewKey::Minus: return ZoomOut();
    case ViewKey::Escape:
      if (doc_.CancelCalibration()) {
        if (host_) host_->SetStatusPaneText(0, text::kCalibrationCancelled);
        return true;
      }
      if (selecting_) {
        selecting_ = false;
        Repaint();
        return true;
      }
      if (!Measurements().Empty()) {
        DropMeasurements();
        Repaint();
        return true;
      }
      if (host_ && host_->IsFullScreen()) {
        host_->SetFullScreen(false);
        return true;
      }
      return false;
    case ViewKey::F11:
      if (!host_) return false;
      host_->SetFullScreen(!host_->IsFullScreen());
      return true;
  }
  return false;
}

}  // namespace kv::viewer

