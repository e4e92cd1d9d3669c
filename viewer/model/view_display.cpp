// The view's display composer: the display image of the visible part, the
// halved levels it resamples from, the adjusted copy and the back buffer.
#include "viewer/model/viewer_view.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "foundation/core/util/encoding.h"
#include "foundation/core/util/text.h"
#include "kvi/hit_test.h"
#include "viewer/model/adjust.h"
#include "viewer/model/display_compose.h"

namespace kv::viewer {

void KovalindraView::MakeBuffers() {
  SyncPhotoSize();
  const int32_t cw = scale_.clientWidth, ch = scale_.clientHeight;
  if (cw <= 0 || ch <= 0) return;
  if (!back_ || back_->Width() != cw || back_->Height() != ch) MakeColorIplImage(back_, cw, ch);
  EnsureDisplaySize();
}

int32_t KovalindraView::DisplayPad() const { return DisplayPadFor(scale_.zoom); }

void KovalindraView::EnsureDisplaySize() {
  const int32_t cw = scale_.clientWidth, ch = scale_.clientHeight;
  if (cw <= 0 || ch <= 0) return;
  const int32_t w = cw + DisplayPad(), h = ch + DisplayPad();
  if (!display_ || display_->Width() != w || display_->Height() != h) {
    MakeColorIplImage(display_, w, h);
    ReleaseIplImage(adjusted_);  // made at this size when first needed
    adjustedFor_ = -1;
    displayValid_ = false;
  }
}

void KovalindraView::RebuildDisplay() {
  if (!display_) return;
  EnsureDisplaySize();
  const ViewScale& s = scale_;
  const DisplayKey key{s.zoom,          s.originX,     s.originY,     s.visibleWidth,
                       s.visibleHeight, s.clientWidth, s.clientHeight, session_.PhotoGeneration()};
  if (displayValid_ && key == displayKey_) return;
  displayKey_ = key;
  displayValid_ = true;
  ++rebuilds_;
  Image* source = session_.MutablePhoto();
  std::vector<IplImageSlot>& levels = session_.Levels();
  if (!source || !s.HasScale() || s.visibleWidth <= 0 || s.visibleHeight <= 0) {
    display_->ClearRoi();
    FillImage(*display_, 255);
    return;
  }
  int shift = 0;
  Image* from = source;
  if (s.zoom == 1.0 && session_.Shift() == 0) {
    levels.clear();  // halved copies are made again in a few milliseconds when wanted
  } else {
    from = LevelFor(s.zoom, shift);
    // Only the halved copy this scale reads is kept: the ones between it and
    // the photo are a third of the photo again, and a step of zoom makes
    // the one it needs in a few milliseconds.
    const size_t used = size_t(shift - session_.Shift());
    if (levels.size() > used) levels.resize(used);
    for (size_t k = 0; k + 1 < levels.size(); ++k) levels[k].reset();
  }
  // The worker that decoded the photo composed the display it opens at.
  if (IplImageSlot made = session_.TakePreparedDisplay(PlaceOf(s));
      made && made->Width() == display_->Width() && made->Height() == display_->Height()) {
    display_ = std::move(made);
    ++takenOver_;
    return;
  }
  ComposeDisplay(*from, shift, s, *display_);
}

Image* KovalindraView::LevelFor(double zoom, int& shift) {
  // A reduced first frame counts as the level it stands for.
  Image& photo = *session_.MutablePhoto();
  const int top = session_.Shift();
  std::vector<IplImageSlot>& levels = session_.Levels();
  if (Image* kept = ExistingLevelFor(photo, top, levels, zoom, shift)) return kept;
  // `shift` is the depth wanted. The copies on the way may have been let go
  // (a neighbour keeps only the one it reads): halving starts again from
  // the deepest copy there is, not from the photo.
  const size_t wanted = size_t(shift - top);
  size_t have = wanted - 1;
  while (have > 0 && (have > levels.size() || !levels[have - 1])) --have;
  Image* best = have == 0 ? &photo : levels[have - 1].get();
  if (levels.size() < wanted) levels.resize(wanted);
  for (size_t k = have; k < wanted; ++k) {
    IplImageSlot next = HalvedCopy(*best);
    if (!next) {
      shift = top + int(k);  // nothing made past the last copy that could be
      break;
    }
    levels[k] = std::move(next);
    best = levels[k].get();
  }
  while (!levels.empty() && !levels.back()) levels.pop_back();
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
  if (const Image* drawn = DrawnDisplay()) {
    // A negative offset is what is left of a drag between photo pixels.
    Image& shown = const_cast<Image&>(*drawn);
    shown.SetRoi({std::max(0, -scale_.offsetX), std::max(0, -scale_.offsetY), shown.Width(),
                  shown.Height()});
    b.SetRoi({ox, oy, b.Width() - ox, b.Height() - oy});
    CopyImage(shown, b);
    shown.ClearRoi();
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

}  // namespace kv::viewer
