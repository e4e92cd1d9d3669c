#include <gtest/gtest.h>

#include <QFont>
#include <QFontMetrics>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "foundation/core/util/text.h"
#include "platform/qt_services.h"
#include "platform/qt_text.h"
#include "platform/screen.h"

namespace kv::platform {
namespace {

std::unique_ptr<QtProfile> ProfileIn(const QTemporaryDir& dir) {
  return std::make_unique<QtProfile>(
      std::make_unique<QSettings>(dir.filePath("profile.ini"), QSettings::IniFormat));
}

TEST(QtProfile, KeepsStringsAndIntegersAcrossInstances) {
  QTemporaryDir dir;
  {
    auto p = ProfileIn(dir);
    EXPECT_TRUE(p->WriteString("Window size", "Rect", kv::RectToText(5, -20, 1024, 768)));
    EXPECT_TRUE(p->WriteInt("Window size", "max", 1));
    EXPECT_TRUE(p->WriteString("settings", "名前", "等倍表示ｿﾌﾄ"));
    EXPECT_TRUE(p->Sync());
  }
  auto p = ProfileIn(dir);
  const std::string rect = p->GetString("Window size", "Rect", "");
  EXPECT_EQ(rect, "0005 -020 1024 0768");
  EXPECT_EQ(kv::TextToRect(rect), (kv::Rect{5, -20, 1024, 768}));
  EXPECT_EQ(p->GetInt("Window size", "max", 0), 1);
  EXPECT_EQ(p->GetInt("Window size", "icon", 7), 7);
  EXPECT_EQ(p->GetString("settings", "名前", ""), "等倍表示ｿﾌﾄ");
  EXPECT_EQ(p->GetString("settings", "DlgMenu", "none"), "none");
  // A damaged integer reads as the fallback, not as a half-parsed number.
  p->WriteString("Window size", "icon", "1x");
  EXPECT_EQ(p->GetInt("Window size", "icon", 0), 0);
  p->WriteString("Window size", "icon", "99999999999");
  EXPECT_EQ(p->GetInt("Window size", "icon", 0), 0);
}

TEST(QtProfile, ProgramProfileLivesUnderTheMakersName) {
  QtProfile p("KovaTestProgram");
  EXPECT_EQ(p.Settings().organizationName(), "Tessaloft");
  EXPECT_EQ(p.Settings().applicationName(), "KovaTestProgram");
}

TEST(QtProfile, RecentFilesKeepFourNewestFirst) {
  QTemporaryDir dir;
  auto p = ProfileIn(dir);
  EXPECT_TRUE(p->RecentFiles().empty());
  for (const char* f : {"/a.kvi", "/b.kvi", "/c.kvi", "/d.kvi", "/写真.kvi"}) p->AddRecentFile(f);
  EXPECT_EQ(p->RecentFiles(), (std::vector<std::string>{"/写真.kvi", "/d.kvi", "/c.kvi", "/b.kvi"}));
  p->AddRecentFile("/c.kvi");
  EXPECT_EQ(p->RecentFiles(), (std::vector<std::string>{"/c.kvi", "/写真.kvi", "/d.kvi", "/b.kvi"}));
  p->RemoveRecentFile("/d.kvi");
  EXPECT_EQ(p->RecentFiles(), (std::vector<std::string>{"/c.kvi", "/写真.kvi", "/b.kvi"}));
  EXPECT_EQ(p->Settings().value("Recent File List/File1").toString(), "/c.kvi");
  EXPECT_FALSE(p->Settings().contains("Recent File List/File4"));
}

// Runs `check` on the message box once it is up.
void WhenBoxShows(std::function<void(QMessageBox*)> check) {
  QTimer::singleShot(0, [check] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    check(box);
  });
}

TEST(QtMessageService, ShowsTheExactTextIconAndButtons) {
  QtMessageService messages("Kovalindra");
  WhenBoxShows([](QMessageBox* box) {
    EXPECT_EQ(box->windowTitle(), "Kovalindra");
    EXPECT_EQ(box->text(), QString::fromUtf8("ﾓﾆﾀｰ設定を行います。\nA4用紙の左上を┼ﾏｰｸに\n合わせて下さい。"));
    EXPECT_EQ(box->icon(), QMessageBox::Information);
    EXPECT_EQ(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
    box->button(QMessageBox::Ok)->click();
  });
  EXPECT_EQ(messages.Show("ﾓﾆﾀｰ設定を行います。\rA4用紙の左上を┼ﾏｰｸに\r合わせて下さい。",
                          MsgIcon::Information, MsgButtons::Ok),
            MsgResult::Ok);

  WhenBoxShows([](QMessageBox* box) {
    EXPECT_EQ(box->icon(), QMessageBox::Question);
    EXPECT_EQ(box->standardButtons(),
              QMessageBox::StandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel));
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(messages.Show("q", MsgIcon::Question, MsgButtons::YesNoCancel), MsgResult::No);

  WhenBoxShows([](QMessageBox* box) {
    EXPECT_EQ(box->icon(), QMessageBox::Warning);
    box->reject();  // closed without a button
  });
  EXPECT_EQ(messages.Show("w", MsgIcon::Warning, MsgButtons::OkCancel), MsgResult::Cancel);

  WhenBoxShows([](QMessageBox* box) {
    EXPECT_EQ(box->icon(), QMessageBox::Critical);
    box->button(QMessageBox::Yes)->click();
  });
  EXPECT_EQ(messages.Show("e", MsgIcon::Error, MsgButtons::YesNo), MsgResult::Yes);
}

// A message that starts something: only OK is shown; Esc answers Cancel,
// OK (or Enter) answers OK.
TEST(QtMessageService, EscapeIsToldFromOk) {
  QtMessageService messages("Kovalindra");
  for (const auto& [key, expected] :
       {std::pair{Qt::Key_Escape, MsgResult::Cancel}, std::pair{Qt::Key_Return, MsgResult::Ok}}) {
    WhenBoxShows([key = key](QMessageBox* box) {
      int shown = 0;
      for (QAbstractButton* b : box->buttons()) shown += b->isVisible();
      EXPECT_EQ(shown, 1);
      EXPECT_TRUE(box->button(QMessageBox::Ok)->isVisible());
      QTest::keyClick(box, key);
    });
    EXPECT_EQ(messages.Show("m", MsgIcon::Information, MsgButtons::OkEscapeCancels), expected);
  }
}

class DesktopShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DesktopShell::SetOpenerForTesting([this](const QUrl& url) {
      opened.push_back(url);
      return true;
    });
  }
  void TearDown() override { DesktopShell::SetOpenerForTesting({}); }
  std::vector<QUrl> opened;
  DesktopShell shell;
};

TEST_F(DesktopShellTest, OpensWebAddressesAndExistingFiles) {
  EXPECT_TRUE(shell.Open("https://example.invalid/help/kovalindra.html"));
  QTemporaryDir dir;
  const QString file = dir.filePath("写真.kvi");
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("x");
  f.close();
  EXPECT_TRUE(shell.Open(QStringToUtf8(file)));
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[0].toString(), "https://example.invalid/help/kovalindra.html");
  EXPECT_TRUE(opened[1].isLocalFile());
  EXPECT_EQ(opened[1].toLocalFile(), file);
}

