// An image view: a black background with bitmap layers drawn over it;
// whatever of a layer lies outside the view is cut off.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "ui/BitmapLayer.h"

namespace quorvane {

class TImage32 : public QWidget {
public:
    explicit TImage32(QWidget* Parent);

    // The view owns its layers; they are drawn in the order they were added.
    TBitmapLayer& AddBitmapLayer();

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    std::vector<std::unique_ptr<TBitmapLayer>> Layers;
};

}  // namespace quorvane
