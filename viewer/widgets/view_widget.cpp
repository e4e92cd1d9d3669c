#include "viewer/widgets/view_widget.h"

#include <QContextMenuEvent>
#include <QFont>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QPainter>
#include <QPainterPath>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <utility>

#include "foundation/shell/markers.h"
#include "foundation/shell/program.h"
#include "platform/draw_surface.h"
#include "platform/qt_services.h"
#include "platform/qt_text.h"
#include "viewer/widgets/artwork.h"

namespace kv::viewer {

using platform::Utf8ToQString;

namespace {
// A step that shows its photo sooner than this shows no wait cursor.
constexpr int kWaitCursorDelayMs = 300;
}  // namespace
ScreenId ScreenIdOf(const QScreen* s) {
  const double r = s->devicePixelRatio() > 0 ? s->devicePixelRatio() : 1.0;
  const QSizeF mm = s->physicalSize();
  return ScreenId{s->name().toStdString(),
                  s->manufacturer().toStdString(),
                  s->model().toStdString(),
                  int32_t(std::lround(s->geometry().width() * r)),
                  int32_t(std::lround(s->geometry().height() * r)),
                  int32_t(std::lround(mm.width())),
                  int32_t(std::lround(mm.height()))};
}

KovalindraViewWidget::KovalindraViewWidget(KovalindraDoc& doc, shell::AppContext& context,
                                           QWidget* parent)
    : QWidget(parent), doc_(doc), context_(context) {
  setObjectName("kovalindraView");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(64, 64);
  model_ = std::make_unique<KovalindraView>(doc_, this);
  welcome_ = MakeWelcomePanel(welcomeRatio_);
  // Another screen made primary decides where a calibration is kept.
  connect(qGuiApp, &QGuiApplication::primaryScreenChanged, this, [this] { UpdateScreen(); });
  waitTimer_.setSingleShot(true);
  waitTimer_.setInterval(kWaitCursorDelayMs);
  connect(&waitTimer_, &QTimer::timeout, this, [this] {
    if (waitShown_ || !model_->Session().Pending()) return;
    waitShown_ = true;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  });
  UpdateScreen();
}

void KovalindraViewWidget::UpdateScreen() {
  QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!s) return;
  if (s != watched_) {
    disconnect(geometryWatch_);
    disconnect(dpiWatch_);
    watched_ = s;
    auto changed = [this] {
      UpdateScreen();
      SyncSize();
    };
    geometryWatch_ = connect(s, &QScreen::geometryChanged, this, changed);
    dpiWatch_ = connect(s, &QScreen::logicalDotsPerInchChanged, this, changed);
  }
  const QScreen* primary = QGuiApplication::primaryScreen();
  const ScreenId id = ScreenIdOf(s);
  const QSizeF mm = s->physicalSize();
  model_->SetDeviceRatio(Ratio());
  const QSize d = DeviceSize();
  model_->OnScreenChanged(id, primary ? ScreenIdOf(primary) : id,
                          EstimateFromScreen(mm.width(), mm.height(), id.widthPx, id.heightPx),
                          d.width(), d.height());
}

KovalindraViewWidget::~KovalindraViewWidget() { PhotoPending(false); }

void KovalindraViewWidget::PhotoPending(bool pending) {
  if (pending) {
    if (!waitShown_ && !waitTimer_.isActive()) waitTimer_.start();
    return;
  }
  waitTimer_.stop();
  if (waitShown_) QGuiApplication::restoreOverrideCursor();
  waitShown_ = false;
}

double KovalindraViewWidget::Ratio() const {
  const double r = devicePixelRatioF();
  return r > 0 ? r : 1.0;
}

QSize KovalindraViewWidget::DeviceSize() const {
  const double r = Ratio();
  return QSize(int(std::lround(width() * r)), int(std::lround(height() * r)));
}

QPoint KovalindraViewWidget::ToDevice(const QPointF& p) const {
  const double r = Ratio();
  return QPoint(int(std::floor(p.x() * r)), int(std::floor(p.y() * r)));
}

