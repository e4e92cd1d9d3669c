#include "foundation/shell/toolbar_images.h"

#include <QPainter>
#include <QPainterPath>


namespace kv::shell {
namespace {

const QColor kInk(40, 40, 48);
const QColor kBlue(40, 96, 200);
const QColor kRed(200, 48, 40);
const QColor kYellow(240, 200, 60);
const QColor kGreen(40, 150, 70);
const QColor kPaper(250, 250, 245);

void Magnifier(QPainter& p, bool plus) {
  p.setPen(QPen(kInk, 2));
  p.setBrush(QColor(210, 230, 250));
  p.drawEllipse(QPointF(13, 10), 7, 7);
  p.setPen(QPen(kInk, 3, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(18, 15), QPointF(24, 21));
  p.setPen(QPen(kBlue, 2));
  p.drawLine(QPointF(9.5, 10), QPointF(16.5, 10));
  if (plus) p.drawLine(QPointF(13, 6.5), QPointF(13, 13.5));
}

void Ruler(QPainter& p, QRectF r) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(kYellow);
  p.drawRect(r);
  for (int i = 0; i * 3 < r.width() - 1; ++i) {
    const double x = r.left() + 1.5 + i * 3;
    p.drawLine(QPointF(x, r.top()), QPointF(x, r.top() + (i % 2 ? 2 : 4)));
  }
}

void Arrow(QPainter& p, double x, double y, bool right, const QColor& c) {
  QPainterPath a;
  const double d = right ? 1 : -1;
  a.moveTo(x, y - 5);
  a.lineTo(x + d * 6, y);
  a.lineTo(x, y + 5);
  a.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(c);
  p.drawPath(a);
}

void Photo(QPainter& p, QRectF r) {
  p.setPen(QPen(kInk, 1));
  p.setBrush(QColor(170, 215, 245));
  p.drawRect(r);
  QPainterPath hill;
  hill.moveTo(r.left() + 1, r.bottom());
  hill.lineTo(r.left() + r.width() * 0.4, r.top() + r.height() * 0.45);
  hill.lineTo(r.left() + r.width() * 0.65, r.top() + r.height() * 0.7);
  hill.lineTo(r.left() + r.width() * 0.8, r.top() + r.height() * 0.55);
  hill.lineTo(r.right(), r.bottom());
  hill.closeSubpath();
  p.setPen(Qt::NoPen);
  p.setBrush(kGreen);
  p.drawPath(hill);
  p.setBrush(kYellow);
  p.drawEllipse(QPointF(r.right() - 4, r.top() + 4), 2, 2);
}

void Cross(QPainter& p, double x, double y) {
  p.setPen(QPen(kRed, 1.5));
  p.drawLine(QPointF(x - 3, y), QPointF(x + 3, y));
  p.drawLine(QPointF(x, y - 3), QPointF(x, y + 3));
}

void Draw(QPainter& p, res::ButtonArt art) {
  using res::ButtonArt;
  switch (art) {
    case ButtonArt::RulerNext:  // ruler, then the next one
      Ruler(p, QRectF(3.5, 8.5, 18, 7));
      Arrow(p, 23, 12, true, kBlue);
      break;
    case ButtonArt::Information:
      p.setPen(QPen(kBlue, 1.5));
      p.setBrush(kPaper);
      p.drawEllipse(QPointF(16, 12), 9, 9);
      p.setPen(Qt::NoPen);
      p.setBrush(kBlue);
      p.drawEllipse(QPointF(16, 7.5), 1.6, 1.6);
      p.drawRect(QRectF(14.6, 10.5, 2.8, 8));
      break;
    case ButtonArt::FitInFrame: {  // a frame with the photo fitted inside
      Photo(p, QRectF(9.5, 7.5, 13, 9));
      p.setPen(QPen(kInk, 1.5));
      const double l = 4, t = 3, r = 28, b = 21;
      p.drawLine(QPointF(l, t), QPointF(l + 5, t));
      p.drawLine(QPointF(l, t), QPointF(l, t + 5));
      p.drawLine(QPointF(r, t), QPointF(r - 5, t));
      p.drawLine(QPointF(r, t), QPointF(r, t + 5));
      p.drawLine(QPointF(l, b), QPointF(l + 5, b));
      p.drawLine(QPointF(l, b), QPointF(l, b - 5));
      p.drawLine(QPointF(r, b), QPointF(r - 5, b));
      p.drawLine(QPointF(r, b), QPointF(r, b - 5));
      break;
    }
    case ButtonArt::Folder: {
      p.setPen(QPen(QColor(150, 110, 20), 1));
      p.setBrush(QColor(240, 200, 90));
      p.drawRect(QRectF(5.5, 6.5, 9, 3));
      p.drawRect(QRectF(5.5, 8.5, 21, 12));
      p.setBrush(QColor(250, 220, 120));
      QPainterPath lid;
      lid.moveTo(8.5, 11.5);
      lid.lineTo(28.5, 11.5);
      lid.lineTo(25.5, 20.5);
      lid.lineTo(5.5, 20.5);
      lid.closeSubpath();
      p.drawPath(lid);
      break;
    }
    case ButtonArt::MagnifierPlus: Magnifier(p, true); break;
    case ButtonArt::MagnifierMinus: Magnifier(p, false); break;
    case ButtonArt::PhotoBack:
      Photo(p, QRectF(12.5, 6.5, 15, 11));
      Arrow(p, 10, 12, false, kBlue);
      break;
    case ButtonArt::PhotoForward:
      Photo(p, QRectF(4.5, 6.5, 15, 11));
      Arrow(p, 22, 12, true, kBlue);
      break;
    case ButtonArt::Sun: {
      p.setPen(QPen(QColor(220, 140, 0), 1.5, Qt::SolidLine, Qt::RoundCap));
      for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(16, 12);
        p.rotate(45.0 * i);
        p.drawLine(QPointF(6.5, 0), QPointF(9.5, 0));
        p.restore();
      }
      p.setBrush(kYellow);
      p.drawEllipse(QPointF(16, 12), 4.5, 4.5);
      break;
    }
    case ButtonArt::Contrast: {
      p.setPen(QPen(kInk, 1.5));
      p.setBrush(Qt::white);
      p.drawEllipse(QPointF(16, 12), 8, 8);
      p.setBrush(kInk);
      p.drawPie(QRectF(8, 4, 16, 16), 90 * 16, 180 * 16);
      break;
    }
    case ButtonArt::Question: {
      p.setPen(QPen(kBlue, 1.5));
      p.setBrush(kPaper);
      p.drawEllipse(QPointF(16, 12), 9, 9);
      QFont f;
      f.setPixelSize(14);
      f.setBold(true);
      p.setFont(f);
      p.drawText(QRectF(7, 3, 18, 18), Qt::AlignCenter, "?");
      break;
    }
    case ButtonArt::House: {
      QPainterPath roof;
      roof.moveTo(16, 3);
      roof.lineTo(27, 12);
      roof.lineTo(5, 12);
      roof.closeSubpath();
      p.setPen(QPen(kInk, 1));
      p.setBrush(kRed);
      p.drawPath(roof);
      p.setBrush(kPaper);
      p.drawRect(QRectF(8.5, 11.5, 15, 9));
      p.setBrush(QColor(150, 100, 60));
      p.drawRect(QRectF(14.5, 14.5, 4, 6));
      break;
    }
    case ButtonArt::PhotoIn:
      Photo(p, QRectF(10.5, 4.5, 17, 13));
      Arrow(p, 6, 16, true, kBlue);
      p.setPen(QPen(kBlue, 2));
      p.drawLine(QPointF(2, 16), QPointF(7, 16));
      break;
    case ButtonArt::Disk: {
      p.setPen(QPen(kInk, 1));
      p.setBrush(QColor(60, 90, 160));
      p.drawRect(QRectF(7.5, 3.5, 17, 17));
      p.setBrush(kPaper);
      p.drawRect(QRectF(10.5, 3.5, 11, 6));
      p.setBrush(QColor(200, 200, 210));
      p.drawRect(QRectF(10.5, 13.5, 11, 7));
      break;
    }
    case ButtonArt::PageOut: {
      p.setPen(QPen(kInk, 1));
      p.setBrush(kPaper);
      p.drawRect(QRectF(5.5, 2.5, 14, 19));
      Ruler(p, QRectF(7.5, 9.5, 10, 5));
      Arrow(p, 22, 12, true, kRed);
      break;
    }
    case ButtonArt::Measure: {
      p.setPen(QPen(kBlue, 1, Qt::DashLine));
      p.drawLine(QPointF(7, 15), QPointF(25, 15));
      Cross(p, 6.5, 15);
      Cross(p, 25.5, 15);
      QFont f;
      f.setPixelSize(9);
      p.setFont(f);
      p.setPen(kInk);
      p.drawText(QRectF(0, 1, 32, 11), Qt::AlignCenter, "mm");
      break;
    }
    case ButtonArt::Eye: {
      QPainterPath eye;
      eye.moveTo(4, 12);
      eye.quadTo(16, 1, 28, 12);
      eye.quadTo(16, 23, 4, 12);
      p.setPen(QPen(kInk, 1.5));
      p.setBrush(kPaper);
      p.drawPath(eye);
      p.setBrush(kBlue);
      p.drawEllipse(QPointF(16, 12), 4, 4);
      p.setBrush(kInk);
      p.drawEllipse(QPointF(16, 12), 1.8, 1.8);
      break;
    }
    case ButtonArt::Frame:
      p.setPen(QPen(kInk, 1));
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRectF(6.5, 4.5, 19, 15));
      break;
  }
}

}  // namespace

