#include "ui/station_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kws {

// A microphone over a waveform, on a blue rounded square.
QIcon station_icon() {
  QIcon icon;
  for (const int size : {16, 32, 48, 64, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(30, 90, 170));
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(24, 8, 16, 28), 8, 8);
    QPen pen(Qt::white, 4);
    pen.setCapStyle(Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.drawArc(QRectF(16, 16, 32, 28), 180 * 16, 180 * 16);
    painter.drawLine(QPointF(32, 44), QPointF(32, 50));
    QPainterPath wave;
    wave.moveTo(8, 56);
    for (int x = 8; x <= 56; x += 6) wave.lineTo(x, x % 12 == 8 ? 53 : 59);
    painter.setPen(QPen(QColor(255, 210, 80), 2.5));
    painter.drawPath(wave);
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace kws
