// The 16 x 16 pictures of the window's tabs.
#pragma once

#include <QIcon>
#include <QList>

namespace quorvane {

// Index 0: the files (a film strip), 1: the encoding parameters (sliders),
// 2: the range (a stretch marked on a time line), 3: the encoding process
// (a play sign over a progress bar).
QList<QIcon> DrawTabIcons();

}  // namespace quorvane
