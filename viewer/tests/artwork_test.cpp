// The viewer's cursors, hot-spot icons and toolbox pictures at several pixel
// ratios. Set KV_ARTWORK_DUMP to a .png path to get a contact sheet of them
// all: the cursors and icons at 4x, then the toolbox's buttons at 4x and its
// legend at 2x, then the toolbox pictures at their real device size.
#include "viewer/widgets/artwork.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

namespace kv::viewer {
namespace {

using Id = ViewerCursorId;

struct Expected {
  Id id;
  QPoint hot;
};
const Expected kCursors[] = {
    {Id::OpenHand, {12, 1}},      {Id::GrabHand, {16, 14}},           {Id::ZoomIn, {9, 9}},
    {Id::ZoomOut, {9, 9}},        {Id::CalibrationRightEnd, {12, 0}}, {Id::Registration, {0, 12}},
    {Id::LogoLink, {7, 3}},       {Id::ShowToolbox, {12, 0}},         {Id::ReturnView, {12, 0}},
    {Id::NavigatorHand, {12, 1}}, {Id::NavigatorGrab, {16, 14}},     {Id::Measure, {15, 15}},
};

// The strongest alpha among the device pixels within `reach` logical
// pixels of the logical pixel p.
int MaxAlphaNear(const QImage& img, double dpr, QPoint p, int reach) {
  int best = 0;
  const int x0 = int(std::floor((p.x() - reach) * dpr)),
            x1 = int(std::ceil((p.x() + reach + 1) * dpr));
  const int y0 = int(std::floor((p.y() - reach) * dpr)),
            y1 = int(std::ceil((p.y() + reach + 1) * dpr));
  for (int y = std::max(0, y0); y < std::min(img.height(), y1); ++y)
    for (int x = std::max(0, x0); x < std::min(img.width(), x1); ++x)
      best = std::max(best, qAlpha(img.pixel(x, y)));
  return best;
}

double TransparentShare(const QImage& img) {
  int clear = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) clear += qAlpha(img.pixel(x, y)) == 0;
  return double(clear) / (img.width() * img.height());
}

const ToolboxButton kButtons[] = {
    ToolboxButton::PrevPhoto, ToolboxButton::NextPhoto,  ToolboxButton::Windowed,
    ToolboxButton::RealSize,  ToolboxButton::ZoomOut,    ToolboxButton::ZoomIn,
    ToolboxButton::ResetView, ToolboxButton::OpenFolder, ToolboxButton::FullScreen,
    ToolboxButton::Guides,
};
const double kSheetRatios[] = {1, 1.5, 2, 3};

// Drawn over a checkerboard, which shows what is transparent.
void DrawScaled(QPainter& p, const QRect& cell, QImage art) {
  for (int y = 0; y < cell.height(); y += 8)
    for (int x = 0; x < cell.width(); x += 8)
      p.fillRect(cell.x() + x, cell.y() + y, std::min(8, cell.width() - x),
                 std::min(8, cell.height() - y),
                 ((x + y) / 8) % 2 ? QColor(150, 170, 150) : QColor(215, 225, 215));
  art.setDevicePixelRatio(1);
  p.drawImage(cell, art.scaled(cell.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

QImage CursorSheet() {
  constexpr int kCell = 128, kGap = 8;
  const int columns = int(std::size(kCursors)) + 2;
  QImage sheet(kGap + columns * (kCell + kGap),
               kGap + int(std::size(kSheetRatios)) * (kCell + kGap), QImage::Format_ARGB32);
  sheet.fill(QColor(255, 255, 255));
  QPainter p(&sheet);
  for (int row = 0; row < int(std::size(kSheetRatios)); ++row) {
    const double dpr = kSheetRatios[row];
    for (int col = 0; col < columns; ++col) {
      const QRect cell(kGap + col * (kCell + kGap), kGap + row * (kCell + kGap), kCell, kCell);
      QPoint hot(-1, -1);
      if (col < int(std::size(kCursors))) {
        DrawScaled(p, cell, MakeViewerCursorPixmap(kCursors[col].id, dpr).toImage());
        hot = kCursors[col].hot;
      } else {
        DrawScaled(p, cell, MakeHiddenToolboxIcon(col == columns - 1, dpr));
      }
      if (hot.x() >= 0) {
        p.setPen(QColor(255, 0, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(cell.x() + hot.x() * 4, cell.y() + hot.y() * 4, 3, 3);
      }
    }
  }
  p.end();
  return sheet;
}

QImage ToolboxSheet() {
  constexpr int kButton = 4 * kToolboxButtonSide, kGap = 8;
  const QSize legend(2 * kLegendWidth, 2 * kLegendHeight);
  const int rowHeight = std::max(kButton, legend.height()) + kGap;
  const int enlargedWidth =
      kGap + int(std::size(kButtons)) * (kButton + kGap) + legend.width() + kGap;
  // Below the enlarged rows, one row per ratio at the real device size.
  int realHeight = 0;
  for (const double dpr : kSheetRatios) realHeight += int(std::lround(kLegendHeight * dpr)) + kGap;
  QImage sheet(enlargedWidth, kGap + int(std::size(kSheetRatios)) * rowHeight + realHeight,
               QImage::Format_ARGB32);
  sheet.fill(QColor(255, 255, 255));
  QPainter p(&sheet);
  int y = kGap;
  for (const double dpr : kSheetRatios) {
    int x = kGap;
    for (const ToolboxButton b : kButtons) {
      DrawScaled(p, QRect(x, y, kButton, kButton), MakeToolboxButtonImage(b, dpr));
      x += kButton + kGap;
    }
    DrawScaled(p, QRect(QPoint(x, y), legend), MakeToolboxLegend(dpr));
    y += rowHeight;
  }
  for (const double dpr : kSheetRatios) {
    int x = kGap;
    for (const ToolboxButton b : kButtons) {
      QImage art = MakeToolboxButtonImage(b, dpr);
      art.setDevicePixelRatio(1);
      p.drawImage(x, y, art);
      x += art.width() + kGap / 2;
    }
    QImage art = MakeToolboxLegend(dpr);
    art.setDevicePixelRatio(1);
    p.drawImage(x + kGap, y, art);
    y += art.height() + kGap;
  }
  p.end();
  return sheet;
}

void WriteContactSheet(const QString& path) {
  const QImage cursors = CursorSheet(), toolbox = ToolboxSheet();
  QImage sheet(std::max(cursors.width(), toolbox.width()), cursors.height() + toolbox.height(),
               QImage::Format_ARGB32);
  sheet.fill(QColor(255, 255, 255));
  QPainter p(&sheet);
  p.drawImage(0, 0, cursors);
  p.drawImage(0, cursors.height(), toolbox);
  p.end();
  ASSERT_TRUE(sheet.save(path));
}

TEST(ViewerArtwork, CursorsAreCrispTransparentAndPointWhereTheySay) {
  for (const double dpr : {1.0, 2.0}) {
    std::vector<QImage> seen;
    for (const Expected& e : kCursors) {
      SCOPED_TRACE(testing::Message() << "cursor " << int(e.id) << " at ratio " << dpr);
      EXPECT_EQ(CursorHotSpot(e.id), e.hot);
      EXPECT_TRUE(QRect(0, 0, 32, 32).contains(e.hot));

      const QPixmap pm = MakeViewerCursorPixmap(e.id, dpr);
      EXPECT_EQ(pm.size(), QSize(int(32 * dpr), int(32 * dpr)));
      EXPECT_DOUBLE_EQ(pm.devicePixelRatio(), dpr);
      const QImage img = pm.toImage();
      EXPECT_GE(MaxAlphaNear(img, dpr, e.hot, 2), 200) << "nothing drawn at the hot spot";
      EXPECT_EQ(MaxAlphaNear(img, dpr, QPoint(0, 0), 0), 0) << "background not transparent";
      EXPECT_GT(TransparentShare(img), 0.3);
      EXPECT_LT(TransparentShare(img), 0.9);
      for (const QImage& other : seen) EXPECT_NE(img, other);
      seen.push_back(img);

      const QCursor& cached = ViewerCursor(e.id, dpr);
      EXPECT_EQ(&cached, &ViewerCursor(e.id, dpr));
      EXPECT_EQ(cached.hotSpot(), e.hot);
      EXPECT_DOUBLE_EQ(cached.pixmap().devicePixelRatio(), dpr);
    }
  }
  // Odd ratios round to whole device pixels.
  EXPECT_EQ(MakeViewerCursorPixmap(Id::ZoomIn, 1.5).size(), QSize(48, 48));
  EXPECT_EQ(MakeViewerCursorPixmap(Id::ZoomIn, 3).size(), QSize(96, 96));
}

TEST(ViewerArtwork, HiddenToolboxIconsAreOpaquePanelsThatDiffer) {
  for (const double dpr : {1.0, 2.0}) {
    SCOPED_TRACE(testing::Message() << "ratio " << dpr);
    const QImage show = MakeHiddenToolboxIcon(false, dpr);
    const QImage back = MakeHiddenToolboxIcon(true, dpr);
    for (const QImage& icon : {show, back}) {
      EXPECT_EQ(icon.format(), QImage::Format_ARGB32_Premultiplied);
      EXPECT_EQ(icon.size(), QSize(int(kViewerArtSide * dpr), int(kViewerArtSide * dpr)));
      EXPECT_DOUBLE_EQ(icon.devicePixelRatio(), dpr);
      EXPECT_EQ(qAlpha(icon.pixel(icon.width() / 2, icon.height() / 2)), 255);
      EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << "the panel's corners are rounded";
    }
    EXPECT_NE(show, back);
  }
}

bool IsCream(QRgb c) { return c == qRgb(255, 250, 238); }

TEST(ViewerArtwork, ToolboxPicturesAreOpaqueDistinctAndSizedForTheRatio) {
  for (const double dpr : {1.0, 1.5, 2.0, 3.0}) {
    SCOPED_TRACE(testing::Message() << "ratio " << dpr);
    const int side = int(std::lround(kToolboxButtonSide * dpr));
    std::vector<QImage> seen;
    for (const ToolboxButton b : kButtons) {
      SCOPED_TRACE(testing::Message() << "button " << int(b));
      const QImage img = MakeToolboxButtonImage(b, dpr);
      EXPECT_EQ(img.format(), QImage::Format_ARGB32_Premultiplied);
      EXPECT_EQ(img.size(), QSize(side, side));
      EXPECT_DOUBLE_EQ(img.devicePixelRatio(), dpr);
      for (const QPoint corner :
           {QPoint(0, 0), QPoint(side - 1, 0), QPoint(0, side - 1), QPoint(side - 1, side - 1)})
        EXPECT_TRUE(IsCream(img.pixel(corner))) << "corner " << corner.x() << "," << corner.y();
      int clear = 0, drawn = 0;
      for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
          clear += qAlpha(img.pixel(x, y)) != 255;
          // The middle half of each side holds the picture.
          const bool middle =
              x >= side / 4 && x < side * 3 / 4 && y >= side / 4 && y < side * 3 / 4;
          drawn += middle && !IsCream(img.pixel(x, y));
        }
      EXPECT_EQ(clear, 0);
      EXPECT_GT(drawn, side * side / 16) << "little drawn in the middle";
      for (const QImage& other : seen) EXPECT_NE(img, other);
      seen.push_back(img);
    }
  }

  for (const double dpr : {1.0, 2.0}) {
    SCOPED_TRACE(testing::Message() << "legend at ratio " << dpr);
    const QImage legend = MakeToolboxLegend(dpr);
    EXPECT_EQ(legend.size(), QSize(int(kLegendWidth * dpr), int(kLegendHeight * dpr)));
    EXPECT_DOUBLE_EQ(legend.devicePixelRatio(), dpr);
    int black = 0, magenta = 0, white = 0, clear = 0;
    // The lowest row of white pixels, and the white reaching an edge column.
    int lowestWhite = -1, whiteAtEdge = 0;
    for (int y = 0; y < legend.height(); ++y)
      for (int x = 0; x < legend.width(); ++x) {
        const QRgb c = legend.pixel(x, y);
        clear += qAlpha(c) != 255;
        black += c == qRgb(0, 0, 0);
        magenta += c == qRgb(255, 0, 204);
        if (qRed(c) > 200 && qGreen(c) > 200 && qBlue(c) > 200) {
          ++white;
          lowestWhite = y;
          whiteAtEdge += x == 0 || x == legend.width() - 1;
        }
      }
    EXPECT_EQ(clear, 0);
    EXPECT_TRUE(legend.pixel(0, 0) == qRgb(0, 0, 0));
    EXPECT_GT(black, legend.width() * legend.height() / 2);
    // A two-pixel line, not a speck.
    EXPECT_GE(magenta, int(20 * dpr * 2 * dpr));
    // Three lines of kana and kanji, none cut off by the panel's edges.
    EXPECT_GT(white, int(100 * dpr * dpr));
    EXPECT_EQ(whiteAtEdge, 0);
    EXPECT_LT(lowestWhite, legend.height() - 1);
    EXPECT_GT(lowestWhite, legend.height() * 3 / 4) << "the third line is missing";
  }

  if (qEnvironmentVariableIsSet("KV_ARTWORK_DUMP"))
    WriteContactSheet(qEnvironmentVariable("KV_ARTWORK_DUMP"));
}

}  // namespace
}  // namespace kv::viewer
