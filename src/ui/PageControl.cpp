#include "ui/PageControl.h"

#include <QTabBar>

namespace quorvane {

namespace {

class TFixedWidthTabBar : public QTabBar {
public:
    explicit TFixedWidthTabBar(QWidget* Parent) : QTabBar(Parent) {
        setExpanding(false);
        setUsesScrollButtons(false);
        setElideMode(Qt::ElideRight);
    }

    void SetTabWidth(int Width) {
        TabWidth = Width;
        // Setting the icon size is the tab bar's public way to lay its tabs
        // out anew.
        setIconSize(iconSize());
    }
    int GetTabWidth() const { return TabWidth; }

protected:
    QSize tabSizeHint(int Index) const override {
        QSize Size = QTabBar::tabSizeHint(Index);
        if (TabWidth > 0) {
            Size.setWidth(TabWidth);
        }
        return Size;
    }
    QSize minimumTabSizeHint(int Index) const override { return tabSizeHint(Index); }

private:
    int TabWidth = 0;
};

}  // namespace

TPageControl::TPageControl(QWidget* Parent) : QTabWidget(Parent) {
    setTabBar(new TFixedWidthTabBar(this));
    connect(this, &QTabWidget::currentChanged, this, [this](int Index) { PageChanged(Index); });
}

void TPageControl::SetTabWidth(int Width) {
    static_cast<TFixedWidthTabBar*>(tabBar())->SetTabWidth(Width);
}

int TPageControl::TabWidth() const {
    return static_cast<const TFixedWidthTabBar*>(tabBar())->GetTabWidth();
}

// The tab widget has already switched pages when it says so; a refused
// change is switched back before anything is painted.
void TPageControl::PageChanged(int Index) {
    if (Index == ShownIndex) {
        return;
    }
    bool AllowChange = true;
    if (OnChanging && ShownIndex >= 0) {
        OnChanging(AllowChange);
    }
    if (!AllowChange) {
        setCurrentIndex(ShownIndex);
        return;
    }
    ShownIndex = Index;
}

}  // namespace quorvane
