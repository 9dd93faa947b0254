#include "app/StatusIcons.h"

#include <functional>

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace kestrel::app {
namespace {

// Each icon is drawn on a 16 x 16 grid and rendered at 16 and 32 pixels, so it stays sharp on
// screens with twice the density.
using Drawing = std::function<void(QPainter&)>;

QIcon Render(const Drawing& draw, int gridSize) {
  QIcon icon;
  for (const int size : {gridSize, gridSize * 2}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(static_cast<double>(size) / gridSize, static_cast<double>(size) / gridSize);
    draw(painter);
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

// A sheet of paper with a folded corner and three lines of text: a file nothing happened to.
void DrawPage(QPainter& painter) {
  QPainterPath sheet;
  sheet.moveTo(3.5, 1.5);
  sheet.lineTo(10.0, 1.5);
  sheet.lineTo(13.5, 5.0);
  sheet.lineTo(13.5, 14.5);
  sheet.lineTo(3.5, 14.5);
  sheet.closeSubpath();
  painter.setPen(QPen(QColor(0x60, 0x6a, 0x78), 1.0));
  painter.setBrush(Qt::white);
  painter.drawPath(sheet);
  painter.setBrush(QColor(0xd8, 0xdd, 0xe4));
  painter.drawPolygon(QPolygonF({QPointF(10.0, 1.5), QPointF(10.0, 5.0), QPointF(13.5, 5.0)}));
  painter.setPen(QPen(QColor(0x3b, 0x6e, 0xc2), 1.0));
  for (const double y : {7.5, 9.5, 11.5}) painter.drawLine(QPointF(5.5, y), QPointF(11.5, y));
}

void DrawDisc(QPainter& painter, const QColor& fill) {
  painter.setPen(QPen(fill.darker(135), 1.0));
  painter.setBrush(fill);
  painter.drawEllipse(QRectF(1.5, 1.5, 13.0, 13.0));
}

// A green disc with a tick: changed.
void DrawChanged(QPainter& painter) {
  DrawDisc(painter, QColor(0x2e, 0x9d, 0x48));
  painter.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawPolyline(QPolygonF({QPointF(4.8, 8.3), QPointF(7.0, 10.6), QPointF(11.3, 5.6)}));
}

// A red disc with a cross: the change failed.
void DrawChangeError(QPainter& painter) {
  DrawDisc(painter, QColor(0xd3, 0x2f, 0x2f));
  painter.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
  painter.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

// An amber warning triangle: the file could not be read.
void DrawReadError(QPainter& painter) {
  painter.setPen(QPen(QColor(0x9a, 0x6a, 0x00), 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(QColor(0xf5, 0xb3, 0x1b));
  painter.drawPolygon(QPolygonF({QPointF(8.0, 1.5), QPointF(15.0, 14.5), QPointF(1.0, 14.5)}));
  painter.setPen(QPen(Qt::black, 1.8, Qt::SolidLine, Qt::RoundCap));
  painter.drawLine(QPointF(8.0, 5.8), QPointF(8.0, 9.6));
  painter.drawPoint(QPointF(8.0, 12.3));
}

// The program: a blue document with a pen across it.
void DrawProgram(QPainter& painter) {
  QPainterPath sheet;
  sheet.moveTo(3.5, 0.8);
  sheet.lineTo(10.0, 0.8);
  sheet.lineTo(13.2, 4.0);
  sheet.lineTo(13.2, 15.2);
  sheet.lineTo(3.5, 15.2);
  sheet.closeSubpath();
  painter.setPen(QPen(QColor(0x1f, 0x4e, 0x9a), 0.8));
  painter.setBrush(QColor(0x2f, 0x6f, 0xd0));
  painter.drawPath(sheet);
  painter.setPen(QPen(Qt::white, 0.9));
  for (const double y : {5.5, 7.5, 9.5}) painter.drawLine(QPointF(5.3, y), QPointF(11.3, y));
  painter.setPen(QPen(QColor(0x5a, 0x3a, 0x00), 0.6));
  painter.setBrush(QColor(0xf5, 0xc2, 0x1b));
  painter.drawPolygon(QPolygonF({QPointF(14.8, 7.2), QPointF(15.9, 8.3), QPointF(9.2, 15.0), QPointF(7.6, 15.4),
                                 QPointF(8.0, 13.9)}));
}

}  // namespace

StatusIcons::StatusIcons()
    : icons_{Render(DrawPage, 16), Render(DrawChanged, 16), Render(DrawChangeError, 16), Render(DrawReadError, 16)},
      program_(Render(DrawProgram, 16)) {}

}  // namespace kestrel::app
