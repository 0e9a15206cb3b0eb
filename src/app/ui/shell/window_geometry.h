#pragma once
// Where the main window goes and how small it may get, as plain computations on the
// screen's available area, so that they can be checked for any screen.
#include <QRect>
#include <QSize>

namespace kestrel {

// The size the window is laid out for.
inline constexpr QSize WINDOW_DESIGN_SIZE{1024, 768};

// The window's smallest inner size on a screen whose free area (without panels) is
// `available`, the frame adding `frame`: 1024 by 768 where that fits, else what the
// screen leaves (the page area then scrolls).
QSize minimumWindowSize(const QRect& available, const QSize& frame);

// The inner geometry of the window: `saved` (a null rectangle when nothing was saved:
// the design size, centred) made at least `minimum`, at most what the screen leaves,
// and moved so that the whole window with its frame lies on `available`.
QRect placedWindowGeometry(const QRect& saved, const QRect& available, const QSize& minimum, const QSize& frame);

}  // namespace kestrel
