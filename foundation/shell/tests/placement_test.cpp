#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "foundation/core/util/text.h"
#include "foundation/shell/tests/fake_parts.h"
#include "platform/screen.h"

namespace kv::shell {
namespace {

using testing::FrameFixture;

const kv::Rect kDesk{0, 0, 1920, 1080};
bool Anywhere(const kv::Rect&) { return true; }

TEST(PlacementRecord, WritesRectIconAndMaxByShowState) {
  WindowPlacement p;
  p.normal = {5, -20, 1024, 768};
  PlacementRecord r = PlacementToRecord(p);
  EXPECT_EQ(r.rect, "0005 -020 1024 0768");
  EXPECT_EQ(r.icon, 0);
  EXPECT_EQ(r.max, 0);
  p.state = ShowState::Maximised;
  r = PlacementToRecord(p);
  EXPECT_EQ(r.icon, 0);
  EXPECT_EQ(r.max, 1);
  p.state = ShowState::Minimised;
  p.restoreMaximised = false;
  EXPECT_EQ(PlacementToRecord(p).icon, 1);
  EXPECT_EQ(PlacementToRecord(p).max, 0);
  p.restoreMaximised = true;
  EXPECT_EQ(PlacementToRecord(p).max, 1);
}

TEST(PlacementRecord, ShowStateRulesDifferBetweenThePrograms) {
  auto v = [](int icon, int max) {
    return PlacementFromRecord(ProgramKind::Viewer, "0010 0010 0500 0400", icon, max, kDesk, Anywhere);
  };
  auto a = [](int icon, int max) {
    return PlacementFromRecord(ProgramKind::Authoring, "0010 0010 0500 0400", icon, max, kDesk,
                               Anywhere);
  };
  EXPECT_EQ(v(0, 0).state, ShowState::Normal);
  EXPECT_EQ(v(1, 0).state, ShowState::Minimised);
  EXPECT_FALSE(v(1, 0).restoreMaximised);
  EXPECT_TRUE(v(1, 1).restoreMaximised);
  EXPECT_EQ(v(0, 1).state, ShowState::Maximised);
  EXPECT_EQ(v(2, 0).state, ShowState::Normal);     // icon 2: not minimised in the viewer
  EXPECT_EQ(v(2, 1).state, ShowState::Maximised);
  EXPECT_EQ(v(0, 2).state, ShowState::Normal);     // the viewer wants max exactly 1
  EXPECT_EQ(a(2, 0).state, ShowState::Minimised);  // any icon minimises the authoring tool
  EXPECT_EQ(a(0, 2).state, ShowState::Maximised);
  EXPECT_EQ(a(0, 0).state, ShowState::Normal);
}

TEST(PlacementRecord, RectanglesAreDefaultedClampedOrIgnored) {
  const WindowPlacement empty = PlacementFromRecord(ProgramKind::Viewer, "", 0, 0, kDesk, Anywhere);
  EXPECT_EQ(empty.normal, (kv::Rect{0, 0, 640, 480}));
  EXPECT_EQ(empty.state, ShowState::Normal);
  // A left of -50 opens the viewer at 0 and the authoring tool at -50.
  EXPECT_EQ(PlacementFromRecord(ProgramKind::Viewer, "-050 0010 0600 0400", 0, 0, kDesk, Anywhere).normal,
            (kv::Rect{0, 10, 600, 400}));
  EXPECT_EQ(
      PlacementFromRecord(ProgramKind::Authoring, "-050 0010 0600 0400", 0, 0, kDesk, Anywhere).normal,
      (kv::Rect{-50, 10, 600, 400}));
  EXPECT_EQ(PlacementFromRecord(ProgramKind::Viewer, "0100 0100 3000 2000", 0, 0, kDesk, Anywhere).normal,
            (kv::Rect{100, 100, 1920, 1080}));
  // Off every screen, or without area: the default.
  auto nowhere = [](const kv::Rect&) { return false; };
  EXPECT_EQ(PlacementFromRecord(ProgramKind::Authoring, "5000 5000 5640 5480", 0, 0, kDesk, nowhere).normal,
            (kv::Rect{0, 0, 640, 480}));
  EXPECT_EQ(PlacementFromRecord(ProgramKind::Viewer, "5000 5000 5640 5480", 0, 0, kDesk, Anywhere).normal,
            (kv::Rect{0, 0, 640, 480}));
  EXPECT_EQ(PlacementFromRecord(ProgramKind::Authoring, "0300 0300 0300 0500", 0, 0, kDesk, Anywhere).normal,
            (kv::Rect{0, 0, 640, 480}));
  EXPECT_EQ(PlacementFromRecord(ProgramKind::Authoring, "garbage", 0, 0, kDesk, Anywhere).normal,
            (kv::Rect{0, 0, 640, 480}));
}

class Restart : public ::testing::Test {
 protected:
  QString ProfilePath() const { return dir.filePath("profile.ini"); }
  std::unique_ptr<FrameFixture> Start(ProgramKind kind) {
    auto fx = std::make_unique<FrameFixture>(kind, std::map<int, CommandUi>{}, ProfilePath());
    fx->frame->ActivateFrame();
    QApplication::processEvents();
    return fx;
  }
  void Stop(std::unique_ptr<FrameFixture>& fx) {
    EXPECT_TRUE(fx->frame->close());
    fx->frame->Profile().Sync();
    fx.reset();
  }
  QTemporaryDir dir;
};

TEST_F(Restart, FirstStartOpensAtTheDefaultRectangle) {
  auto fx = Start(ProgramKind::Viewer);
  // At the top-left corner; the desktop may push it in by its frame.
  EXPECT_EQ(fx->frame->size(), QSize(640, 480));
  EXPECT_LE(fx->frame->x(), 8);
  EXPECT_LE(fx->frame->y(), 32);
  EXPECT_EQ(fx->frame->windowState(), Qt::WindowNoState);
}

TEST_F(Restart, NormalPlacementSurvives) {
  auto fx = Start(ProgramKind::Authoring);
  fx->frame->setGeometry(120, 90, 700, 520);
  Stop(fx);
  fx = Start(ProgramKind::Authoring);
  EXPECT_EQ(fx->frame->geometry(), QRect(120, 90, 700, 520));
  EXPECT_FALSE(fx->frame->isMaximized());
}

TEST_F(Restart, MaximisedComesBackMaximisedAndRestoresToTheSavedRectangle) {
  auto fx = Start(ProgramKind::Viewer);
  fx->frame->setGeometry(100, 80, 700, 500);
  fx->frame->showMaximized();
  QApplication::processEvents();
  Stop(fx);
  {
    QSettings s(ProfilePath(), QSettings::IniFormat);
    EXPECT_EQ(s.value("Window size/Rect").toString(), "0100 0080 0800 0580");
    EXPECT_EQ(s.value("Window size/max").toInt(), 1);
    EXPECT_EQ(s.value("Window size/icon").toInt(), 0);
  }
  fx = Start(ProgramKind::Viewer);
  EXPECT_TRUE(fx->frame->isMaximized());
  fx->frame->showNormal();
  QApplication::processEvents();
  EXPECT_EQ(fx->frame->geometry(), QRect(100, 80, 700, 500));
}

TEST_F(Restart, MinimisedFromMaximisedComesBackThatWay) {
  auto fx = Start(ProgramKind::Authoring);
  fx->frame->setGeometry(50, 60, 600, 400);
  fx->frame->setWindowState(Qt::WindowMinimized | Qt::WindowMaximized);
  QApplication::processEvents();
  Stop(fx);
  {
    QSettings s(ProfilePath(), QSettings::IniFormat);
    EXPECT_EQ(s.value("Window size/icon").toInt(), 1);
    EXPECT_EQ(s.value("Window size/max").toInt(), 1);
  }
  fx = Start(ProgramKind::Authoring);
  EXPECT_TRUE(fx->frame->isMinimized());
  EXPECT_TRUE(fx->frame->windowState() & Qt::WindowMaximized);
}

TEST_F(Restart, ARectangleOffEveryScreenIsIgnored) {
  {
    QSettings s(ProfilePath(), QSettings::IniFormat);
    s.setValue("Window size/Rect", "9000 9000 9640 9480");
    s.setValue("Window size/icon", "0");
    s.setValue("Window size/max", "0");
  }
  auto fx = Start(ProgramKind::Authoring);
  EXPECT_EQ(fx->frame->size(), QSize(640, 480));
  EXPECT_LE(fx->frame->x(), 8);
  EXPECT_LE(fx->frame->y(), 32);
  fx->frame->close();
  fx.reset();
  {
    QSettings s(ProfilePath(), QSettings::IniFormat);
    s.setValue("Window size/Rect", "-050 0020 0600 0400");
  }
  fx = Start(ProgramKind::Viewer);
  EXPECT_GE(fx->frame->x(), 0);
  EXPECT_LE(fx->frame->x(), 8);
  EXPECT_EQ(fx->frame->width(), 600);
}

TEST(TitleArea, ASliverOnAScreenIsOffScreen) {
  const QList<QRect> one = {QRect(0, 0, 1600, 1000)};
  // 20 x 10 of the title left on the screen: out of reach.
  EXPECT_FALSE(platform::IsTitleAreaOnScreens(QRect(1580, 990, 640, 480), one));
  EXPECT_TRUE(platform::IsTitleAreaOnScreens(QRect(1500, 950, 640, 480), one));
  EXPECT_FALSE(platform::IsTitleAreaOnScreens(QRect(1501, 950, 640, 480), one));
  EXPECT_FALSE(platform::IsTitleAreaOnScreens(QRect(1500, 951, 640, 480), one));
  EXPECT_TRUE(platform::IsTitleAreaOnScreens(QRect(-540, 0, 640, 480), one));
  EXPECT_FALSE(platform::IsTitleAreaOnScreens(QRect(-541, 0, 640, 480), one));
  EXPECT_FALSE(platform::IsTitleAreaOnScreens(QRect(100, -20, 640, 480), one));
  // A window narrower than the rule needs all of its width.
  EXPECT_TRUE(platform::IsTitleAreaOnScreens(QRect(1520, 0, 80, 300), one));
  // The part on one screen counts, whichever screen it is.
  const QList<QRect> two = {QRect(0, 0, 1600, 1000), QRect(1600, -200, 1280, 1024)};
  EXPECT_TRUE(platform::IsTitleAreaOnScreens(QRect(2700, -200, 640, 480), two));
  EXPECT_FALSE(platform::IsTitleAreaOnScreens(QRect(2800, -200, 640, 480), two));
}

TEST_F(Restart, AWindowLeftWithASliverOnTheScreenComesBackWhole) {
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  // The viewer, which pulls a window into the screen, alike: not a
  // 20 x 10 window in the corner.
  for (ProgramKind kind : {ProgramKind::Authoring, ProgramKind::Viewer}) {
    {
      QSettings s(ProfilePath(), QSettings::IniFormat);
      s.setValue("Window size/Rect", QString::fromStdString(kv::RectToText(
                                         screen.right() - 19, screen.bottom() - 9,
                                         screen.right() + 621, screen.bottom() + 471)));
      s.setValue("Window size/icon", "0");
      s.setValue("Window size/max", "0");
    }
    auto fx = Start(kind);
    EXPECT_EQ(fx->frame->size(), QSize(640, 480));
    EXPECT_LE(fx->frame->x(), 8);
    fx.reset();
  }
}

TEST_F(Restart, IconTwoStartsTheViewerNormalAndTheAuthoringToolMinimised) {
  {
    QSettings s(ProfilePath(), QSettings::IniFormat);
    s.setValue("Window size/Rect", "0010 0010 0600 0400");
    s.setValue("Window size/icon", "2");
    s.setValue("Window size/max", "0");
  }
  auto v = Start(ProgramKind::Viewer);
  EXPECT_FALSE(v->frame->isMinimized());
  EXPECT_FALSE(v->frame->isMaximized());
  v.reset();
  auto a = Start(ProgramKind::Authoring);
  EXPECT_TRUE(a->frame->isMinimized());
}

}  // namespace
}  // namespace kv::shell