void KovalindraViewWidget::SyncSize() {
  model_->SetDeviceRatio(Ratio());
  const QSize d = DeviceSize();
  const ViewScale& s = model_->Scale();
  if (d.width() != s.clientWidth || d.height() != s.clientHeight)
    model_->OnSize(d.width(), d.height());
}

void KovalindraViewWidget::resizeEvent(QResizeEvent*) { SyncSize(); }
void KovalindraViewWidget::showEvent(QShowEvent*) {
  SyncSize();
  // The toolbox comes up with the window the first time, not before it.
  if (!shownOnce_) {
    shownOnce_ = true;
    if (model_->toolboxShown) ShowToolbox(true);
  }
}
bool KovalindraViewWidget::event(QEvent* e) {
  const bool handled = QWidget::event(e);
  // QWidget takes the screen change itself and never passes it on to
  // changeEvent. Another screen has its own calibration, and one of
  // another pixel ratio gives the view another device size.
  if (e->type() == QEvent::ScreenChangeInternal) {
    UpdateScreen();
    SyncSize();
  }
  return handled;
}

void KovalindraViewWidget::Repaint() {
  update();
  if (onRepaint) onRepaint();
}

void KovalindraViewWidget::SetStatusPaneText(int pane, const std::string& utf8) {
  context_.SetStatusPaneText(pane, Utf8ToQString(utf8));
}

void KovalindraViewWidget::PhotoChanged() {
  // Commands that need the photo (or its registrations at real size) turn
  // on as it arrives, not at the next menu the user happens to open.
  context_.UpdateCommandUi();
  Repaint();
}

void KovalindraViewWidget::TitleChanged() {
  context_.UpdateFrameTitle();
  if (onTitleChanged) onTitleChanged();
  const auto& folder = doc_.Folder();
  if (doc_.FolderIndex() < folder.size())
    setWindowTitle(Utf8ToQString(folder[doc_.FolderIndex()].name));
}

void KovalindraViewWidget::OpenLink(const std::string& utf8) {
  if (platform::Shell* shell = context_.Services().shell) shell->Open(utf8);
}

void KovalindraViewWidget::ShowToolbox(bool shown) {
  if (onShowToolbox) onShowToolbox(shown);
}

bool KovalindraViewWidget::IsFullScreen() const { return context_.IsFullScreen(); }

void KovalindraViewWidget::SetFullScreen(bool on) {
  if (on == context_.IsFullScreen()) return;
  model_->KeepCentreThroughResize();
  on ? context_.EnterFullScreen() : context_.LeaveFullScreen();
}