TEST_F(DesktopShellTest, RefusalsNeverReachTheDesktop) {
  EXPECT_FALSE(shell.Open(""));
  EXPECT_FALSE(shell.Open("/no/such/file.kvi"));
  EXPECT_FALSE(shell.Open("file:///etc/passwd"));
  EXPECT_FALSE(shell.Open("mailto:someone@example.invalid"));
  EXPECT_FALSE(shell.Open("http://example.invalid/" + std::string(1024, 'a')));
  EXPECT_FALSE(shell.Open("http://exa mple.invalid/"));
  EXPECT_FALSE(OpenWithShell(std::string(2000, 'x')));
  EXPECT_TRUE(opened.empty());
  // The desktop's own failure is passed back.
  DesktopShell::SetOpenerForTesting([](const QUrl&) { return false; });
  EXPECT_FALSE(shell.Open("http://example.invalid/"));
}

TEST(WaitCursorQt, SetsAndRestoresTheOverrideCursor) {
  InstallQtWaitCursor();
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  {
    WaitCursor w;
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    {
      WaitCursor nested;
    }
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  WaitCursor::InstallHook(nullptr);
}

TEST(TextBoundary, Cp932RoundTripsAndRefusesWhatItCannotHold) {
  const std::string cp932 = "\x93\x99\x94\x7B\x95\x5C\x8E\xA6\xBF\xCC\xC4";  // 等倍表示ｿﾌﾄ
  const auto q = Cp932ToQString(cp932);
  ASSERT_TRUE(q);
  EXPECT_EQ(*q, QString::fromUtf8("等倍表示ｿﾌﾄ"));
  EXPECT_EQ(QStringToCp932(*q), cp932);
  EXPECT_FALSE(Cp932ToQString("\x81"));                   // cut double-byte character
  EXPECT_FALSE(QStringToCp932(QString::fromUtf8("😀")));  // no CP932 form
  EXPECT_FALSE(QStringToCp932(QString(QChar(0xD800))));  // lone surrogate
  EXPECT_EQ(MessageBoxText("a\r\nb\rc"), "a\nb\nc");
}

TEST(TextBoundary, LongMessageLinesWrapEvenlyAtSeparators) {
  const QFontMetrics fm{QFont()};
  const int max = fm.horizontalAdvance(QString(40, 'x'));
  const QString path = "/home/user/" + QString("a_long_folder_name/").repeated(6) + QString::fromUtf8("写真.jpg");
  const QString text =
      path + QString::fromUtf8("が見つかりません。kvpﾌｧｲﾙがあるﾌｫﾙﾀﾞにJPEGﾌｧｲﾙを配置して下さい。");
  for (const QString& original : {path, text}) {
    const QStringList lines = WrapMessageLines(original, fm, max).split('\n');
    EXPECT_GT(lines.size(), 1);
    EXPECT_EQ(lines.join(QString()), original);
    for (const QString& l : lines) {
      EXPECT_LE(fm.horizontalAdvance(l), max) << l.toStdString();
      EXPECT_FALSE(l.startsWith(QString::fromUtf8("。"))) << l.toStdString();
      EXPECT_NE(l, QString::fromUtf8("い。"));
    }
    // Inside the path, lines end at a separator.
    EXPECT_TRUE(lines.front().endsWith('/')) << lines.front().toStdString();
  }
  // Short lines and explicit breaks stay as they are.
  EXPECT_EQ(WrapMessageLines("a\nb", fm, max), "a\nb");
  // A sentence a little wider than the box: two even lines, not one and a
  // lone ending.
  const QString sentence =
      QString::fromUtf8("ｻｲｽﾞ登録を行います。始点と終点の順に写真をｸﾘｯｸして下さい。");
  const int width = fm.horizontalAdvance(sentence);
  const QStringList two = WrapMessageLines(sentence, fm, width - fm.horizontalAdvance("x")).split('\n');
  ASSERT_EQ(two.size(), 2);
  EXPECT_GT(fm.horizontalAdvance(two[1]), width / 3) << two[1].toStdString();
}

TEST(Screens, PointsAndRectanglesAgainstTheScreens) {
  const QRect primary = QGuiApplication::primaryScreen()->geometry();
  EXPECT_TRUE(IsPointOnScreen(0, 0));
  EXPECT_TRUE(IsPointOnScreen(primary.width() - 1, primary.height() - 1));
  EXPECT_FALSE(IsPointOnScreen(primary.width(), 0));
  EXPECT_FALSE(IsPointOnScreen(0, primary.height()));
  EXPECT_FALSE(IsPointOnScreen(-1, 5));
  EXPECT_TRUE(IsPointOnAnyScreen(primary.x(), primary.y()));
  EXPECT_FALSE(IsPointOnAnyScreen(-30000, 5));
  EXPECT_TRUE(IsRectOnAnyScreen(QRect(-50, 0, 640, 480)));
  EXPECT_FALSE(IsRectOnAnyScreen(QRect(20000, 20000, 640, 480)));
  EXPECT_FALSE(IsRectOnAnyScreen(QRect(10, 10, 0, 0)));
  EXPECT_TRUE(DesktopRect().contains(primary));
}

}  // namespace
}  // namespace kv::platform
