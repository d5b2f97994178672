#include "ui/TabIcons.h"

#include <QPainter>
#include <QPixmap>
#include <functional>

namespace quorvane {

namespace {

QIcon DrawIcon(const std::function<void(QPainter&)>& Draw) {
    QPixmap Picture(16, 16);
    Picture.fill(Qt::transparent);
    QPainter Painter(&Picture);
    Draw(Painter);
    return QIcon(Picture);
}

void DrawFilmStrip(QPainter& Painter) {
    Painter.fillRect(1, 2, 14, 12, QColor(60, 60, 70));
    for (int X = 2; X < 15; X += 3) {
        Painter.fillRect(X, 3, 2, 1, Qt::white);
        Painter.fillRect(X, 12, 2, 1, Qt::white);
    }
    Painter.fillRect(3, 5, 10, 6, QColor(90, 160, 230));
    Painter.fillRect(3, 9, 10, 2, QColor(70, 150, 70));
}

void DrawSliders(QPainter& Painter) {
    const int Knobs[] = {4, 10, 7};
    for (int Row = 0; Row < 3; ++Row) {
        const int Y = 3 + Row * 5;
        Painter.fillRect(1, Y, 14, 1, QColor(80, 80, 90));
        Painter.fillRect(Knobs[Row] - 1, Y - 2, 3, 5, QColor(40, 100, 190));
    }
}

void DrawRangeOnTimeLine(QPainter& Painter) {
    Painter.fillRect(1, 7, 14, 2, QColor(80, 80, 90));
    Painter.fillRect(5, 6, 6, 4, QColor(40, 100, 190));
    for (const int X : {4, 11}) {
        Painter.fillRect(X, 3, 1, 10, QColor(40, 100, 190));
    }
}

void DrawPlayOverProgress(QPainter& Painter) {
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(QColor(40, 150, 60));
    Painter.drawPolygon(QPolygonF({QPointF(4, 1), QPointF(13, 6), QPointF(4, 11)}));
    Painter.setRenderHint(QPainter::Antialiasing, false);
    Painter.fillRect(1, 12, 14, 3, QColor(80, 80, 90));
    Painter.fillRect(2, 13, 8, 1, QColor(60, 200, 90));
}

}  // namespace

QList<QIcon> DrawTabIcons() {
    return {DrawIcon(DrawFilmStrip), DrawIcon(DrawSliders), DrawIcon(DrawRangeOnTimeLine),
            DrawIcon(DrawPlayOverProgress)};
}

}  // namespace quorvane