namespace {

QColor ToQColor(platform::ColorRef c) {
  return QColor(platform::RedOf(c), platform::GreenOf(c), platform::BlueOf(c));
}

// A dimension line: the segment with short bars across its ends, white
// under the colour so it shows on any photo.
void DrawMeasureSegment(QPainter& p, const MeasureLine& m, double ratio) {
  const QColor colour = ToQColor(kMeasureColor);
  const QPointF a(m.x1 + 0.5, m.y1 + 0.5), b(m.x2 + 0.5, m.y2 + 0.5);
  const QPointF d = b - a;
  const double length = std::hypot(d.x(), d.y());
  // Across the line; straight up for a line of no length yet.
  const QPointF across = length > 0 ? QPointF(-d.y() / length, d.x() / length) : QPointF(0, -1);
  const QPointF bar = across * (5 * ratio);
  const double core = std::max(1.0, std::round(2 * ratio));
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  for (const auto& [pen, width] : {std::pair{QColor(Qt::white), core + 2 * ratio},
                                   std::pair{colour, core}}) {
    p.setPen(QPen(pen, width, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(a, b);
    p.drawLine(a - bar, a + bar);
    p.drawLine(b - bar, b + bar);
  }
  p.restore();
}

QFont MeasureFont(double ratio) {
  QFont f(platform::DefaultGothicFace());
  f.setPixelSize(std::max(8, int(std::lround(12 * ratio))));
  return f;
}

// How wide the drawn line is with its white rim and end bars, in device pixels.
double MeasureLineWidth(double ratio) {
  return std::max(1.0, std::round(2 * ratio)) + 2 * ratio + 10 * ratio;
}

// The captions of all lines, each beside its own line and clear of every
// line and of each other (drawn after all lines, so none is covered).
void DrawMeasureOverlay(QPainter& p, const std::vector<MeasureLine>& lines, double ratio) {
  for (const MeasureLine& m : lines) DrawMeasureSegment(p, m, ratio);
  p.save();
  p.setFont(MeasureFont(ratio));
  std::vector<std::pair<double, double>> sizes;
  for (const MeasureLine& m : lines) {
    const QRectF text = p.fontMetrics().boundingRect(Utf8ToQString(m.caption));
    sizes.emplace_back(text.width() + 8 * ratio, text.height() + 4 * ratio);
  }
  const std::vector<LabelBox> boxes =
      PlaceMeasureLabels(lines, sizes, p.device()->width(), p.device()->height(),
                         MeasureLineWidth(ratio), 3 * ratio);
  const QColor colour = ToQColor(kMeasureColor);
  for (size_t i = 0; i < boxes.size(); ++i) {
    const QRectF at(boxes[i].x, boxes[i].y, boxes[i].width, boxes[i].height);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(colour, std::max(1.0, std::round(ratio))));
    p.setBrush(QColor(255, 255, 255, lines[i].pending ? 200 : 235));
    p.drawRoundedRect(at, 3 * ratio, 3 * ratio);
    p.setPen(QColor(40, 30, 20));
    p.drawText(at, Qt::AlignCenter, Utf8ToQString(lines[i].caption));
  }
  p.restore();
}

}  // namespace

void KovalindraViewWidget::DrawCalibrationGuide(platform::DrawSurface& surface, QPainter& painter) {
  // The cross's middle is the pixel the calibration measures from, at
  // every pixel ratio: a sheet laid on it gives the length clicked.
  const int x = KovalindraDoc::AnchorX();
  const int y = KovalindraDoc::AnchorY(model_->Scale().clientHeight);
  const double r = Ratio();
  const int arm = int(std::lround(kGuideCrossArm * r));
  const int halo = std::max(1, int(std::lround(r)));
  painter.fillRect(QRect(x - arm - halo, y - halo, 2 * (arm + halo) + 1, 2 * halo + 1), Qt::white);
  painter.fillRect(QRect(x - halo, y - arm - halo, 2 * halo + 1, 2 * (arm + halo) + 1), Qt::white);
  painter.fillRect(QRect(x - arm, y, 2 * arm + 1, 1), Qt::black);
  painter.fillRect(QRect(x, y - arm, 1, 2 * arm + 1), Qt::black);
  // The words beside it, without the cross glyph the caption starts with.
  std::string words = doc_.GuideCaption();
  for (const char* lead : {"┼　", "┼"})
    if (words.starts_with(lead)) {
      words.erase(0, std::string(lead).size());
      break;
    }
  shell::DrawCaption(surface, x + arm + int(std::lround(4 * r)), y - arm / 2, words, 12, 0,
                     platform::kBlack, r);
}

QImage KovalindraViewWidget::ComposeFrame() {
  SyncSize();
  model_->RenderBackBuffer();
  const Image* back = model_->BackBuffer();
  if (!back) return QImage();
  // The model's BGRA rows are Qt's RGB32 in memory; the copy is what the
  // overlays are drawn on, so the back buffer stays as rendered.
  QImage frame(back->Row(0), back->Width(), back->Height(), qsizetype(back->Stride()),
               QImage::Format_RGB32);
  frame = frame.copy();
  QPainter painter(&frame);
  platform::DrawSurface surface(painter);
  for (const GuideLine& l : model_->GuideLines())
    shell::DrawDashedLine(surface, l.x1, l.y1, l.x2, l.y2, l.color);
  DrawMeasureOverlay(painter, model_->MeasureOverlay(), Ratio());
  const DisplayCalibration& cal = doc_.Calibration();
  if (model_->showCalibrationMarks && !context_.IsFullScreen()) {
    shell::DrawMarkedPoint(surface, std::string("ディスプレイＡ"), cal.pt1x, cal.pt1y,
                           kCalibrationMarkColor);
    shell::DrawMarkedPoint(surface, std::string("ディスプレイＢ"), cal.pt2x, cal.pt2y,
                           kCalibrationMarkColor);
  }
  if (model_->ShowsHotIcons()) {
    // Drawn at the screen's pixel ratio where their hot spots are.
    if (iconRatio_ != Ratio()) {
      iconRatio_ = Ratio();
      returnIcon_ = MakeHiddenToolboxIcon(true, iconRatio_);
      toolboxIcon_ = MakeHiddenToolboxIcon(false, iconRatio_);
    }
    const ClientRect ret = model_->ReturnIconRect(), tool = model_->ShowToolboxIconRect();
    painter.drawImage(QRectF(ret.left, ret.top, ret.right - ret.left, ret.bottom - ret.top),
                      returnIcon_);
    painter.drawImage(QRectF(tool.left, tool.top, tool.right - tool.left, tool.bottom - tool.top),
                      toolboxIcon_);
  }
  if (const std::optional<ClientRect> band = model_->SelectionRect()) {
    // Black dots over white, so the band shows on dark and light photos.
    const ClientRect& b = *band;
    const int pts[5][2] = {{b.left, b.top}, {b.left, b.bottom}, {b.right, b.bottom},
                           {b.right, b.top}, {b.left, b.top}};
    for (int i = 0; i < 4; ++i) {
      shell::DrawSolidLine(surface, pts[i][0], pts[i][1], pts[i + 1][0], pts[i + 1][1],
                           platform::kWhite, 1);
      shell::DrawDottedLine(surface, pts[i][0], pts[i][1], pts[i + 1][0], pts[i + 1][1],
                            platform::kBlack, 1);
    }
  }
  if (model_->ShowsWelcome()) {
    if (welcomeRatio_ != Ratio()) {
      welcomeRatio_ = Ratio();
      welcome_ = MakeWelcomePanel(welcomeRatio_);
    }
    painter.drawImage(model_->WelcomeX(), model_->WelcomeY(), welcome_);
  }
  // Over the welcome panel, which at a high pixel ratio reaches the anchor.
  if (doc_.CalibrationPending()) DrawCalibrationGuide(surface, painter);
  painter.end();
  return frame;
}

void KovalindraViewWidget::paintEvent(QPaintEvent*) {
  QImage frame = ComposeFrame();
  QPainter p(this);
  if (frame.isNull()) {
    p.fillRect(rect(), Qt::white);
    return;
  }
  // Device pixels one to one: a photo pixel at scale 1.0 is one pixel of the glass.
  frame.setDevicePixelRatio(Ratio());
  p.drawImage(QPointF(0, 0), frame);
}

namespace {

ViewerCursorId CursorIdOf(ViewCursor c) {
  switch (c) {
    case ViewCursor::Scroll: return ViewerCursorId::OpenHand;
    case ViewCursor::Grab: return ViewerCursorId::GrabHand;
    case ViewCursor::ZoomIn: return ViewerCursorId::ZoomIn;
    case ViewCursor::ZoomOut: return ViewerCursorId::ZoomOut;
    case ViewCursor::Calibration: return ViewerCursorId::CalibrationRightEnd;
    case ViewCursor::Registration: return ViewerCursorId::Registration;
    case ViewCursor::Logo: return ViewerCursorId::LogoLink;
    case ViewCursor::ShowToolboxIcon: return ViewerCursorId::ShowToolbox;
    case ViewCursor::ReturnIcon: return ViewerCursorId::ReturnView;
    case ViewCursor::Measure: return ViewerCursorId::Measure;
  }
  return ViewerCursorId::OpenHand;
}

bool ZoomOutHeld(Qt::KeyboardModifiers mods) {
  return mods & (Qt::ControlModifier | Qt::AltModifier);
}

std::optional<ViewKey> ViewKeyOf(int key) {
  switch (key) {
    case Qt::Key_Left: return ViewKey::Left;
    case Qt::Key_Right: return ViewKey::Right;
    case Qt::Key_Up: return ViewKey::Up;
    case Qt::Key_Down: return ViewKey::Down;
    case Qt::Key_PageUp: return ViewKey::PageUp;
    case Qt::Key_PageDown: return ViewKey::PageDown;
    case Qt::Key_Home: return ViewKey::Home;
    case Qt::Key_End: return ViewKey::End;
    case Qt::Key_Plus:
    case Qt::Key_Equal: return ViewKey::Plus;  // "+" without Shift on many layouts
    case Qt::Key_Minus: return ViewKey::Minus;
    case Qt::Key_Escape: return ViewKey::Escape;
    case Qt::Key_F11: return ViewKey::F11;
    default: return std::nullopt;
  }
}

}  // namespace

void KovalindraViewWidget::UpdateCursor(const QPoint& d, Qt::KeyboardModifiers mods) {
  setCursor(ViewerCursor(CursorIdOf(model_->CursorAt(d.x(), d.y(), ZoomOutHeld(mods))), Ratio()));
}

void KovalindraViewWidget::UpdateCursorHere(Qt::KeyboardModifiers mods) {
  const QPoint local = mapFromGlobal(QCursor::pos());
  if (rect().contains(local)) UpdateCursor(ToDevice(local), mods);
}

void KovalindraViewWidget::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
  const QPoint d = ToDevice(e->position());
  model_->OnLeftButtonDown(d.x(), d.y());
  UpdateCursor(d, e->modifiers());
  context_.UpdateCommandUi();
}

