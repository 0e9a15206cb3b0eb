#include "app/ui/shell/window_geometry.h"

#include <algorithm>

namespace kestrel {

namespace {

// Below this the window is of no use anyway; a broken screen report must not make
// it vanish.
constexpr QSize SMALLEST{480, 360};

}  // namespace

QSize minimumWindowSize(const QRect& available, const QSize& frame) {
  const QSize room = available.size() - frame;
  return QSize(std::max(SMALLEST.width(), std::min(WINDOW_DESIGN_SIZE.width(), room.width())),
               std::max(SMALLEST.height(), std::min(WINDOW_DESIGN_SIZE.height(), room.height())));
}

QRect placedWindowGeometry(const QRect& saved, const QRect& available, const QSize& minimum, const QSize& frame) {
  const QSize room = (available.size() - frame).expandedTo(minimum);
  QSize size = saved.isNull() ? WINDOW_DESIGN_SIZE : saved.size();
  size = size.expandedTo(minimum).boundedTo(room);
  QRect r(QPoint(), size);
  if (saved.isNull()) {
    r.moveCenter(available.center());
  } else {
    r.moveTopLeft(saved.topLeft());
  }
  // The frame sits around the inner area: `frame` split as title bar above and equal
  // borders left and right.
  const int side = frame.width() / 2;
  const int title = frame.height() - side;
  const int left = std::clamp(r.left(), available.left() + side,
                              std::max(available.left() + side, available.right() + 1 - side - r.width()));
  const int top = std::clamp(r.top(), available.top() + title,
                             std::max(available.top() + title, available.bottom() + 1 - side - r.height()));
  r.moveTopLeft(QPoint(left, top));
  return r;
}

}  // namespace kestrel
