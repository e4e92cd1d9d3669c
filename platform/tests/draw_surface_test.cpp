#include "platform/draw_surface.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

namespace kv::platform {
namespace {

constexpr QRgb kGrey = 0xFF808080;

QImage Canvas(int w = 60, int h = 40) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(kGrey);
  return img;
}

QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) | 0xFF000000; }

TEST(DrawSurface, LinesCoverTheStartAndStopBeforeTheEnd) {
  QImage img = Canvas();
  {
    QPainter p(&img);
    DrawSurface s(p);
    s.SelectPen(Pen{PenStyle::Solid, 1, Rgb(255, 0, 0)});
    s.MoveTo(5, 10);
    s.LineTo(15, 10);
    s.MoveTo(30, 5);
    s.LineTo(30, 1);  // upwards
    s.MoveTo(40, 20);
    s.LineTo(40, 20);  // empty
  }
  for (int x = 5; x < 15; ++x) EXPECT_EQ(At(img, x, 10), 0xFFFF0000u) << x;
  EXPECT_EQ(At(img, 15, 10), kGrey);
  EXPECT_EQ(At(img, 4, 10), kGrey);
  for (int y = 2; y <= 5; ++y) EXPECT_EQ(At(img, 30, y), 0xFFFF0000u) << y;
  EXPECT_EQ(At(img, 30, 1), kGrey);
  EXPECT_EQ(At(img, 40, 20), kGrey);
}

TEST(DrawSurface, ColoursKeepRedInTheLowByte) {
  QImage img = Canvas();
  {
    QPainter p(&img);
    DrawSurface s(p);
    s.SelectPen(Pen{PenStyle::Solid, 1, Rgb(210, 210, 255)});
    s.MoveTo(0, 0);
    s.LineTo(3, 0);
  }
  EXPECT_EQ(At(img, 1, 0), qRgb(210, 210, 255));
  EXPECT_EQ(Rgb(1, 2, 3), 0x030201u);
}

TEST(DrawSurface, StyledPensFillGapsOnlyWhenOpaque) {
  QImage img = Canvas(80, 10);
  {
    QPainter p(&img);
    DrawSurface s(p);
    s.SelectPen(Pen{PenStyle::Dash, 1, Rgb(0, 0, 255)});
    s.SetBkColor(Rgb(255, 255, 255));
    s.SetBkMode(BkMode::Opaque);
    s.MoveTo(0, 2);
    s.LineTo(60, 2);
    s.SetBkMode(BkMode::Transparent);
    s.MoveTo(0, 6);
    s.LineTo(60, 6);
  }
  EXPECT_EQ(At(img, 0, 2), 0xFF0000FFu);
  EXPECT_EQ(At(img, 17, 2), 0xFF0000FFu);
  EXPECT_EQ(At(img, 18, 2), 0xFFFFFFFFu);  // gap filled white
  EXPECT_EQ(At(img, 23, 2), 0xFFFFFFFFu);
  EXPECT_EQ(At(img, 24, 2), 0xFF0000FFu);
  EXPECT_EQ(At(img, 18, 6), kGrey);  // gap left alone
  EXPECT_EQ(At(img, 24, 6), 0xFF0000FFu);
}

TEST(DrawSurface, XorDrawnTwiceLeavesThePictureAsItWas) {
  QImage img = Canvas();
  const QImage before = img.copy();
  {
    QPainter p(&img);
    DrawSurface s(p);
    s.SetRasterOp(RasterOp::Xor);
    s.SelectPen(Pen{PenStyle::Solid, 1, Rgb(255, 255, 255)});
    s.MoveTo(0, 5);
    s.LineTo(50, 30);
    EXPECT_EQ(At(img, 0, 5), qRgb(0x7F, 0x7F, 0x7F));
    s.MoveTo(0, 5);
    s.LineTo(50, 30);
  }
  EXPECT_EQ(img, before);
}

TEST(DrawSurface, SelectAndSetReturnThePreviousAttributes) {
  QImage img = Canvas();
  QPainter p(&img);
  DrawSurface s(p);
  const Pen pen{PenStyle::Dot, 2, Rgb(1, 2, 3)};
  const Pen old = s.SelectPen(pen);
  EXPECT_EQ(s.SelectPen(old), pen);
  EXPECT_EQ(s.CurrentPen(), old);
  EXPECT_EQ(s.SetTextColor(Rgb(9, 9, 9)), kBlack);
  EXPECT_EQ(s.SetBkMode(BkMode::Transparent), BkMode::Opaque);
  EXPECT_EQ(s.SetRasterOp(RasterOp::NotXor), RasterOp::Copy);
  FontSpec f;
  f.face = DefaultGothicFace();
  f.height = 24;
  const FontSpec oldFont = s.SelectFont(f);
  EXPECT_EQ(s.SelectFont(oldFont), f);
}

TEST(DrawSurface, FontsMatchTheirCellHeightInAJapaneseGothicFace) {
  for (int h : {6, 12, 13, 24, 40}) {
    FontSpec f;
    f.face = DefaultGothicFace();
    f.height = h;
    const QFont q = MakeCellFont(f);
    EXPECT_LE(QFontMetrics(q).height(), h) << h;
    EXPECT_GE(QFontMetrics(q).height(), h - 2) << h;
  }
  FontSpec f;
  f.face = "ＭＳ ゴシック";  // absent here: a gothic face stands in
  f.height = 12;
  const QFontInfo info(MakeCellFont(f));
  EXPECT_TRUE(info.family().contains("IPA") || info.family().contains("Gothic"))
      << info.family().toStdString();
}

TEST(DrawSurface, TextIsPlacedByItsTopLeftCorner) {
  QImage img = Canvas(120, 60);
  QSize extent;
  {
    QPainter p(&img);
    DrawSurface s(p);
    FontSpec f;
    f.face = DefaultGothicFace();
    f.height = 20;
    s.SelectFont(f);
    s.SetTextColor(Rgb(0, 0, 0));
    s.SetBkMode(BkMode::Opaque);
    s.SetBkColor(Rgb(255, 255, 255));
    extent = s.TextExtent(QString::fromUtf8("等倍"));
    s.TextOut(10, 15, QString::fromUtf8("等倍"));
  }
  EXPECT_GT(extent.width(), 20);
  EXPECT_LE(extent.height(), 20);
  // The opaque cell covers exactly the extent from the corner.
  EXPECT_EQ(At(img, 10, 15), 0xFFFFFFFFu);
  EXPECT_EQ(At(img, 9, 15), kGrey);
  EXPECT_EQ(At(img, 10, 14), kGrey);
  EXPECT_EQ(At(img, 10 + extent.width(), 15 + extent.height()), kGrey);
  int dark = 0;
  for (int y = 15; y < 15 + extent.height(); ++y)
    for (int x = 10; x < 10 + extent.width(); ++x)
      if (qGray(img.pixel(x, y)) < 64) ++dark;
  EXPECT_GT(dark, 40);
}

}  // namespace
}  // namespace kv::platform
