// A bitmap drawn stretched into a rectangle of its view.
#pragma once

#include <QImage>
#include <QRectF>

class QPainter;

namespace quorvane {

class TBitmapLayer {
public:
    // Nearest-neighbour resampling: the fastest, and it keeps the hard
    // edges of screen recordings.
    void Paint(QPainter& Painter) const;

    QImage Bitmap;    // 32 bits per pixel; empty (0 x 0) until sized
    QRectF Location;  // left, top, right, bottom in the view's coordinates
};

}  // namespace quorvane
