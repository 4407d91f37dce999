#include "app/gui/tray_image.h"

#include <QColor>
#include <QPainter>

namespace kestova {

QPixmap TrayImage() {
  QPixmap image(16, 16);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  // Stand and foot of the pole.
  painter.fillRect(7, 11, 2, 3, QColor(0x60, 0x60, 0x60));
  painter.fillRect(4, 14, 8, 2, QColor(0x60, 0x60, 0x60));
  // Housing with its two glowing lines of text.
  painter.fillRect(0, 1, 16, 10, QColor(0x20, 0x20, 0x20));
  painter.fillRect(1, 2, 14, 8, QColor(0x0a, 0x2a, 0x12));
  const QColor glow(0x40, 0xf0, 0x70);
  for (int x = 2; x <= 12; x += 2) painter.fillRect(x, 3, 1, 2, glow);
  for (int x = 2; x <= 8; x += 2) painter.fillRect(x, 7, 1, 2, glow);
  return image;
}

}  // namespace kestova