QImage ButtonImage(res::ButtonArt art) {
  QImage img(kButtonWidth, kButtonHeight, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  Draw(p, art);
  return img;
}

QImage ButtonStrip(std::span<const res::ToolbarButton> toolbar) {
  int count = 0;
  for (const res::ToolbarButton& b : toolbar)
    if (b.id != res::kSeparator) ++count;
  QImage strip(kButtonWidth * count, kButtonHeight, QImage::Format_ARGB32_Premultiplied);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  int i = 0;
  for (const res::ToolbarButton& b : toolbar) {
    if (b.id == res::kSeparator) continue;
    p.drawImage(kButtonWidth * i++, 0, ButtonImage(b.art));
  }
  return strip;
}

QImage ProgramIconImage(ProgramKind kind, int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / 32.0, size / 32.0);
  // A rounded tile with a ruler across a photo; the viewer's tile is blue,
  // the authoring tool's green.
  p.setPen(Qt::NoPen);
  p.setBrush(kind == ProgramKind::Viewer ? kBlue : kGreen);
  p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
  Photo(p, QRectF(5.5, 5.5, 21, 15));
  Ruler(p, QRectF(4.5, 21.5, 23, 6));
  return img;
}

QIcon ProgramIcon(ProgramKind kind) {
  QIcon icon;
  for (int s : {16, 24, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(ProgramIconImage(kind, s)));
  return icon;
}

QPainterPath CursorArrowPath(double x, double y) {
  QPainterPath arrow;
  arrow.moveTo(x + 0.5, y + 0.5);
  arrow.lineTo(x + 0.5, y + 16.5);
  arrow.lineTo(x + 4.5, y + 12.5);
  arrow.lineTo(x + 7.5, y + 19.5);
  arrow.lineTo(x + 9.5, y + 18.5);
  arrow.lineTo(x + 6.5, y + 11.5);
  arrow.lineTo(x + 11.5, y + 11.5);
  arrow.closeSubpath();
  return arrow;
}

}  // namespace kv::shell
