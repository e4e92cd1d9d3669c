#include "viewer/widgets/toolbox_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QToolButton>
#include <cmath>

#include "foundation/core/image/thumbnail.h"
#include "foundation/shell/markers.h"
#include "platform/draw_surface.h"
#include "platform/screen.h"
#include "platform/tool_window_placement.h"
#include "resources/viewer/commands.h"
#include "viewer/widgets/artwork.h"

namespace kv::viewer {
namespace {

const QColor kCream(255, 250, 238);
constexpr int kButtonW = 30, kButtonH = 28;
constexpr int kColumn1 = 246, kColumn2 = 280;
constexpr int kLegendX = 248, kLegendY = 164;
constexpr int kWindowWidth = 316, kWindowHeight = kThumbnailSide;

struct ButtonSpec {
  int id;
  ToolboxButton picture;
  const char* tooltip;
  int x, y;
};

// Two columns beside the navigator, as the commands pair up.
constexpr ButtonSpec kButtons[] = {
    {toolbox::kResetView, ToolboxButton::ResetView, "初期に戻る", kColumn1, 4},
    {toolbox::kRealSize, ToolboxButton::RealSize, "ﾘｱﾙｻｲｽﾞ表示", kColumn2, 4},
    {toolbox::kOpenFolder, ToolboxButton::OpenFolder, "ﾌｫﾙﾀﾞを開く", kColumn1, 36},
    {toolbox::kGuides, ToolboxButton::Guides, "ｶﾞｲﾄﾞの表示／非表示", kColumn2, 36},
    {toolbox::kZoomIn, ToolboxButton::ZoomIn, "拡大", kColumn1, 68},
    {toolbox::kZoomOut, ToolboxButton::ZoomOut, "縮小", kColumn2, 68},
    {toolbox::kFullScreen, ToolboxButton::FullScreen, "ﾌﾙｽｸﾘｰﾝ表示", kColumn1, 100},
    {toolbox::kWindowed, ToolboxButton::Windowed, "ｳｨﾝﾄﾞｩ表示", kColumn2, 100},
    {toolbox::kPrevPhoto, ToolboxButton::PrevPhoto, "前の写真", kColumn1, 132},
    {toolbox::kNextPhoto, ToolboxButton::NextPhoto, "次の写真", kColumn2, 132},
};

// The viewer command each button stands for; 0: the view's own reset.
int CommandOf(int id) {
  switch (id) {
    case toolbox::kPrevPhoto: return cmd::kPrevImage;
    case toolbox::kNextPhoto: return cmd::kNextImage;
    case toolbox::kWindowed: return cmd::kWindowed;
    case toolbox::kRealSize: return cmd::kNextPoint;
    case toolbox::kZoomOut: return cmd::kZoomOut;
    case toolbox::kZoomIn: return cmd::kZoomIn;
    case toolbox::kOpenFolder: return cmd::kOpenWithDialog;
    case toolbox::kFullScreen: return cmd::kFullScreen;
    case toolbox::kGuides: return cmd::kSizeInfo;
    default: return 0;
  }
}

double RatioOf(const QWidget& w) {
  const double r = w.devicePixelRatioF();
  return r > 0 ? r : 1.0;
}

// A bottom-up 24-bit thumbnail as a top-down picture.
QImage FromThumbnail(const DibImage& t) {
  if (!t.HasImage() || t.width <= 0 || t.height <= 0 || t.byteSize < t.Stride() * size_t(t.height))
    return QImage();
  const QImage wrapped(t.pixels.get(), t.width, t.height, qsizetype(t.Stride()),
                       QImage::Format_BGR888);
  return wrapped.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
}

}  // namespace

ToolboxWindow::ToolboxWindow(KovalindraDoc& doc, KovalindraView& view, Hooks hooks,
                             QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      doc_(doc),
      view_(view),
      hooks_(std::move(hooks)) {
  setObjectName("toolbox");
  setWindowTitle(QString::fromUtf8("ﾒﾆｭｰ"));
  setFixedSize(kWindowWidth, kWindowHeight);
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kCream);
  setPalette(pal);
  navigator_ = new NavigatorWidget(*this, view_, [this] {
    if (hooks_.viewChanged) hooks_.viewChanged();
  }, this);
  navigator_->setGeometry(0, 0, kThumbnailSide, kThumbnailSide);
  const double r = RatioOf(*this);
  for (const ButtonSpec& b : kButtons) {
    auto* button = new QToolButton(this);
    button->setObjectName(QString("toolbox%1").arg(b.id));
    button->setProperty("controlId", b.id);
    button->setGeometry(b.x, b.y, kButtonW, kButtonH);
    button->setIcon(QIcon(QPixmap::fromImage(MakeToolboxButtonImage(b.picture, r))));
    button->setIconSize(QSize(kToolboxButtonSide, kToolboxButtonSide));
    button->setToolTip(QString::fromUtf8(b.tooltip));
    button->setAutoRaise(false);
    button->setFocusPolicy(Qt::NoFocus);
    // The ones that show a state stay pushed while it holds.
    const bool stateful = b.id == toolbox::kGuides || b.id == toolbox::kFullScreen ||
                          b.id == toolbox::kWindowed || b.id == toolbox::kResetView;
    button->setCheckable(stateful);
    connect(button, &QToolButton::clicked, this, [this, id = b.id] { Pressed(id); });
    buttons_.insert(b.id, button);
  }
  legend_ = MakeToolboxLegend(r);
}

void ToolboxWindow::Pressed(int id) {
  if (const int command = CommandOf(id)) {
    if (hooks_.runCommand) hooks_.runCommand(command);
  } else {
    view_.ResetView();
    if (hooks_.viewChanged) hooks_.viewChanged();
  }
  Refresh();
  if (hooks_.returnKeys) hooks_.returnKeys();
}

void ToolboxWindow::Refresh() {
  navigator_->update();
  const bool full = hooks_.isFullScreen && hooks_.isFullScreen();
  auto push = [this](int id, bool on) {
    if (QAbstractButton* b = buttons_.value(id)) b->setChecked(on);
  };
  push(toolbox::kGuides, view_.showGuides);
  push(toolbox::kFullScreen, full);
  push(toolbox::kWindowed, !full);
  push(toolbox::kResetView, view_.IsWhole());
}

QImage ToolboxWindow::ComposeNavigator() {
  const double r = RatioOf(*navigator_);
  const int side = int(std::lround(kThumbnailSide * r));
  if (thumbFor_ != view_.PhotoGeneration() || thumbSide_ != side || thumb_.isNull()) {
    thumbFor_ = view_.PhotoGeneration();
    thumbSide_ = side;
    if (side == kThumbnailSide || !view_.Photo()) {
      thumb_ = FromThumbnail(doc_.thumbnail.image);
    } else {
      // Made at the navigator's device size, so a dense screen shows it sharp.
      DibImage dense(side, side);
      dense.padBytes = DibPadBytes(side);
      dense.byteSize = uint32_t(dense.Stride() * size_t(side));
      dense.pixels = std::make_unique<uint8_t[]>(dense.byteSize);
      view_.DrawThumbnail(dense);
      thumb_ = FromThumbnail(dense);
    }
    if (thumb_.isNull()) {
      thumb_ = QImage(side, side, QImage::Format_RGB32);
      thumb_.fill(Qt::white);
    }
  }
  QImage img = thumb_.copy();  // drawn on; the thumbnail stays as made
  img.setDevicePixelRatio(r);
  QPainter painter(&img);
  platform::DrawSurface surface(painter);
  for (const NavigatorLine& l : view_.NavigatorLines())
    shell::DrawSolidLine(surface, l.x1, l.y1, l.x2, l.y2, l.color, 2);
  const NavigatorFrame f = view_.NavigatorVisibleFrame();
  using shell::DrawDottedLine;
  if (f.drawTop) DrawDottedLine(surface, f.left, f.top, f.right, f.top, platform::kBlack, 1);
  if (f.drawLeft) DrawDottedLine(surface, f.left, f.top, f.left, f.bottom, platform::kBlack, 1);
  if (f.drawBottom)
    DrawDottedLine(surface, f.left, f.bottom, f.right, f.bottom, platform::kBlack, 1);
  if (f.drawRight) DrawDottedLine(surface, f.right, f.top, f.right, f.bottom, platform::kBlack, 1);
  painter.end();
  return img;
}

void ToolboxWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kCream);
  p.drawImage(QRectF(kLegendX, kLegendY, kLegendWidth, kLegendHeight), legend_);
}