void KovalindraViewWidget::mouseMoveEvent(QMouseEvent* e) {
  const QPoint d = ToDevice(e->position());
  if (e->buttons() & Qt::LeftButton) {
    model_->OnMouseMove(d.x(), d.y());
  } else if (model_->Dragging() || model_->SelectionRect() || model_->MeasureDragging()) {
    // The release happened where this window could not see it.
    model_->OnCaptureLost();
  }
  UpdateCursor(d, e->modifiers());
}

void KovalindraViewWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(e);
  const QPoint d = ToDevice(e->position());
  model_->OnLeftButtonUp(d.x(), d.y(), ZoomOutHeld(e->modifiers()));
  UpdateCursor(d, e->modifiers());
  context_.UpdateCommandUi();
}

void KovalindraViewWidget::wheelEvent(QWheelEvent* e) {
  const int delta = e->angleDelta().y();
  const bool held = e->buttons() != Qt::NoButton;
  const bool blocked = e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
  if (model_->OnWheel(delta, blocked, held) > 0) context_.UpdateCommandUi();
  e->accept();
}

void KovalindraViewWidget::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Control || e->key() == Qt::Key_Alt) {
    UpdateCursorHere(e->modifiers());
    return QWidget::keyPressEvent(e);  // Alt still reaches the menu bar
  }
  const std::optional<ViewKey> key = ViewKeyOf(e->key());
  if (!key || (e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
    return QWidget::keyPressEvent(e);
  model_->OnKeyDown(*key);
  context_.UpdateCommandUi();
  e->accept();
}

void KovalindraViewWidget::keyReleaseEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Control || e->key() == Qt::Key_Alt) UpdateCursorHere(e->modifiers());
  QWidget::keyReleaseEvent(e);
}

