// A page control whose tabs all have one width, set by the window, and
// whose page changes the window may refuse.
#pragma once

#include <QTabWidget>
#include <functional>

namespace quorvane {

class TPageControl : public QTabWidget {
public:
    explicit TPageControl(QWidget* Parent);

    void SetTabWidth(int Width);
    int TabWidth() const;

    // Asked whenever another page is about to come to the front, by the
    // user or by the program; false in AllowChange keeps the current page.
    std::function<void(bool& AllowChange)> OnChanging;

private:
    void PageChanged(int Index);

    int ShownIndex = -1;
};

}  // namespace quorvane
