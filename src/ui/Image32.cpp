#include "ui/Image32.h"

#include <QPainter>

namespace quorvane {

TImage32::TImage32(QWidget* Parent) : QWidget(Parent) {
    // Every pixel is painted here: nothing behind needs drawing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

TBitmapLayer& TImage32::AddBitmapLayer() {
    Layers.push_back(std::make_unique<TBitmapLayer>());
    return *Layers.back();
}

void TImage32::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    Painter.fillRect(rect(), Qt::black);
    for (const auto& Layer : Layers) {
        Layer->Paint(Painter);
    }
}

}  // namespace quorvane
