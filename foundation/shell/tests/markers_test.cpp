#include "foundation/shell/markers.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace kv::shell {
namespace {

using platform::BkMode;
using platform::FontSpec;
using platform::Pen;
using platform::PenStyle;
using platform::RasterOp;
using platform::Rgb;

constexpr QRgb kGrey = 0xFF808080;
constexpr QRgb kWhitePx = 0xFFFFFFFF;
constexpr QRgb kRedPx = 0xFFFF0000;
const ColorRef kRed = Rgb(255, 0, 0);

QImage Canvas(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(kGrey);
  return img;
}

QRgb At(const QImage& img, int x, int y) { return img.pixel(x, y) | 0xFF000000; }

// The bounding box of pixels that differ from the grey ground.
QRect Ink(const QImage& img) {
  QRect box;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (At(img, x, y) != kGrey) box = box.united(QRect(x, y, 1, 1));
  return box;
}

struct Attributes {
  Pen pen;
  FontSpec font;
  ColorRef text, bk;
  BkMode mode;
  RasterOp rop;
  bool operator==(const Attributes&) const = default;
};

Attributes Read(const DrawSurface& s) {
  return {s.CurrentPen(), s.CurrentFont(), s.TextColor(), s.BkColor(), s.GetBkMode(), s.GetRasterOp()};
}

// A surface whose every attribute differs from what the routines select.
void Unusual(DrawSurface& s) {
  s.SelectPen(Pen{PenStyle::Dot, 3, Rgb(1, 2, 3)});
  FontSpec f;
  f.face = "Serif";
  f.height = 31;
  f.escapement = 900;
  f.weight = 700;
  s.SelectFont(f);
  s.SetTextColor(Rgb(4, 5, 6));
  s.SetBkColor(Rgb(7, 8, 9));
  s.SetBkMode(BkMode::Opaque);
  s.SetRasterOp(RasterOp::NotXor);
}

TEST(CrossMarker, ArmsAndWhiteOutlineHaveTheirExactPixels) {
  QImage img = Canvas(60, 60);
  {
    QPainter p(&img);
    DrawSurface s(p);
    DrawCrossMarker(s, 30, 30, kRed);
  }
  // Coloured arms from x - 10 to x + 9 (the end pixel is not drawn).
  for (int d = -10; d <= 9; ++d) {
    EXPECT_EQ(At(img, 30 + d, 30), kRedPx) << d;
    EXPECT_EQ(At(img, 30, 30 + d), kRedPx) << d;
  }
  EXPECT_EQ(At(img, 40, 30), kGrey);
  EXPECT_EQ(At(img, 30, 40), kGrey);
  EXPECT_EQ(At(img, 19, 30), kGrey);
  // White lines one pixel either side, except where the coloured arms cross them.
  for (int d = -10; d <= 9; ++d) {
    if (d == -1 || d == 0 || d == 1) continue;
    EXPECT_EQ(At(img, 30 + d, 29), kWhitePx) << d;
    EXPECT_EQ(At(img, 30 + d, 31), kWhitePx) << d;
    EXPECT_EQ(At(img, 29, 30 + d), kWhitePx) << d;
    EXPECT_EQ(At(img, 31, 30 + d), kWhitePx) << d;
  }
  EXPECT_EQ(At(img, 29, 29), kWhitePx);
  EXPECT_EQ(At(img, 31, 31), kWhitePx);
  EXPECT_EQ(At(img, 40, 29), kGrey);
  EXPECT_EQ(At(img, 29, 40), kGrey);
  EXPECT_EQ(Ink(img), QRect(20, 20, 20, 20));
}

TEST(CrossMarker, IsClippedAtTheSurfaceEdge) {
  QImage img = Canvas(30, 30);
  {
    QPainter p(&img);
    DrawSurface s(p);
    DrawCrossMarker(s, 0, 0, kRed);
  }
  EXPECT_EQ(At(img, 0, 0), kRedPx);
  EXPECT_EQ(At(img, 9, 0), kRedPx);
  EXPECT_EQ(At(img, 0, 9), kRedPx);
  EXPECT_EQ(At(img, 1, 5), kWhitePx);
  EXPECT_EQ(At(img, 5, 1), kWhitePx);
  EXPECT_EQ(At(img, 10, 0), kGrey);
  EXPECT_EQ(Ink(img), QRect(0, 0, 10, 10));
}

TEST(Caption, LowerLeftCornerIsTwoPixelsRightAndAbove) {
  QImage img = Canvas(200, 80);
  QSize extent;
  {
    QPainter p(&img);
    DrawSurface s(p);
    FontSpec f;
    f.face = platform::DefaultGothicFace();
    f.height = 12;
    s.SelectFont(f);
    extent = s.TextExtent(QString::fromUtf8("ディスプレイＡ"));
    DrawCaption(s, 20, 60, QString::fromUtf8("ディスプレイＡ"), 12, 0, Rgb(0, 0, 0), 1.0);
  }
  const QRect ink = Ink(img);
  ASSERT_FALSE(ink.isEmpty());
  EXPECT_GE(ink.left(), 22);
  EXPECT_LE(ink.left(), 24);
  EXPECT_LE(ink.bottom(), 60 - 2 - 1);  // nothing on or below the line 2 px above y
  EXPECT_GE(ink.top(), 60 - 2 - extent.height());
  EXPECT_LT(ink.right(), 22 + extent.width());
  EXPECT_GT(ink.width(), extent.width() / 2);
  EXPECT_LE(extent.height(), 12);
}

TEST(Caption, HeightScalesAndTruncates) {
  EXPECT_EQ(CaptionHeight(12, 2.0), 24);
  EXPECT_EQ(CaptionHeight(13, 0.5), 6);
  EXPECT_EQ(CaptionHeight(12, 1.0), 12);
  EXPECT_EQ(CaptionHeight(12, 0.99), 11);
  EXPECT_EQ(CaptionHeight(12, std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(CaptionHeight(12, 1e300), 0);
  auto inkHeight = [](double scale) {
    QImage img = Canvas(200, 100);
    QPainter p(&img);
    DrawSurface s(p);
    DrawCaption(s, 10, 90, QString::fromUtf8("等倍"), 12, 0, Rgb(0, 0, 0), scale);
    p.end();
    return Ink(img).height();
  };
  EXPECT_GT(inkHeight(2.0), inkHeight(1.0) * 3 / 2);
}

TEST(Markers, LeaveEverySurfaceAttributeAsTheyFoundIt) {
  QImage img = Canvas(120, 80);
  QPainter p(&img);
  DrawSurface s(p);
  Unusual(s);
  const Attributes before = Read(s);
  DrawCaption(s, 10, 40, QString::fromUtf8("等倍"), 12, 0, kRed, 1.0);
  EXPECT_EQ(Read(s), before);
  DrawCaption(s, 10, 40, QString(), 12, 0, kRed, 1.0);
  EXPECT_EQ(Read(s), before);
  DrawCrossMarker(s, 50, 50, kRed);
  EXPECT_EQ(Read(s), before);
  DrawMarkedPoint(s, std::string("ディスプレイＢ"), 60, 60, Rgb(210, 210, 255));
  EXPECT_EQ(Read(s), before);
  DrawDashedLine(s, 0, 5, 100, 5, kRed);
  EXPECT_EQ(Read(s), before);
  DrawSolidLine(s, 0, 9, 100, 9, kRed, 2);
  DrawDottedLine(s, 0, 12, 100, 12, kRed, 1);
  EXPECT_EQ(Read(s), before);
}

TEST(Caption, EmptyTextDrawsNothing) {
  QImage img = Canvas(50, 50);
  {
    QPainter p(&img);
    DrawSurface s(p);
    DrawCaption(s, 10, 40, QString(), 12, 0, kRed, 1.0);
  }
  EXPECT_TRUE(Ink(img).isEmpty());
}

TEST(MarkedPoint, IsTheCaptionAboveRightThenTheCross) {
  QImage img = Canvas(160, 80);
  {
    QPainter p(&img);
    DrawSurface s(p);
    DrawMarkedPoint(s, QString::fromUtf8("ディスプレイＡ"), 30, 50, Rgb(210, 210, 255));
  }
  EXPECT_EQ(At(img, 30, 50), qRgb(210, 210, 255));
  EXPECT_EQ(At(img, 25, 49), kWhitePx);
  // Caption ink to the right of x + 2 and above y - 2, beyond the cross's reach.
  int captionInk = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 41; x < 160; ++x)
      if (At(img, x, y) != kGrey) ++captionInk;
  EXPECT_GT(captionInk, 20);
}

TEST(DashedLine, DashesInTheColourGapsWhite) {
  QImage img = Canvas(80, 10);
  {
    QPainter p(&img);
    DrawSurface s(p);
    s.SetBkMode(BkMode::Transparent);
    s.SetBkColor(Rgb(0, 0, 0));
    DrawDashedLine(s, 0, 5, 60, 5, kRed);
  }
  EXPECT_EQ(At(img, 0, 5), kRedPx);
  EXPECT_EQ(At(img, 17, 5), kRedPx);
  EXPECT_EQ(At(img, 18, 5), kWhitePx);
  EXPECT_EQ(At(img, 23, 5), kWhitePx);
  EXPECT_EQ(At(img, 24, 5), kRedPx);
  EXPECT_EQ(At(img, 59, 5), kRedPx);
  EXPECT_EQ(At(img, 60, 5), kGrey);
  EXPECT_EQ(Ink(img), QRect(0, 5, 60, 1));
}

TEST(Lines, SolidWidthAndDottedGaps) {
  QImage img = Canvas(60, 20);
  {
    QPainter p(&img);
    DrawSurface s(p);
    DrawSolidLine(s, 10, 5, 50, 5, kRed, 3);
    s.SetBkMode(BkMode::Transparent);
    DrawDottedLine(s, 0, 15, 30, 15, kRed, 1);
  }
  EXPECT_EQ(At(img, 30, 4), kRedPx);
  EXPECT_EQ(At(img, 30, 5), kRedPx);
  EXPECT_EQ(At(img, 30, 6), kRedPx);
  EXPECT_EQ(At(img, 30, 8), kGrey);
  EXPECT_EQ(At(img, 0, 15), kRedPx);
  EXPECT_EQ(At(img, 3, 15), kGrey);
  EXPECT_EQ(At(img, 6, 15), kRedPx);
}

}  // namespace
}  // namespace kv::shell
