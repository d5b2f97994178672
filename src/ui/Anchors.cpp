#include "ui/Anchors.h"

#include <QEvent>
#include <QWidget>

namespace quorvane {

namespace {

// One dimension: the place and extent for a parent grown by Growth.
void Stretch(int& Position, int& Extent, bool First, bool Second, int Growth) {
    if (First && Second) {
        Extent += Growth;
    } else if (Second) {
        Position += Growth;
    }
}

}  // namespace

TAnchors::TAnchors(QObject* Parent) : QObject(Parent) {}

void TAnchors::Anchor(QWidget* Control, int Sides, QSize DesignParentSize) {
    Anchored.push_back({Control, Sides, Control->geometry(), DesignParentSize});
    Control->parentWidget()->installEventFilter(this);
    Place(Anchored.back(), Control->parentWidget()->size());
}

bool TAnchors::eventFilter(QObject* Watched, QEvent* Event) {
    if (Event->type() == QEvent::Resize) {
        for (const TAnchored& Item : Anchored) {
            if (Item.Control->parentWidget() == Watched) {
                Place(Item, Item.Control->parentWidget()->size());
            }
        }
    }
    return false;
}

void TAnchors::Place(const TAnchored& Item, QSize ParentSize) {
    int X = Item.Design.x(), Y = Item.Design.y();
    int Width = Item.Design.width(), Height = Item.Design.height();
    Stretch(X, Width, Item.Sides & akLeft, Item.Sides & akRight,
            ParentSize.width() - Item.DesignParentSize.width());
    Stretch(Y, Height, Item.Sides & akTop, Item.Sides & akBottom,
            ParentSize.height() - Item.DesignParentSize.height());
    Item.Control->setGeometry(X, Y, Width, Height);
}

}  // namespace quorvane
