#include "authoring/widgets/view_widget.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "authoring/widgets/artwork.h"
#include "authoring/widgets/dialogs.h"
#include "authoring/widgets/navi_window.h"
#include "authoring/widgets/parts_list_window.h"
#include "foundation/shell/markers.h"
#include "foundation/shell/program.h"
#include "platform/draw_surface.h"

namespace kv::authoring {

KovasandViewWidget::KovasandViewWidget(KovasandDoc& doc, shell::AppContext& context,
                                       QWidget* parent)
    : QAbstractScrollArea(parent),
      doc_(doc),
      context_(context),
      banner_(MakeStartBanner()),
      startCursor_(MakeRegistrationCursor(false)),
      endCursor_(MakeRegistrationCursor(true)) {
  setObjectName("kovasandView");
  // The viewport is the whole client area: its size is what the view counts.
  setFrameShape(QFrame::NoFrame);
  viewport()->setObjectName("kovasandViewport");
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setMinimumSize(64, 64);
  model_ = std::make_unique<KovasandView>(doc_, *this);
  horizontalScrollBar()->installEventFilter(this);
  verticalScrollBar()->installEventFilter(this);
}

bool KovasandViewWidget::eventFilter(QObject* watched, QEvent* e) {
  // Not over the scroll bars either.
  if (e->type() == QEvent::Wheel &&
      (watched == horizontalScrollBar() || watched == verticalScrollBar()))
    return true;
  return QAbstractScrollArea::eventFilter(watched, e);
}

KovasandViewWidget::~KovasandViewWidget() {
  // The tool windows refer to the view model: they go first, keeping their
  // positions.
  delete list_.data();
  delete navi_.data();
}

void KovasandViewWidget::EnsureToolWindows() {
  QWidget* owner = context_.MainWindow();
  platform::Profile* profile = context_.Services().profile;
  if (!navi_) {
    navi_ = new NaviWindow(doc_, *model_, profile, owner);
    navi_->Place();
    navi_->show();
  }
  if (!list_) {
    list_ = new PartsListWindow(doc_, profile, owner);
    // Shown first: its frame's size is known only then.
    list_->show();
    list_->Place(navi_->frameGeometry());
  }
}

void KovasandViewWidget::SaveToolWindowPlacement() {
  if (navi_) navi_->SavePlacement();
  if (list_) list_->SavePlacement();
}

double KovasandViewWidget::Ratio() const {
  const double r = viewport()->devicePixelRatioF();
  return r > 0 ? r : 1.0;
}

QSize KovasandViewWidget::DeviceSize() const {
  const double r = Ratio();
  const QSize s = viewport()->size();
  return QSize(int(std::lround(s.width() * r)), int(std::lround(s.height() * r)));
}

QPoint KovasandViewWidget::ToDevice(const QPointF& p) const {
  const double r = Ratio();
  return QPoint(int(std::floor(p.x() * r)), int(std::floor(p.y() * r)));
}

void KovasandViewWidget::SyncSize() {
  const QSize d = DeviceSize();
  if (d.width() != model_->ClientWidth() || d.height() != model_->ClientHeight())
    model_->SetClientSize(d.width(), d.height());
}

void KovasandViewWidget::resizeEvent(QResizeEvent*) { SyncSize(); }
void KovasandViewWidget::showEvent(QShowEvent*) { SyncSize(); }
void KovasandViewWidget::changeEvent(QEvent* e) {
  // Another screen may have another pixel ratio, so another device size.
  if (e->type() == QEvent::ScreenChangeInternal) SyncSize();
  QAbstractScrollArea::changeEvent(e);
}

// --- host ----------------------------------------------------------------------

void KovasandViewWidget::InvalidateView() {
  viewport()->update();
  UpdateCursor();
}

void KovasandViewWidget::RedrawNavigator() {
  if (navi_) navi_->Redraw();
}

void KovasandViewWidget::RefillList() {
  if (list_) list_->Refill();
}

void KovasandViewWidget::ScrollRangeChanged() {
  photoLayer_ = QImage();
  syncingBars_ = true;
  QScrollBar* h = horizontalScrollBar();
  QScrollBar* v = verticalScrollBar();
  h->setRange(0, model_->MaxScrollX());
  h->setPageStep(std::max(1, model_->PageStepX()));
  h->setSingleStep(std::max(1, model_->LineStepX()));
  h->setValue(model_->ScrollX());
  v->setRange(0, model_->MaxScrollY());
  v->setPageStep(std::max(1, model_->PageStepY()));
  v->setSingleStep(std::max(1, model_->LineStepY()));
  v->setValue(model_->ScrollY());
  syncingBars_ = false;
  viewport()->update();
  if (model_->Scale() != shownScale_) {
    shownScale_ = model_->Scale();
    emit ScaleChanged(shownScale_);
  }
}

// --- zoom ----------------------------------------------------------------------

void KovasandViewWidget::Zoomed() {
  // The model told the bars, the view and the navigator; the menu's
  // enabled states follow here.
  context_.UpdateCommandUi();
}

void KovasandViewWidget::ZoomIn() {
  model_->ZoomIn();
  Zoomed();
}

void KovasandViewWidget::ZoomOut() {
  model_->ZoomOut();
  Zoomed();
}

void KovasandViewWidget::ZoomFit() {
  model_->ZoomFit();
  Zoomed();
}

void KovasandViewWidget::ZoomActual() {
  model_->ZoomActual();
  Zoomed();
}

std::optional<int32_t> KovasandViewWidget::AskMeasuredLength(int32_t imageLengthPx) {
  if (askLength_) return askLength_(imageLengthPx);
  SizeDoneDialog dialog(imageLengthPx, doc_.Services().messages, context_.MainWindow());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.MeasuredMm();
}

void KovasandViewWidget::scrollContentsBy(int, int) {
  if (syncingBars_) return;
  model_->SetScroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
  RedrawNavigator();
  viewport()->update();
}

// --- painting ------------------------------------------------------------------

QImage KovasandViewWidget::PhotoLayer(const QSize& size) {
  const KovasandView& m = *model_;
  const PhotoKey key{doc_.image.pixels.get(), m.Scale(),          m.ScrollX(),  m.ScrollY(),
                     m.DisplayOffsetX(),      m.DisplayOffsetY(), size.width(), size.height()};
  if (photoLayer_.isNull() || !(key == photoKey_)) {
    photoLayer_ = QImage(size, QImage::Format_RGB32);
    photoLayer_.fill(QColor(230, 230, 230));
    // Only the window's part of the photo is scaled, into the picture
    // itself: a magnified photo as a whole would not fit in memory.
    m.RenderPhoto(reinterpret_cast<uint32_t*>(photoLayer_.bits()),
                  size_t(photoLayer_.bytesPerLine()));
    photoKey_ = key;
  }
  return photoLayer_;
}

QImage KovasandViewWidget::ComposeFrame() {
  SyncSize();
  const QSize size(std::max(1, model_->ClientWidth()), std::max(1, model_->ClientHeight()));
  // The marks are drawn over a copy of the photo layer, kept for the next
  // paint.
  QImage frame = PhotoLayer(size);
  frame.detach();
  QPainter painter(&frame);
  platform::DrawSurface surface(painter);
  if (doc_.jpegPath.empty()) painter.drawImage(kBannerX, kBannerY, banner_);
  for (size_t i = 0; i < doc_.registrations.size(); ++i) {
    const SizeRegistration& r = doc_.registrations[i];
    const platform::ColorRef c =
        int32_t(i) == doc_.selectedIndex ? kSelectedColor : kRegistrationColor;
    const IntPoint s = model_->PhotoToClient(r.startX, r.startY);
    const IntPoint e = model_->PhotoToClient(r.endX, r.endY);
    const IntPoint m = model_->PhotoToClient(r.centerX, r.centerY);
    shell::DrawMarkedPoint(surface, std::string("始点"), s.x, s.y, c);
    shell::DrawMarkedPoint(surface, std::string("終点"), e.x, e.y, c);
    shell::DrawMarkedPoint(surface, std::string("中心"), m.x, m.y, c);
    shell::DrawSolidLine(surface, s.x, s.y, e.x, e.y, c, 2);
    shell::DrawSolidLine(surface, s.x, s.y, e.x, e.y, kInnerLineColor, 1);
  }
  if (doc_.drawMode == kDrawEnd) {
    const SizeRegistration& p = model_->PendingRegistration();
    const IntPoint s = model_->PhotoToClient(p.startX, p.startY);
    shell::DrawOutlinedMarkedPoint(surface, "始点", s.x, s.y, kPendingColor);
  }
  painter.end();
  return frame;
}

void KovasandViewWidget::paintEvent(QPaintEvent*) {
  QImage frame = ComposeFrame();
  // The picture is as large as the viewport in device pixels: the scale
  // counts device pixels.
  frame.setDevicePixelRatio(Ratio());
  QPainter p(viewport());
  p.drawImage(QPointF(0, 0), frame);
}

// --- mouse ---------------------------------------------------------------------

void KovasandViewWidget::UpdateCursor() {
  switch (doc_.drawMode) {
    case kDrawStart: viewport()->setCursor(startCursor_); break;
    case kDrawEnd: viewport()->setCursor(endCursor_); break;
    default: viewport()->unsetCursor(); break;
  }
}

QPointF KovasandViewWidget::ExactPosition(const QMouseEvent* e) const {
  // Widgets receive positions (and global ones) rounded to whole logical
  // pixels, which at a pixel ratio above 1 loses device pixels (only even
  // ones at 2). The position in the window keeps its fractions; the
  // viewport lies a whole number of logical pixels inside the window.
  const QPointF exact =
      e->scenePosition() - QPointF(viewport()->mapTo(viewport()->window(), QPoint(0, 0)));
  const QPointF rounded = e->position();
  if (std::abs(exact.x() - rounded.x()) <= 1.0 && std::abs(exact.y() - rounded.y()) <= 1.0)
    return exact;
  return rounded;
}

void KovasandViewWidget::mousePressEvent(QMouseEvent* e) {
  const QPoint d = ToDevice(ExactPosition(e));
  if (e->button() == Qt::LeftButton) {
    model_->OnLeftButtonDown(d.x(), d.y());
  } else if (e->button() == Qt::RightButton) {
    model_->OnRightButtonDown();
  } else {
    return QAbstractScrollArea::mousePressEvent(e);
  }
  UpdateCursor();
  context_.UpdateCommandUi();
}

void KovasandViewWidget::mouseDoubleClickEvent(QMouseEvent* e) {
  // Two quick clicks close together are a start and an end, not a double
  // click to be ignored.
  mousePressEvent(e);
}

void KovasandViewWidget::mouseMoveEvent(QMouseEvent*) { UpdateCursor(); }

void KovasandViewWidget::wheelEvent(QWheelEvent* e) {
  e->accept();
  // The wheel alone does nothing here: a photo being measured must not
  // move between the two clicks. With Ctrl it zooms about the pointer, a
  // table step per notch; a touchpad's small deltas add up to notches.
  if (!(e->modifiers() & Qt::ControlModifier)) {
    wheel_.Reset();
    return;
  }
  const int delta = e->angleDelta().y();
  if (delta == 0) return;
  const int notches = wheel_.Add(delta);
  const QPoint at = ToDevice(e->position());
  for (int n = notches; n != 0; n += n > 0 ? -1 : 1)
    model_->ZoomAbout(n > 0 ? ZoomStepAbove(model_->Scale()) : ZoomStepBelow(model_->Scale()),
                      at.x(), at.y());
  if (notches != 0) Zoomed();
}

void KovasandViewWidget::keyPressEvent(QKeyEvent* e) {
  if (!(e->modifiers() & (Qt::AltModifier | Qt::MetaModifier))) {
    switch (e->key()) {
      case Qt::Key_Plus:
      case Qt::Key_Equal:  // + without Shift on many keyboards
        ZoomIn();
        return e->accept();
      case Qt::Key_Minus:
        ZoomOut();
        return e->accept();
      case Qt::Key_Escape:
        // As the right button: the registration under way is given up.
        if (doc_.drawMode != kDrawIdle) {
          model_->OnRightButtonDown();
          UpdateCursor();
          context_.UpdateCommandUi();
          return e->accept();
        }
        break;
      default: break;
    }
  }
  QAbstractScrollArea::keyPressEvent(e);
}

void KovasandViewWidget::contextMenuEvent(QContextMenuEvent* e) {
  // The right button cancels a registration; there is no menu.
  e->accept();
}

}  // namespace kv::authoring
