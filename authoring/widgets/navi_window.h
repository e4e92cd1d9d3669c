#pragma once
// "ﾅﾋﾞｳｨﾝﾄﾞｩ": the photo's 240 x 240 thumbnail with the registrations and
// the part the view shows; a press or drag scrolls the view there. The user
// cannot close it; its position is kept in the profile.
#include <QImage>
#include <QWidget>

#include "authoring/model/kovasand_view.h"

namespace kv::platform {
class Profile;
}

namespace kv::authoring {

inline constexpr const char* kPlacementSection = "settings";
inline constexpr const char* kNaviPlacementKey = "DlgMenu";
inline constexpr int kNaviDefaultX = 0;
inline constexpr int kNaviDefaultY = 200;

class NaviWindow : public QWidget {
  Q_OBJECT
 public:
  NaviWindow(KovasandDoc& doc, KovasandView& view, platform::Profile* profile, QWidget* parent);
  ~NaviWindow() override;

  // The 240 x 240 picture as a paint shows it.
  QImage Compose() const;
  void Redraw() { update(); }
  // From the profile when the saved corner is on the screen, else the default.
  void Place();
  void SavePlacement();

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void mouseMoveEvent(QMouseEvent*) override;
  void mouseReleaseEvent(QMouseEvent*) override;
  void closeEvent(QCloseEvent*) override;

 private:
  void Press(const QPointF& p);

  KovasandDoc& doc_;
  KovasandView& view_;
  platform::Profile* profile_;
  bool dragging_ = false;
};

}  // namespace kv::authoring
