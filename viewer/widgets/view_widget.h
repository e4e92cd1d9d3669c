#pragma once
// The view's window: turns Qt's events into the view model's calls in
// device pixels and paints the model's back buffer with the guide lines,
// the calibration marks and caption, and the welcome panel.
#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "viewer/model/viewer_view.h"

class QPainter;
class QScreen;

namespace kv::shell {
class AppContext;
}
namespace kv::platform {
class DrawSurface;
}

namespace kv::viewer {

// Half the anchor cross's width, in logical pixels.
inline constexpr int kGuideCrossArm = 10;

class KovalindraViewWidget : public QWidget, public ViewHost {
  Q_OBJECT
 public:
  KovalindraViewWidget(KovalindraDoc& doc, shell::AppContext& context, QWidget* parent);
  ~KovalindraViewWidget() override;

  KovalindraView& Model() { return *model_; }
  // The picture as the last paint composed it, in device pixels.
  QImage ComposeFrame();
  double Ratio() const;
  // Client size in device pixels.
  QSize DeviceSize() const;

  // ViewHost
  void Repaint() override;
  void SetStatusPaneText(int pane, const std::string& utf8) override;
  void TitleChanged() override;
  void PhotoChanged() override;
  void PhotoPending(bool pending) override;
  // The wait cursor is up (a file asked for has shown nothing for a while).
  bool ShowsWaitCursor() const { return waitShown_; }
  void OpenLink(const std::string& utf8) override;
  void ShowToolbox(bool shown) override;
  bool IsFullScreen() const override;
  void SetFullScreen(bool on) override;
  // Who shows and hides the toolbox window (unset: nobody yet).
  std::function<void(bool)> onShowToolbox;
  // After every change the view paints: the toolbox follows it.
  std::function<void()> onRepaint;
  // Another photo of the folder is on show.
  std::function<void()> onTitleChanged;

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void showEvent(QShowEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void contextMenuEvent(QContextMenuEvent*) override;
  bool event(QEvent*) override;
  void wheelEvent(QWheelEvent*) override;
  void keyPressEvent(QKeyEvent*) override;
  void keyReleaseEvent(QKeyEvent*) override;
  void focusOutEvent(QFocusEvent*) override;
  void hideEvent(QHideEvent*) override;

 private:
  QPoint ToDevice(const QPointF& p) const;
  void SyncSize();
  // Tells the model which screen the window is on and what it reports, and
  // follows that screen's changes of resolution and scale.
  void UpdateScreen();
  void UpdateCursor(const QPoint& device, Qt::KeyboardModifiers mods);
  void UpdateCursorHere(Qt::KeyboardModifiers mods);
  // The anchor's cross and the words beside it while a calibration waits.
  void DrawCalibrationGuide(platform::DrawSurface& surface, QPainter& painter);

  KovalindraDoc& doc_;
  shell::AppContext& context_;
  std::unique_ptr<KovalindraView> model_;
  QImage welcome_;
  double welcomeRatio_ = 1.0;
  // The corner icons, made once per pixel ratio.
  QImage returnIcon_, toolboxIcon_;
  double iconRatio_ = 0.0;
  bool shownOnce_ = false;
  // A quick step shows no wait cursor; a slow one does after this timer.
  QTimer waitTimer_;
  bool waitShown_ = false;
  QPointer<QScreen> watched_;
  QMetaObject::Connection geometryWatch_, dpiWatch_;
};

// The 300 x 400 picture shown while the monitor is not calibrated.
// The welcome panel at a device-pixel ratio (its logical size times it).
QImage MakeWelcomePanel(double ratio = 1.0);
// How the calibrations know a screen: its names, device pixels and the
// millimetres it reports.
ScreenId ScreenIdOf(const QScreen* s);

}  // namespace kv::viewer
