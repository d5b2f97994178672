#include "ui/BitmapLayer.h"

#include <QPainter>

namespace quorvane {

void TBitmapLayer::Paint(QPainter& Painter) const {
    if (Bitmap.isNull() || Location.isEmpty()) {
        return;
    }
    Painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    Painter.drawImage(Location, Bitmap);
}

}  // namespace quorvane
