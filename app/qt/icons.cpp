// Tessaly: the small pictures of the window.
#include "app/qt/icons.h"

#include <QPainter>
#include <QPainterPath>

namespace tessaly {

QPixmap StepIcon(TStepState state, const QPalette& palette, int side, qreal device_pixel_ratio) {
  QPixmap pixmap(QSize(side, side) * device_pixel_ratio);
  pixmap.setDevicePixelRatio(device_pixel_ratio);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF disc(1.5, 1.5, side - 3.0, side - 3.0);
  const qreal pen = side / 9.0;
  switch (state) {
    case TStepState::kCurrent: {
      // A filled disc with an arrow: "you are here, going on".
      p.setPen(Qt::NoPen);
      p.setBrush(palette.color(QPalette::Active, QPalette::Highlight));
      p.drawEllipse(disc);
      QPainterPath arrow;
      arrow.moveTo(side * 0.40, side * 0.28);
      arrow.lineTo(side * 0.70, side * 0.50);
      arrow.lineTo(side * 0.40, side * 0.72);
      arrow.closeSubpath();
      p.setBrush(palette.color(QPalette::Active, QPalette::HighlightedText));
      p.drawPath(arrow);
      break;
    }
    case TStepState::kPassed: {
      // A tick in a ring: done.
      const QColor colour = palette.color(QPalette::Active, QPalette::Highlight);
      p.setPen(QPen(colour, pen));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(disc);
      QPainterPath tick;
      tick.moveTo(side * 0.30, side * 0.52);
      tick.lineTo(side * 0.45, side * 0.67);
      tick.lineTo(side * 0.72, side * 0.36);
      p.setPen(QPen(colour, pen * 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
      p.drawPath(tick);
      break;
    }
    case TStepState::kComing: {
      // An empty ring in the colour of disabled text: still to come.
      p.setPen(QPen(palette.color(QPalette::Disabled, QPalette::WindowText), pen));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(disc);
      break;
    }
  }
  return pixmap;
}

namespace {

QPixmap DrawAppIcon(int side) {
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(side / 64.0, side / 64.0);
  // A photo (sky, sun, hills) with a smaller copy in front: a photo resized.
  p.setPen(QPen(QColor(0x2e, 0x34, 0x40), 2));
  p.setBrush(QColor(0x8f, 0xc6, 0xf0));
  p.drawRoundedRect(QRectF(4, 6, 46, 38), 4, 4);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0xf6, 0xc3, 0x3c));
  p.drawEllipse(QRectF(34, 11, 9, 9));
  QPainterPath hills;
  hills.moveTo(5, 40);
  hills.lineTo(19, 22);
  hills.lineTo(29, 33);
  hills.lineTo(35, 27);
  hills.lineTo(49, 40);
  hills.lineTo(49, 43);
  hills.lineTo(5, 43);
  hills.closeSubpath();
  p.setBrush(QColor(0x3f, 0x8f, 0x4f));
  p.drawPath(hills);
  p.setPen(QPen(QColor(0x2e, 0x34, 0x40), 2));
  p.setBrush(QColor(0xff, 0xff, 0xff));
  p.drawRoundedRect(QRectF(32, 34, 28, 24), 3, 3);
  p.setPen(QPen(QColor(0x2e, 0x34, 0x40), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.drawLine(QPointF(39, 51), QPointF(53, 41));
  p.drawLine(QPointF(46, 41), QPointF(53, 41));
  p.drawLine(QPointF(53, 41), QPointF(53, 48));
  return pixmap;
}

}  // namespace

QIcon AppIcon() {
  QIcon drawn;
  for (int side : {16, 24, 32, 48, 64, 128}) drawn.addPixmap(DrawAppIcon(side));
  return QIcon::fromTheme("tessaly", drawn);
}

}  // namespace tessaly
