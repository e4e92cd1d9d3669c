#pragma once
// The toolbox: a floating tool window beside the main window with the
// navigator (the whole photo, its registrations and the part the view
// shows; a press or drag moves the view) and the ten most used commands.
// Enter does nothing; Esc and the close box hide it.
#include <QAbstractButton>
#include <QImage>
#include <QMap>
#include <QWidget>
#include <functional>

#include "viewer/model/viewer_view.h"

namespace kv::platform {
class Profile;
}

namespace kv::viewer {

// The toolbox's controls, and where its position is kept.
namespace toolbox {
inline constexpr int kPrevPhoto = 1015;
inline constexpr int kNextPhoto = 1013;
inline constexpr int kWindowed = 1002;
inline constexpr int kRealSize = 1021;
inline constexpr int kZoomOut = 1010;
inline constexpr int kZoomIn = 1011;
inline constexpr int kResetView = 1005;
inline constexpr int kOpenFolder = 1006;
inline constexpr int kFullScreen = 1008;
inline constexpr int kGuides = 1019;
inline constexpr const char* kPlacementSection = "settings";
inline constexpr const char* kPlacementKey = "DlgMenu";
inline constexpr int kDefaultX = 640;
inline constexpr int kDefaultY = 0;
}  // namespace toolbox

class NavigatorWidget;

class ToolboxWindow : public QWidget {
  Q_OBJECT
 public:
  struct Hooks {
    std::function<void(int viewerCommand)> runCommand;  // routed like a menu command
    std::function<bool()> isFullScreen;
    std::function<void()> hiddenByUser;  // Esc or the close box
    std::function<void()> viewChanged;   // after a navigator move or a reset
    // After a button: the keys go back to the view. A click on a button
    // made the toolbox the active window, and its buttons take no keys.
    std::function<void()> returnKeys;
  };
  ToolboxWindow(KovalindraDoc& doc, KovalindraView& view, Hooks hooks, QWidget* parent);

  // The navigator picture as a paint shows it (device pixels, with the
  // screen's ratio).
  QImage ComposeNavigator();
  NavigatorWidget* Navigator() const { return navigator_; }
  QAbstractButton* Button(int id) const { return buttons_.value(id); }
  // Navigator and pushed states after any change of the view.
  void Refresh();
  // The profile's place when its corner is on a screen, else (640, 0), or
  // beside the main window when that is off every screen.
  void Place(platform::Profile* profile, const QRect& mainFrame);
  void SavePlacement(platform::Profile* profile) const;
  bool Placed() const { return placed_; }

 protected:
  void keyPressEvent(QKeyEvent*) override;
  void closeEvent(QCloseEvent*) override;
  void paintEvent(QPaintEvent*) override;

 private:
  void Pressed(int id);
  void HideByUser();

  KovalindraDoc& doc_;
  KovalindraView& view_;
  Hooks hooks_;
  NavigatorWidget* navigator_ = nullptr;
  QMap<int, QAbstractButton*> buttons_;
  QImage legend_;
  // The thumbnail made at the navigator's device size, for sharpness.
  QImage thumb_;
  uint64_t thumbFor_ = ~uint64_t(0);
  int thumbSide_ = 0;
  bool placed_ = false;
};

class NavigatorWidget : public QWidget {
  Q_OBJECT
 public:
  NavigatorWidget(ToolboxWindow& toolbox, KovalindraView& view, std::function<void()> moved,
                  QWidget* parent);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;

 private:
  void UpdateCursor(bool grabbing);
  ToolboxWindow& toolbox_;
  KovalindraView& view_;
  std::function<void()> moved_;
};

}  // namespace kv::viewer
