// Japanese menu and status texts must render as glyphs: a missing font
// draws every character as the same empty box (or nothing at all).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>

#include "foundation/shell/tests/fake_parts.h"

namespace kv::shell {
namespace {

using testing::FrameFixture;

int Ink(const QImage& img) {
  const QRgb ground = img.pixel(0, 0);
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixel(x, y) != ground) ++n;
  return n;
}

QImage Render(const QFont& font, const QString& text) {
  QImage img(24 * text.size() + 8, 40, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  p.setFont(font);
  p.setPen(Qt::black);
  p.drawText(4, 30, text);
  return img;
}

QImage MenuTitle(MainFrame& f, int index) {
  QAction* a = f.menuBar()->actions().at(index);
  return f.menuBar()->grab(f.menuBar()->actionGeometry(a)).toImage().convertToFormat(QImage::Format_RGB32);
}

void CheckFrame(ProgramKind kind, const char* idle, int cjkMenu, const QString& shotName) {
  FrameFixture fx(kind);
  fx.frame->resize(800, 500);
  fx.frame->show();
  QApplication::processEvents();

  // The menu title as shown, against the same title with characters no
  // font has.
  QAction* title = fx.frame->menuBar()->actions().at(cjkMenu);
  const QString text = title->text();
  const QImage shown = MenuTitle(*fx.frame, cjkMenu);
  title->setText(QString(text.size() - 4, QChar(0xFFFF)) + text.right(4));
  QApplication::processEvents();
  const QImage tofu = MenuTitle(*fx.frame, cjkMenu);
  title->setText(text);
  EXPECT_GT(Ink(shown), 40);
  EXPECT_NE(shown, tofu);

  // Distinct characters give distinct pictures in the frame's own font.
  const QFont font = fx.frame->menuBar()->font();
  const QString chars = QString::fromUtf8("等倍表示画像作成ﾌｧｲﾙ");
  std::vector<QImage> seen;
  for (QChar c : chars) {
    const QImage img = Render(font, QString(c));
    EXPECT_GT(Ink(img), 10) << QString(c).toStdString();
    for (const QImage& other : seen) EXPECT_NE(img, other) << QString(c).toStdString();
    seen.push_back(img);
  }

  // The idle text in the status bar is drawn too.
  QLabel* pane = fx.frame->StatusPane(0);
  EXPECT_EQ(pane->text().toStdString(), idle);
  const QImage status = pane->grab().toImage();
  EXPECT_GT(Ink(status), 40);

  // Kept for a person to look at.
  fx.frame->grab().save(QDir::current().filePath(shotName));
}

TEST(JapaneseText, ViewerMenusAndStatusRenderAsGlyphs) {
  CheckFrame(ProgramKind::Viewer, "等倍表示ｿﾌﾄ", 3 /* 画像処理(&G) */, "viewer_frame.png");
}

TEST(JapaneseText, AuthoringMenusAndStatusRenderAsGlyphs) {
  CheckFrame(ProgramKind::Authoring, "等倍画像作成ｿﾌﾄ", 2 /* 作図ﾓｰﾄﾞ(&M) */, "authoring_frame.png");
}

}  // namespace
}  // namespace kv::shell