void ToolboxWindow::Place(platform::Profile* profile, const QRect& mainFrame) {
  placed_ = true;
  if (platform::PlaceFromProfile(*this, profile, toolbox::kPlacementSection,
                                 toolbox::kPlacementKey))
    return;
  if (platform::IsPointOnAnyScreen(toolbox::kDefaultX, toolbox::kDefaultY)) {
    move(toolbox::kDefaultX, toolbox::kDefaultY);
    return;
  }
  // Beside the main window, but kept on its screen so it can be reached.
  QPoint at(mainFrame.right() + 8, mainFrame.top());
  if (const QScreen* s = parentWidget() ? parentWidget()->screen() : screen()) {
    const QRect a = s->availableGeometry();
    at.setX(std::max(a.left(), std::min(at.x(), a.right() - frameGeometry().width() + 1)));
    at.setY(std::max(a.top(), std::min(at.y(), a.bottom() - frameGeometry().height() + 1)));
  }
  move(at);
}

void ToolboxWindow::SavePlacement(platform::Profile* profile) const {
  if (placed_)
    platform::SavePlacementToProfile(*this, profile, toolbox::kPlacementSection,
                                     toolbox::kPlacementKey);
}

void ToolboxWindow::HideByUser() {
  hide();
  if (hooks_.hiddenByUser) hooks_.hiddenByUser();
}

