#include "authoring/widgets/navi_window.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>

#include "foundation/core/util/text.h"
#include "foundation/shell/markers.h"
#include "platform/draw_surface.h"
#include "platform/tool_window_placement.h"
#include "platform/services.h"

namespace kv::authoring {
namespace {

constexpr platform::ColorRef kPink = platform::Rgb(255, 0, 204);
constexpr platform::ColorRef kGrey = platform::Rgb(184, 184, 184);
constexpr platform::ColorRef kYellowGreen = platform::Rgb(210, 255, 0);

}  // namespace

NaviWindow::NaviWindow(KovasandDoc& doc, KovasandView& view, platform::Profile* profile,
                       QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint),
      doc_(doc),
      view_(view),
      profile_(profile) {
  setObjectName("naviWindow");
  setWindowTitle(QString::fromUtf8("ﾅﾋﾞｳｨﾝﾄﾞｩ"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFixedSize(kThumbnailSide, kThumbnailSide);
}

NaviWindow::~NaviWindow() { SavePlacement(); }

void NaviWindow::Place() {
  if (!platform::PlaceFromProfile(*this, profile_, kPlacementSection, kNaviPlacementKey))
    move(kNaviDefaultX, kNaviDefaultY);
}

void NaviWindow::SavePlacement() {
  platform::SavePlacementToProfile(*this, profile_, kPlacementSection, kNaviPlacementKey);
}

QImage NaviWindow::Compose() const {
  QImage img(kThumbnailSide, kThumbnailSide, QImage::Format_RGB32);
  const DibImage& t = doc_.thumbnail.image;
  if (t.HasImage() && t.width == kThumbnailSide && t.height == kThumbnailSide &&
      t.byteSize >= t.Stride() * size_t(t.height)) {
    // Bottom-up rows: the first row in memory is the picture's last.
    const QImage wrapped(t.pixels.get(), t.width, t.height, qsizetype(t.Stride()),
                         QImage::Format_BGR888);
    img = wrapped.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
  } else {
    img.fill(Qt::black);
  }
  QPainter painter(&img);
  platform::DrawSurface surface(painter);
  const NavigatorMapping& nav = view_.Navigator();
  for (size_t i = 0; i < doc_.registrations.size(); ++i) {
    const SizeRegistration& r = doc_.registrations[i];
    const platform::ColorRef c = int32_t(i) == doc_.selectedIndex ? kPink : kGrey;
    const IntPoint a = nav.PhotoToThumb(r.startX, r.startY);
    const IntPoint b = nav.PhotoToThumb(r.endX, r.endY);
    shell::DrawSolidLine(surface, a.x, a.y, b.x, b.y, c, 2);
  }
  const VisibleFrame f = view_.NavigatorFrame();
  if (f.drawTop) shell::DrawDottedLine(surface, f.left, f.top, f.right, f.top, platform::kBlack, 1);
  if (f.drawLeft)
    shell::DrawDottedLine(surface, f.left, f.top, f.left, f.bottom, platform::kBlack, 1);
  if (f.drawBottom)
    shell::DrawDottedLine(surface, f.left, f.bottom, f.right, f.bottom, platform::kBlack, 1);
  if (f.drawRight)
    shell::DrawDottedLine(surface, f.right, f.top, f.right, f.bottom, platform::kBlack, 1);
  if (doc_.drawMode == kDrawEnd) {
    const SizeRegistration& p = view_.PendingRegistration();
    const IntPoint a = nav.PhotoToThumb(p.startX, p.startY);
    shell::DrawOutlinedMarkedPoint(surface, "始点", a.x, a.y, kYellowGreen);
  }
  painter.end();
  return img;
}

void NaviWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(QRect(0, 0, kThumbnailSide, kThumbnailSide), Compose());
}

void NaviWindow::Press(const QPointF& pos) {
  // The window is 240 x 240 in its own units whatever the screen's ratio:
  // its points are thumbnail pixels.
  view_.NavigatorPress(int32_t(pos.x()), int32_t(pos.y()));
}

void NaviWindow::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
  dragging_ = true;
  Press(e->position());
}

void NaviWindow::mouseMoveEvent(QMouseEvent* e) {
  if (dragging_ && (e->buttons() & Qt::LeftButton)) Press(e->position());
}

void NaviWindow::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(e);
  dragging_ = false;
  Press(e->position());
}

void NaviWindow::closeEvent(QCloseEvent* e) {
  // It lives as long as the view.
  e->ignore();
}

}  // namespace kv::authoring
