// The viewer's cursors and hot-spot icons at several pixel ratios. Set
// KV_ARTWORK_DUMP to a .png path to get a 4x contact sheet of them all.
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
    {Id::NavigatorHand, {12, 1}}, {Id::NavigatorGrab, {16, 14}},
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

void WriteContactSheet(const QString& path) {
  constexpr int kCell = 128, kGap = 8;
  const double ratios[] = {1, 1.5, 2, 3};
  const int columns = int(std::size(kCursors)) + 2;
  QImage sheet(kGap + columns * (kCell + kGap), kGap + int(std::size(ratios)) * (kCell + kGap),
               QImage::Format_ARGB32);
  sheet.fill(QColor(255, 255, 255));
  QPainter p(&sheet);
  for (int row = 0; row < int(std::size(ratios)); ++row) {
    const double dpr = ratios[row];
    for (int col = 0; col < columns; ++col) {
      const QRect cell(kGap + col * (kCell + kGap), kGap + row * (kCell + kGap), kCell, kCell);
      // A checkerboard shows what is transparent.
      for (int y = 0; y < kCell; y += 8)
        for (int x = 0; x < kCell; x += 8)
          p.fillRect(cell.x() + x, cell.y() + y, 8, 8,
                     ((x + y) / 8) % 2 ? QColor(150, 170, 150) : QColor(215, 225, 215));
      QImage art;
      QPoint hot(-1, -1);
      if (col < int(std::size(kCursors))) {
        art = MakeViewerCursorPixmap(kCursors[col].id, dpr).toImage();
        hot = kCursors[col].hot;
      } else {
        art = MakeHiddenToolboxIcon(col == columns - 1, dpr);
      }
      art.setDevicePixelRatio(1);
      p.drawImage(cell, art.scaled(kCell, kCell, Qt::IgnoreAspectRatio, Qt::FastTransformation));
      if (hot.x() >= 0) {
        p.setPen(QColor(255, 0, 0));
        p.setBrush(Qt::NoBrush);
        p.drawRect(cell.x() + hot.x() * 4, cell.y() + hot.y() * 4, 3, 3);
      }
    }
  }
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
  if (qEnvironmentVariableIsSet("KV_ARTWORK_DUMP"))
    WriteContactSheet(qEnvironmentVariable("KV_ARTWORK_DUMP"));
}

}  // namespace
}  // namespace kv::viewer
