#pragma once
// The one way to run a step on every way out of a scope (leaving service mode, the page
// read after an attempt, a half-filled row removed, a flag put back), also when the body
// throws. dismiss() keeps the step from running: for a step that undoes work on failure.
#include <exception>
#include <utility>

namespace kestrel {

template <class After>
class TAlways {
 public:
  explicit TAlways(After after) : fAfter(std::move(after)) {}
  // The step's own exception goes on, unless the body's is already on its way out: that
  // one says what went wrong first.
  ~TAlways() noexcept(false) {
    if (!fArmed) return;
    if (std::uncaught_exceptions() == fUncaught) {
      fAfter();
      return;
    }
    try {
      fAfter();
    } catch (...) {
    }
  }
  TAlways(const TAlways&) = delete;
  TAlways& operator=(const TAlways&) = delete;
  void dismiss() { fArmed = false; }

 private:
  After fAfter;
  bool fArmed = true;
  int fUncaught = std::uncaught_exceptions();
};

// const auto leave = always([&] { ... });
template <class After>
[[nodiscard]] TAlways<After> always(After after) {
  return TAlways<After>(std::move(after));
}

}  // namespace kestrel
