#pragma once
// The authoring view's window: the photo at the view model's scale (device
// pixels per photo pixel) with the registrations drawn over it, scroll bars
// that follow the view model, zooming by Ctrl + wheel and the + and - keys,
// the clicks of a size registration, and the two tool windows (navigation
// and list) it owns.
#include <QAbstractScrollArea>
#include <QImage>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

#include "authoring/model/kovasand_view.h"
#include "foundation/core/util/wheel_notches.h"
#include "authoring/widgets/navi_window.h"
#include "authoring/widgets/parts_list_window.h"

namespace kv::shell {
class AppContext;
}

namespace kv::authoring {

// Colours of the drawing, red in the lowest byte.
inline constexpr uint32_t kSelectedColor = 0xCC00FF;    // pink (255, 0, 204)
inline constexpr uint32_t kRegistrationColor = 0xB8B8B8;  // grey (184, 184, 184)
inline constexpr uint32_t kInnerLineColor = 0x320032;   // dark purple (50, 0, 50)
inline constexpr uint32_t kPendingColor = 0x00FFD2;     // yellow-green (210, 255, 0)
inline constexpr uint32_t kAroundColor = 0xE6E6E6;      // light grey (230, 230, 230)

class KovasandViewWidget : public QAbstractScrollArea, public KovasandViewHost {
  Q_OBJECT
 public:
  using AskLength = std::function<std::optional<int32_t>(int32_t imageLengthPx)>;
  KovasandViewWidget(KovasandDoc& doc, shell::AppContext& context, QWidget* parent);
  ~KovasandViewWidget() override;

  KovasandView& Model() { return *model_; }
  // Replaces the completion dialog (tests).
  void SetAskLength(AskLength ask) { askLength_ = std::move(ask); }

  // The navigation and list windows, made and placed once.
  void EnsureToolWindows();
  NaviWindow* Navigator() const { return navi_; }
  PartsListWindow* List() const { return list_; }
  void SaveToolWindowPlacement();

  // Zoom commands: the view, its scroll bars and the navigation window
  // follow, and the commands' states are updated.
  void ZoomIn();
  void ZoomOut();
  void ZoomFit();
  void ZoomActual();
  double Scale() const { return model_->Scale(); }

  // The picture a paint shows, in device pixels.
  QImage ComposeFrame();
  double Ratio() const;
  // The viewport's size in device pixels.
  QSize DeviceSize() const;
  // A point of the viewport (its own units) in device pixels.
  QPoint ToDevice(const QPointF& p) const;
  // Where a mouse event happened in the viewport, to a fraction of a
  // logical pixel.
  QPointF ExactPosition(const QMouseEvent* e) const;

  // KovasandViewHost
  void InvalidateView() override;
  void RedrawNavigator() override;
  void RefillList() override;
  void ScrollRangeChanged() override;
  std::optional<int32_t> AskMeasuredLength(int32_t imageLengthPx) override;

 signals:
  // Whatever changed it: a command, the wheel, a key, a new photo, a
  // window resized while fitted.
  void ScaleChanged(double scale);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void showEvent(QShowEvent*) override;
  void changeEvent(QEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;
  void wheelEvent(QWheelEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void contextMenuEvent(QContextMenuEvent*) override;
  void scrollContentsBy(int dx, int dy) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void SyncSize();
  void UpdateCursor();
  QImage PhotoLayer(const QSize& size);
  void Zoomed();

  // The photo as last drawn, reused while nothing that moves it changes:
  // a reduced photo reads many photo pixels per device pixel.
  struct PhotoKey {
    const void* pixels = nullptr;
    double scale = 0;
    int32_t scrollX = 0, scrollY = 0, offsetX = 0, offsetY = 0, width = 0, height = 0;
    bool operator==(const PhotoKey&) const = default;
  };
  QImage photoLayer_;
  PhotoKey photoKey_;
  WheelNotches wheel_;
  double shownScale_ = 1.0;

  KovasandDoc& doc_;
  shell::AppContext& context_;
  std::unique_ptr<KovasandView> model_;
  AskLength askLength_;
  QPointer<NaviWindow> navi_;
  QPointer<PartsListWindow> list_;
  QImage banner_;
  QCursor startCursor_;
  QCursor endCursor_;
  bool syncingBars_ = false;
};

}  // namespace kv::authoring