void ToolboxWindow::keyPressEvent(QKeyEvent* e) {
  switch (e->key()) {
    case Qt::Key_Escape: HideByUser(); return;
    case Qt::Key_Return:
    case Qt::Key_Enter: return;  // Enter does not close a tool window
    default: QWidget::keyPressEvent(e);
  }
}

void ToolboxWindow::closeEvent(QCloseEvent* e) {
  // The close box hides it; it lives as long as the view.
  e->ignore();
  HideByUser();
}

NavigatorWidget::NavigatorWidget(ToolboxWindow& toolbox, KovalindraView& view,
                                 std::function<void()> moved, QWidget* parent)
    : QWidget(parent), toolbox_(toolbox), view_(view), moved_(std::move(moved)) {
  setObjectName("navigator");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  UpdateCursor(false);
}

void NavigatorWidget::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(QPointF(0, 0), toolbox_.ComposeNavigator());
}

void NavigatorWidget::UpdateCursor(bool grabbing) {
  setCursor(ViewerCursor(grabbing ? ViewerCursorId::NavigatorGrab : ViewerCursorId::NavigatorHand,
                         RatioOf(*this)));
}

// Positions are navigator pixels: the square is 240 x 240 in its own units
// whatever the screen's ratio.
void NavigatorWidget::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
  if (!view_.OnNavigatorPress(int32_t(e->position().x()), int32_t(e->position().y()))) return;
  UpdateCursor(true);
  toolbox_.Refresh();
  if (moved_) moved_();
}

void NavigatorWidget::mouseMoveEvent(QMouseEvent* e) {
  if (!view_.NavigatorDragging()) return;
  if (!(e->buttons() & Qt::LeftButton)) {
    // The release went elsewhere: end where the view is.
    view_.OnNavigatorRelease(int32_t(e->position().x()), int32_t(e->position().y()));
    UpdateCursor(false);
  } else {
    view_.OnNavigatorMove(int32_t(e->position().x()), int32_t(e->position().y()));
  }
  toolbox_.Refresh();
  if (moved_) moved_();
}

void NavigatorWidget::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton || !view_.NavigatorDragging())
    return QWidget::mouseReleaseEvent(e);
  view_.OnNavigatorRelease(int32_t(e->position().x()), int32_t(e->position().y()));
  UpdateCursor(false);
  toolbox_.Refresh();
  if (moved_) moved_();
}

}  // namespace kv::viewer
