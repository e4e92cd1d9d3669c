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

namespace kv::viewer {
namespace {

// The resize takes its factor as a fraction; this denominator keeps the
// scale exact to a few millionths, so the photo lands on the same pixels as
// the guide lines drawn with the scale itself.
constexpr int32_t kScaleDenominator = 1 << 16;

void ScaleFraction(double zoom, int32_t& num, int32_t& den) {
  num = std::max(1, TruncToInt(zoom * kScaleDenominator + 0.5));
  den = kScaleDenominator;
  const int32_t g = std::gcd(num, den);
  num /= g;
  den /= g;
}

}  // namespace


NavigatorGeometry ComputeNavigator(int32_t w, int32_t h, int32_t tw, int32_t th) {
  NavigatorGeometry g;
  if (w <= 0 || h <= 0 || tw <= 0 || th <= 0) return g;
  if (double(tw) / th > double(w) / h) {
    g.scale = double(h) / th;
    g.offsetX = int32_t((tw - int64_t(th) * w / h) / 2);
  } else {
    g.scale = double(w) / tw;
    g.offsetY = int32_t((th - int64_t(tw) * h / w) / 2);
  }
  return g;
}

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
  displayValid_ = false;
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
  host_->SetStatusPaneText(
      0, std::filesystem::path(f->path).filename().string() + " を開けませんでした (" + f->reason + ")");
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

void KovalindraView::MakeBuffers() {
  SyncPhotoSize();
  const int32_t cw = scale_.clientWidth, ch = scale_.clientHeight;
  if (cw <= 0 || ch <= 0) return;
  if (!display_ || display_->Width() != cw || display_->Height() != ch) {
    MakeColorIplImage(display_, cw, ch);
    MakeColorIplImage(back_, cw, ch);
    ReleaseIplImage(adjusted_);  // made at this size when first needed
    adjustedFor_ = -1;
    displayValid_ = false;
  }
}

void KovalindraView::RebuildDisplay() {
  if (!display_) return;
  const ViewScale& s = scale_;
  const DisplayKey key{s.zoom,          s.originX,     s.originY,     s.visibleWidth,
                       s.visibleHeight, s.clientWidth, s.clientHeight, session_.PhotoGeneration()};
  if (displayValid_ && key == displayKey_) return;
  displayKey_ = key;
  displayValid_ = true;
  ++rebuilds_;
  display_->ClearRoi();
  Image* source = session_.MutablePhoto();
  std::vector<IplImageSlot>& levels = session_.Levels();
  const int sourceShift = session_.Shift();
  if (!source || !s.HasScale() || s.visibleWidth <= 0 || s.visibleHeight <= 0) {
    FillImage(*display_, 255);
    return;
  }
  // White where the photo ends inside the client; the rest is overwritten
  // by the photo (a margin of two pixels covers the partly drawn edge).
  const int32_t cw = display_->Width(), ch = display_->Height();
  const int32_t coverW =
      int32_t(std::clamp((s.photoWidth - s.originX) * s.zoom - 2.0, 0.0, double(cw)));
  const int32_t coverH =
      int32_t(std::clamp((s.photoHeight - s.originY) * s.zoom - 2.0, 0.0, double(ch)));
  if (coverW < cw) {
    display_->SetRoi({coverW, 0, cw - coverW, ch});
    FillImage(*display_, 255);
  }
  if (coverH < ch && coverW > 0) {
    display_->SetRoi({0, coverH, coverW, ch - coverH});
    FillImage(*display_, 255);
  }
  display_->ClearRoi();
  if (s.zoom == 1.0 && sourceShift == 0) {
    levels.clear();  // halved copies are made again in a few milliseconds when wanted
    source->SetRoi({s.originX, s.originY, s.visibleWidth, s.visibleHeight});
    CopyImage(*source, *display_);
  } else {
    int shift = 0;
    const Image* from = LevelFor(s.zoom, shift);
    // Only the halved copies this scale reads are kept.
    if (levels.size() > size_t(shift - sourceShift)) levels.resize(size_t(shift - sourceShift));
    Image& level = const_cast<Image&>(*from);
    // One photo pixel more than fits whole, so the partly visible column and
    // row at the right and bottom edges are drawn too. On a halved level the
    // origin is off by less than one level pixel, under one device pixel.
    level.SetRoi({s.originX >> shift, s.originY >> shift, ((s.visibleWidth + 1) >> shift) + 2,
                  ((s.visibleHeight + 1) >> shift) + 2});
    int32_t num = 1, den = 1;
    ScaleFraction(std::ldexp(s.zoom, shift), num, den);
    ResizeImage(level, *display_, num, den, num, den);
    level.ClearRoi();
  }
  source->ClearRoi();
}

const Image* KovalindraView::LevelFor(double zoom, int& shift) {
  // A reduced first frame counts as the level it stands for.
  shift = session_.Shift();
  const Image* best = session_.Photo();
  std::vector<IplImageSlot>& levels = session_.Levels();
  // Halve while the reduction left over would still be below one half.
  while (HalvesAgain(zoom, shift, best->Width(), best->Height())) {
    const size_t k = size_t(shift - session_.Shift());
    if (levels.size() <= k) {
      IplImageSlot next = HalvedCopy(*best);
      if (!next) break;
      levels.push_back(std::move(next));
    }
    best = levels[k].get();
    ++shift;
  }
  return best;
}

namespace {
size_t Bytes(const IplImageSlot& s) { return s ? s->Stride() * size_t(s->Height()) : 0; }
}  // namespace

size_t KovalindraView::PhotoBytes() const {
  size_t n = 0;
  if (const Image* p = session_.Photo()) n += p->Stride() * size_t(p->Height());
  for (const IplImageSlot& l : session_.Levels()) n += Bytes(l);
  return n;
}

size_t KovalindraView::WindowBytes() const {
  return Bytes(display_) + Bytes(adjusted_) + Bytes(back_);
}

const Image* KovalindraView::DrawnDisplay() {
  if (!display_ || !AdjustsNow()) return display_.get();
  // Made from the display image as it was built, never from an adjusted
  // one, so repaints do not pile adjustments on each other.
  if (adjustedFor_ != rebuilds_ || adjustedB_ != brightness_ || adjustedK_ != contrast_ ||
      !adjusted_) {
    if (!adjusted_) MakeColorIplImage(adjusted_, display_->Width(), display_->Height());
    if (!adjusted_ || !ApplyAdjustment(*display_, *adjusted_, brightness_, contrast_))
      return display_.get();
    adjustedFor_ = rebuilds_;
    adjustedB_ = brightness_;
    adjustedK_ = contrast_;
    ++adjustments_;
  }
  return adjusted_.get();
}

void KovalindraView::SetAdjustment(int32_t brightness, int32_t contrast) {
  brightness_ = ClampAdjust(brightness);
  contrast_ = ClampAdjust(contrast);
  Repaint();
}

void KovalindraView::RenderBackBuffer() {
  if (!back_) return;
  Image& b = *back_;
  // White left of and above the display image, which covers the rest.
  const int32_t ox = std::clamp(scale_.offsetX, 0, b.Width());
  const int32_t oy = std::clamp(scale_.offsetY, 0, b.Height());
  b.ClearRoi();
  if (ox > 0) {
    b.SetRoi({0, 0, ox, b.Height()});
    FillImage(b, 255);
  }
  if (oy > 0) {
    b.SetRoi({ox, 0, b.Width() - ox, oy});
    FillImage(b, 255);
  }
  b.ClearRoi();
  if (const Image* shown = DrawnDisplay()) {
    b.SetRoi({scale_.offsetX, scale_.offsetY, b.Width() - scale_.offsetX,
              b.Height() - scale_.offsetY});
    CopyImage(*shown, b);
  } else {
    FillImage(b, 255);
  }
  if (const IplImageSlot& logo = doc_.LogoImage()) {
    b.SetRoi({scale_.clientWidth - logo->Width() - kLogoMargin, kLogoMargin, logo->Width(),
              logo->Height()});
    CopyImage(*logo, b);
  }
  b.ClearRoi();
}

std::vector<GuideLine> KovalindraView::GuideLines() const {
  std::vector<GuideLine> out;
  if (!showGuides) return out;
  const RegistrationList& regs = doc_.Registrations();
  for (size_t i = 0; i < regs.size(); ++i) {
    const SizeRegistration& r = regs[i];
    const bool current = int64_t(i) == doc_.currentPoint && IsRealSize();
    out.push_back({scale_.ClientX(r.startX), scale_.ClientY(r.startY), scale_.ClientX(r.endX),
                   scale_.ClientY(r.endY), current ? kCurrentGuideColor : kOtherGuideColor});
  }
  return out;
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
  scale_.UpdateVisibleSize();
  scale_.ClampOrigin();
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

void KovalindraView::OnScreenChanged(const ScreenId& screen, bool primary,
                                     std::optional<double> mmPerDevicePixel) {
  doc_.SetScreen(screen, primary);
  estimate_ = mmPerDevicePixel;
  // Before the first update there is nothing shown to keep; it computes
  // the real size itself.
  if (initialUpdates_ == 0) return;
  const bool wasRealSize = IsRealSize();
  const double zoom = scale_.zoom;
  const int32_t cx = scale_.CentreX(), cy = scale_.CentreY();
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
  ApplyZoom(cx, cy);
  Status(RealSizeText());
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
  if (doc_.Folder()[target].path == doc_.PathName()) return false;
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

ClientRect KovalindraView::HotIconRect(int32_t logicalX) const {
  auto d = [this](int32_t v) { return TruncToInt(std::lround(v * deviceRatio_)); };
  return {d(logicalX), d(kHotIconY), d(logicalX + kHotIconSide), d(kHotIconY + kHotIconSide)};
}

std::optional<ClientRect> KovalindraView::SelectionRect() const {
  if (!selecting_) return std::nullopt;
  return ClientRect{std::min(anchorX_, endX_), std::min(anchorY_, endY_),
                    std::max(anchorX_, endX_), std::max(anchorY_, endY_)};
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

int KovalindraView::HitTestRegistrationAt(int32_t x, int32_t y, int32_t& px, int32_t& py,
                                          int32_t& index) const {
  if (!scale_.HasScale()) return 0;
  const int32_t qx = scale_.PhotoX(x), qy = scale_.PhotoY(y);
  RegistrationHit hit;
  if (HitTestRegistrationEnd(doc_.Registrations(), qx, qy, hit)) {
    px = hit.endFlag ? hit.registration.endX : hit.registration.startX;
    py = hit.endFlag ? hit.registration.endY : hit.registration.startY;
    index = int32_t(hit.index);
    return 10;
  }
  if (HitTestRegistrationLine(doc_.Registrations(), qx, qy, hit)) {
    px = qx;
    py = qy;
    index = int32_t(hit.index);
    return 11;
  }
  return 0;
}

bool KovalindraView::InLogo(int32_t x, int32_t y) const {
  const int32_t lw = doc_.LogoWidth(), lh = doc_.LogoHeight();
  if (lw <= 0 || lh <= 0) return false;
  const int32_t right = scale_.clientWidth - kLogoMargin;
  return x >= right - lw && x <= right && y >= kLogoMargin && y <= lh + kLogoMargin;
}

void KovalindraView::OnLeftButtonDown(int32_t x, int32_t y) {
  if (dragging_ || selecting_ || measures_.Dragging()) OnCaptureLost();
  int32_t px = 0, py = 0, index = doc_.currentPoint;
  // Measuring takes a registration's end as a place to measure from, not as
  // a point to switch to.
  if (doc_.mouseMode != kMouseMeasure && HitTestRegistrationAt(x, y, px, py, index)) {
    SelectRealSizePoint(index);
    return;
  }
  if (InLogo(x, y)) {
    if (host_ && !doc_.Link().empty())
      if (const std::optional<std::string> link = Cp932ToUtf8(doc_.Link())) host_->OpenLink(*link);
    return;
  }
  if (!toolboxShown) {
    if (ShowToolboxIconRect().Contains(x, y)) {
      SetToolboxShown(true);
      return;
    }
    if (ReturnIconRect().Contains(x, y)) {
      SetToolboxShown(true);
      ResetView();
      return;
    }
  }
  switch (doc_.mouseMode) {
    case kMouseScroll:
      dragging_ = true;
      dragStartX_ = x;
      dragStartY_ = y;
      dragBaseX_ = scale_.originX;
      dragBaseY_ = scale_.originY;
      break;
    case kCalibrationPending: doc_.CompleteCalibration(x, y, scale_.clientHeight); break;
    case kMouseZoom:
      selecting_ = true;
      anchorX_ = endX_ = x;
      anchorY_ = endY_ = y;
      break;
    case kMouseMeasure: BeginMeasure(x, y); break;
    default: break;
  }
}

void KovalindraView::DragTo(int32_t x, int32_t y) {
  if (!scale_.HasScale()) return;
  // The photo follows the pointer: a movement of n device pixels is n / zoom
  // photo pixels at any scale.
  const int32_t ox = scale_.originX, oy = scale_.originY;
  scale_.originX = TruncToInt(std::round(dragBaseX_ + (double(dragStartX_) - x) / scale_.zoom));
  scale_.originY = TruncToInt(std::round(dragBaseY_ + (double(dragStartY_) - y) / scale_.zoom));
  scale_.ClampOrigin();
  if (scale_.originX == ox && scale_.originY == oy) return;
  Notify(code::kRebuildDisplay);
  Repaint();
}

void KovalindraView::OnMouseMove(int32_t x, int32_t y) {
  if (dragging_) {
    DragTo(x, y);
  } else if (selecting_) {
    if (x == endX_ && y == endY_) return;
    endX_ = x;
    endY_ = y;
    Repaint();  // the band is an overlay: the display image stays
  } else if (measures_.Dragging()) {
    if (const std::optional<PhotoPointF> p = MeasurePointAt(x, y, false)) measures_.MoveTo(*p);
    Repaint();
  }
}

void KovalindraView::OnLeftButtonUp(int32_t x, int32_t y, bool zoomOutModifier) {
  if (dragging_) {
    DragTo(x, y);
    dragging_ = false;
    return;
  }
  if (measures_.Dragging()) {
    EndMeasure(x, y);
    return;
  }
  if (!selecting_) return;
  endX_ = x;
  endY_ = y;
  const bool click = std::abs(endX_ - anchorX_) <= kClickSlop && std::abs(endY_ - anchorY_) <= kClickSlop;
  if (!click) {
    ZoomToSelection();
    return;
  }
  selecting_ = false;
  Repaint();
  const std::optional<double> next =
      zoomOutModifier ? ZoomOutStep(scale_.zoom) : ZoomInStep(scale_.zoom);
  if (!next || !scale_.HasScale()) return;
  // Zoom about the clicked photo point: it becomes the centre the step keeps.
  const int32_t px = TruncToInt((double(anchorX_) - scale_.offsetX) / scale_.zoom) + scale_.originX;
  const int32_t py = TruncToInt((double(anchorY_) - scale_.offsetY) / scale_.zoom) + scale_.originY;
  scale_.originX = px - scale_.visibleWidth / 2;
  scale_.originY = py - scale_.visibleHeight / 2;
  zoomOutModifier ? ZoomOut() : ZoomIn();
}

void KovalindraView::ZoomToSelection() {
  KeepChosenScale();
  selecting_ = false;
  Repaint();
  if (!scale_.HasScale()) return;
  const int32_t l = std::min(anchorX_, endX_) - scale_.offsetX;
  const int32_t r = std::max(anchorX_, endX_) - scale_.offsetX;
  const int32_t t = std::min(anchorY_, endY_) - scale_.offsetY;
  const int32_t b = std::max(anchorY_, endY_) - scale_.offsetY;
  const int32_t pl = TruncToInt(l / scale_.zoom) + scale_.originX;
  const int32_t pr = TruncToInt(r / scale_.zoom) + scale_.originX;
  const int32_t pt = TruncToInt(t / scale_.zoom) + scale_.originY;
  const int32_t pb = TruncToInt(b / scale_.zoom) + scale_.originY;
  const double w = double(pr) - pl, h = double(pb) - pt;
  // The client area is what the photo must fill; a rectangle no photo pixel
  // wide or high would need an infinite scale.
  if (w <= 0 || h <= 0 || scale_.clientWidth <= 0 || scale_.clientHeight <= 0) {
    Status(kTooLargeText);
    return;
  }
  const double s = std::min(scale_.clientWidth / w, scale_.clientHeight / h);
  if (!(s <= kMaxRectangleZoom)) {
    Status(kTooLargeText);
    return;
  }
  scale_.zoom = std::clamp(s, kMinScale, kMaxScale);
  ApplyZoom(pl + TruncToInt(w / 2), pt + TruncToInt(h / 2));
}

void KovalindraView::OnCaptureLost() {
  dragging_ = false;
  if (measures_.Dragging()) {
    measures_.Cancel();  // half a measurement says nothing
    Repaint();
  }
  if (selecting_) {
    selecting_ = false;
    Repaint();
  }
}

bool KovalindraView::OnNavigatorPress(int32_t x, int32_t y) {
  if (x <= 0 || y <= 0 || x >= kThumbnailSide || y >= kThumbnailSide) return false;
  if (dragging_ || selecting_) OnCaptureLost();
  navDragging_ = true;
  CentreOnNavigatorPoint(x, y);
  return true;
}

void KovalindraView::OnNavigatorMove(int32_t x, int32_t y) {
  if (!navDragging_) return;
  if (x <= 0 || y <= 0 || x >= kThumbnailSide || y >= kThumbnailSide) return;
  CentreOnNavigatorPoint(x, y);
}

void KovalindraView::OnNavigatorRelease(int32_t x, int32_t y) {
  if (!navDragging_) return;
  navDragging_ = false;
  CentreOnNavigatorPoint(x, y);
  Repaint();  // now with the adjustment
}

void KovalindraView::CentreOnNavigatorPoint(int32_t x, int32_t y) {
  SyncPhotoSize();
  const NavigatorGeometry& g = navigator_;
  scale_.originX = TruncToInt((x - g.offsetX) * g.scale - scale_.visibleWidth / 2);
  scale_.originY = TruncToInt((y - g.offsetY) * g.scale - scale_.visibleHeight / 2);
  scale_.ClampOrigin();
  Notify(code::kRebuildDisplay);
  Repaint();
}

NavigatorFrame KovalindraView::NavigatorVisibleFrame() const {
  const NavigatorGeometry& g = navigator_;
  const ViewScale& s = scale_;
  NavigatorFrame f;
  if (!s.HasScale() || !(g.scale > 0)) return f;
  // The whole client area, margins included, when the photo is smaller.
  const double mx = s.offsetX / s.zoom, my = s.offsetY / s.zoom;
  f.left = TruncToInt((s.originX - mx) / g.scale) + g.offsetX;
  f.top = TruncToInt((s.originY - my) / g.scale) + g.offsetY;
  f.right = TruncToInt((s.originX + s.visibleWidth - mx) / g.scale) + g.offsetX;
  f.bottom = TruncToInt((s.originY + s.visibleHeight - my) / g.scale) + g.offsetY;
  f.drawTop = f.top > 0;
  f.drawLeft = f.left > 0;
  f.drawBottom = f.bottom < kThumbnailSide;
  f.drawRight = f.right < kThumbnailSide;
  return f;
}

std::vector<NavigatorLine> KovalindraView::NavigatorLines() const {
  std::vector<NavigatorLine> out;
  const NavigatorGeometry& g = navigator_;
  if (!(g.scale > 0)) return out;
  const RegistrationList& regs = doc_.Registrations();
  for (size_t i = 0; i < regs.size(); ++i) {
    const SizeRegistration& r = regs[i];
    const bool current = int64_t(i) == doc_.currentPoint && IsRealSize();
    out.push_back({TruncToInt(r.startX / g.scale) + g.offsetX,
                   TruncToInt(r.startY / g.scale) + g.offsetY,
                   TruncToInt(r.endX / g.scale) + g.offsetX, TruncToInt(r.endY / g.scale) + g.offsetY,
                   current ? kCurrentGuideColor : kOtherGuideColor});
  }
  return out;
}

ViewCursor KovalindraView::CursorAt(int32_t x, int32_t y, bool zoomOutModifier) const {
  if (dragging_) return ViewCursor::Grab;
  if (measures_.Dragging()) return ViewCursor::Measure;
  if (!selecting_) {
    int32_t px = 0, py = 0, index = 0;
    if (doc_.mouseMode != kMouseMeasure && HitTestRegistrationAt(x, y, px, py, index))
      return ViewCursor::Registration;
    if (InLogo(x, y)) return ViewCursor::Logo;
    if (!toolboxShown) {
      if (ShowToolboxIconRect().Contains(x, y)) return ViewCursor::ShowToolboxIcon;
      if (ReturnIconRect().Contains(x, y)) return ViewCursor::ReturnIcon;
    }
  }
  switch (doc_.mouseMode) {
    case kCalibrationPending: return ViewCursor::Calibration;
    case kMouseZoom: return zoomOutModifier ? ViewCursor::ZoomOut : ViewCursor::ZoomIn;
    case kMouseMeasure: return ViewCursor::Measure;
    default: return ViewCursor::Scroll;
  }
}

const MeasureList& KovalindraView::Measurements() const {
  static const MeasureList kNone;
  // Whatever path brought another photo in, lines measured on the old one
  // never show over it.
  return measuredPhoto_ == FileGeneration() ? measures_ : kNone;
}

MeasureScale KovalindraView::CurrentMeasureScale() const {
  return MeasureScaleFor(doc_.Registrations(), doc_.currentPoint);
}

std::vector<MeasureLine> KovalindraView::MeasureOverlay() const {
  return MeasureLines(Measurements(), scale_, CurrentMeasureScale());
}

std::optional<std::string> KovalindraView::LastMeasureText() const {
  const Measurement* last = Measurements().Last();
  if (!last) return std::nullopt;
  return MeasureCaption(*last, CurrentMeasureScale());
}

std::optional<PhotoPointF> KovalindraView::MeasurePointAt(int32_t x, int32_t y,
                                                          bool insideOnly) const {
  if (scale_.photoWidth <= 0 || scale_.photoHeight <= 0) return std::nullopt;
  // The snap distance is a reach of the hand, so it grows with the pixel ratio.
  if (std::optional<PhotoPointF> end = SnapToRegistrationEnd(
          doc_.Registrations(), scale_, x, y, kMeasureSnapRadius * deviceRatio_))
    return end;
  PhotoPointF p = PhotoPointAt(scale_, x, y);
  const double w = scale_.photoWidth, h = scale_.photoHeight;
  if (insideOnly && (p.x < 0 || p.y < 0 || p.x > w || p.y > h)) return std::nullopt;
  p.x = std::clamp(p.x, 0.0, w);
  p.y = std::clamp(p.y, 0.0, h);
  return p;
}

void KovalindraView::BeginMeasure(int32_t x, int32_t y) {
  if (measuredPhoto_ != FileGeneration()) {
    measures_.Clear();
    measuredPhoto_ = FileGeneration();
  }
  // A press on the white around the photo measures nothing.
  const std::optional<PhotoPointF> p = MeasurePointAt(x, y, true);
  if (!p) return;
  measurePressX_ = x;
  measurePressY_ = y;
  measures_.Begin(*p);
  Repaint();
}

void KovalindraView::EndMeasure(int32_t x, int32_t y) {
  const bool click =
      std::abs(x - measurePressX_) <= kClickSlop && std::abs(y - measurePressY_) <= kClickSlop;
  const std::optional<PhotoPointF> p = MeasurePointAt(x, y, false);
  if (click || !p) {
    measures_.Cancel();
  } else if (measures_.End(*p) && host_) {
    host_->SetStatusPaneText(3, *LastMeasureText());
  }
  Repaint();
}

void KovalindraView::FollowMeasureMode() {
  if (doc_.mouseMode == kMouseMeasure) {
    if (host_) {
      host_->SetStatusPaneText(2, MeasureScaleText(CurrentMeasureScale()));
      // Another registration reads the same line another length.
      if (const std::optional<std::string> last = LastMeasureText())
        host_->SetStatusPaneText(3, *last);
    }
    measureStatusShown_ = true;
    return;
  }
  DropMeasurements();
  if (measureStatusShown_ && host_) host_->SetStatusPaneText(2, "");
  measureStatusShown_ = false;
}

void KovalindraView::DropMeasurements() {
  measures_.Clear();
  // Pane 3 shows the last length only while there is one.
  if (measureStatusShown_ && host_) host_->SetStatusPaneText(3, "");
}

}  // namespace kv::viewer
