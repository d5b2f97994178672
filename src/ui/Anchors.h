// Controls that keep their distances to chosen sides of their parent when
// the parent is resized: a control anchored left and right grows with it,
// one anchored right only moves with the right edge.
#pragma once

#include <QObject>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace quorvane {

enum TAnchorSide { akLeft = 1, akTop = 2, akRight = 4, akBottom = 8 };

class TAnchors : public QObject {
public:
    explicit TAnchors(QObject* Parent);

    // Control's distances to the Sides of its parent are those it has now
    // in a parent of DesignParentSize, and are kept from now on.
    void Anchor(QWidget* Control, int Sides, QSize DesignParentSize);

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    struct TAnchored {
        QWidget* Control;
        int Sides;
        QRect Design;
        QSize DesignParentSize;
    };
    static void Place(const TAnchored& Item, QSize ParentSize);

    std::vector<TAnchored> Anchored;
};

}  // namespace quorvane
