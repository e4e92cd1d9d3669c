#include "authoring/widgets/artwork.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "foundation/shell/toolbar_images.h"
#include "platform/draw_surface.h"

namespace kv::authoring {

QImage MakeStartBanner() {
  QImage img(kBannerWidth, kBannerHeight, QImage::Format_RGB32);
  img.fill(QColor(252, 252, 248));
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(70, 110, 60), 2));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(1, 1, kBannerWidth - 2, kBannerHeight - 2));
  // The mark: a ring around a short ruler with its ticks.
  const QPointF centre(50, 50);
  p.setPen(QPen(QColor(70, 110, 60), 4));
  p.setBrush(QColor(225, 240, 215));
  p.drawEllipse(centre, 34, 34);
  p.setPen(QPen(QColor(60, 60, 60), 2));
  p.setBrush(QColor(245, 205, 95));
  p.drawRect(QRectF(24, 42, 52, 16));
  for (int i = 0; i <= 5; ++i) {
    const double x = 28 + i * 8.8;
    p.drawLine(QPointF(x, 42), QPointF(x, i % 5 == 0 ? 52 : 48));
  }
  QFont title(platform::DefaultGothicFace());
  title.setPixelSize(15);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(40, 70, 35));
  p.drawText(QRectF(100, 14, 440, 26), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromUtf8("等倍画像作成ｿﾌﾄ"));
  QFont body(platform::DefaultGothicFace());
  body.setPixelSize(16);
  p.setFont(body);
  p.setPen(QColor(20, 20, 20));
  p.drawText(QRectF(100, 44, 440, 44), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap,
             QString::fromUtf8("ファイルメニューの「ＪＰＥＧファイルの読み込み」から"
                               "新規データを作成して下さい。"));
  p.end();
  return img;
}

QImage MakeRegistrationCursorImage(bool endPoint) {
  QImage img(kCursorSide, kCursorSide, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  // The arrow, tip at the hot spot, white with a black outline as the
  // desktop's own arrows are.
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::white);
  p.drawPath(shell::CursorArrowPath(kCursorHotX, kCursorHotY));
  // The label box to the upper right of the tip.
  const QRect box(11, 0, 21, 12);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(Qt::white);
  p.drawRect(box.adjusted(0, 0, -1, -1));
  QFont f(platform::DefaultGothicFace());
  f.setPixelSize(9);
  p.setFont(f);
  p.drawText(box, Qt::AlignCenter, QString::fromUtf8(endPoint ? "終了" : "開始"));
  p.end();
  return img;
}

QCursor MakeRegistrationCursor(bool endPoint) {
  return QCursor(QPixmap::fromImage(MakeRegistrationCursorImage(endPoint)), kCursorHotX,
                 kCursorHotY);
}

}  // namespace kv::authoring