void KovalindraViewWidget::focusOutEvent(QFocusEvent* e) {
  // A popup or another window took the pointer mid-drag.
  if (model_->Dragging() || model_->SelectionRect() || model_->MeasureDragging())
    model_->OnCaptureLost();
  // The key up that ends an Alt tap goes to the menu bar, which takes the
  // keys: without them the view shows its plain cursor, not the last
  // modifier it saw go down.
  UpdateCursorHere(Qt::NoModifier);
  QWidget::focusOutEvent(e);
}

void KovalindraViewWidget::hideEvent(QHideEvent* e) {
  model_->OnCaptureLost();
  QWidget::hideEvent(e);
}

void KovalindraViewWidget::contextMenuEvent(QContextMenuEvent* e) {
  QPoint at = e->globalPos();
  if (e->reason() == QContextMenuEvent::Keyboard) {
    // The menu key: at the pointer when it is over the view, else inside
    // the view's top-left corner, never at the screen's corner.
    const QPoint local = mapFromGlobal(QCursor::pos());
    at = mapToGlobal(rect().contains(local) ? local : QPoint(16, 16));
  }
  context_.ShowContextMenu(at);
}

QImage MakeWelcomePanel(double ratio) {
  const double r = ratio > 0 && std::isfinite(ratio) ? ratio : 1.0;
  QImage img(int(std::lround(kWelcomeWidth * r)), int(std::lround(kWelcomeHeight * r)),
             QImage::Format_RGB32);
  img.fill(QColor(250, 250, 246));
  QPainter p(&img);
  p.scale(r, r);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(60, 90, 150), 3));
  p.drawRect(QRectF(1.5, 1.5, kWelcomeWidth - 3, kWelcomeHeight - 3));
  // The product's mark: a ruler crossing a lens.
  p.setPen(QPen(QColor(60, 90, 150), 3));
  p.setBrush(QColor(220, 232, 250));
  p.drawEllipse(QPointF(40, 38), 20, 20);
  p.setBrush(QColor(240, 200, 90));
  p.drawRect(QRectF(18, 52, 46, 10));
  for (int i = 0; i < 5; ++i) p.drawLine(QPointF(22 + i * 9, 52), QPointF(22 + i * 9, 57));
  QFont title(platform::DefaultGothicFace());
  title.setPixelSize(17);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(30, 50, 100));
  p.drawText(QRectF(70, 16, 222, 48), Qt::AlignVCenter | Qt::TextWordWrap,
             QString::fromUtf8("Kovalindraへようこそ"));
  QFont body(platform::DefaultGothicFace());
  body.setPixelSize(12);
  p.setFont(body);
  p.setPen(QColor(20, 20, 20));
  p.drawText(QRectF(14, 72, 272, 92), Qt::TextWordWrap,
             QString::fromUtf8("このソフトを正しくお使いいただくには、最初にモニターの"
                               "サイズを登録する必要があります。登録にはA4用紙を1枚"
                               "ご用意下さい。"));
  p.setPen(QColor(160, 30, 30));
  p.drawText(QRectF(14, 164, 272, 48), Qt::TextWordWrap,
             QString::fromUtf8("メニューの「ディスプレイ設定」→「A4サイズを指定」を選び、"
                               "画面の指示に従って下さい。"));
  // A monitor with an A4 sheet held against it, and the two places to click.
  p.setPen(QPen(QColor(50, 50, 50), 2));
  p.setBrush(QColor(70, 80, 95));
  p.drawRoundedRect(QRectF(40, 222, 220, 126), 6, 6);
  p.setBrush(QColor(200, 225, 240));
  p.drawRect(QRectF(50, 232, 200, 100));
  p.setBrush(QColor(60, 60, 60));
  p.drawRect(QRectF(135, 348, 30, 12));
  p.drawRect(QRectF(110, 360, 80, 6));
  p.setPen(QPen(QColor(150, 150, 150), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(70, 262, 150, 62));
  auto mark = [&](QPointF c, const QString& label) {
    p.setPen(QPen(QColor(200, 0, 80), 2));
    p.drawLine(c - QPointF(7, 0), c + QPointF(7, 0));
    p.drawLine(c - QPointF(0, 7), c + QPointF(0, 7));
    QFont f(platform::DefaultGothicFace());
    f.setPixelSize(10);
    p.setFont(f);
    p.drawText(c + QPointF(4, -6), label);
  };
  mark(QPointF(70, 262), QString::fromUtf8("┼"));
  mark(QPointF(220, 262), QString::fromUtf8("右端をｸﾘｯｸ"));
  QFont maker(platform::DefaultGothicFace());
  maker.setPixelSize(11);
  p.setFont(maker);
  p.setPen(QColor(90, 90, 90));
  p.drawText(QRectF(0, 374, kWelcomeWidth, 20), Qt::AlignCenter, QString::fromUtf8("Tessaloft"));
  p.end();
  return img;
}

}  // namespace kv::viewer
