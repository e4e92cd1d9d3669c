#include "authoring/widgets/view_widget.h"

#include <QContextMenuEvent>
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

void KovasandViewWidget::DrawPhoto(QPainter& painter) {
  const DibImage& img = doc_.image;
  if (!img.HasImage() || img.width <= 0 || img.height <= 0 ||
      img.byteSize < img.Stride() * size_t(img.height))
    return;
  const KovasandView& m = *model_;
  // The photo's rectangle in the window, cut to the window.
  const IntPoint at = m.PhotoToClient(0, 0);
  const QRect photo(at.x, at.y, img.width, img.height);
  const QRect shown = photo.intersected(QRect(0, 0, m.ClientWidth(), m.ClientHeight()));
  if (shown.isEmpty()) return;
  const int sx = shown.x() - at.x, sy = shown.y() - at.y;
  // Only the visible rows, wrapped where they lie; rows start 4-aligned, so
  // the wrap begins at the row's start and the source rectangle skips to sx.
  const QImage rows(img.Row(sy), sx + shown.width(), shown.height(), qsizetype(img.Stride()),
                    QImage::Format_BGR888);
  painter.drawImage(shown.topLeft(), rows, QRect(sx, 0, shown.width(), shown.height()));
}

QImage KovasandViewWidget::ComposeFrame() {
  SyncSize();
  const QSize size(std::max(1, model_->ClientWidth()), std::max(1, model_->ClientHeight()));
  QImage frame(size, QImage::Format_RGB32);
  frame.fill(QColor(230, 230, 230));
  QPainter painter(&frame);
  DrawPhoto(painter);
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
    shell::DrawMarkedPoint(surface, std::string("始点"), s.x, s.y, kPendingColor);
  }
  painter.end();
  return frame;
}

void KovasandViewWidget::paintEvent(QPaintEvent*) {
  QImage frame = ComposeFrame();
  // One device pixel per photo pixel: the picture is as large as the
  // viewport in device pixels.
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

void KovasandViewWidget::mousePressEvent(QMouseEvent* e) {
  const QPoint d = ToDevice(e->position());
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

void KovasandViewWidget::mouseMoveEvent(QMouseEvent*) { UpdateCursor(); }

void KovasandViewWidget::wheelEvent(QWheelEvent* e) {
  // The wheel does nothing here: a photo being measured must not move
  // between the two clicks.
  e->accept();
}

void KovasandViewWidget::contextMenuEvent(QContextMenuEvent* e) {
  // The right button cancels a registration; there is no menu.
  e->accept();
}

}  // namespace kv::authoring
