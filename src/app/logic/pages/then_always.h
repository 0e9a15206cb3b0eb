#pragma once
// Runs an operation's body and then a step that must follow on every way out (leaving
// service mode, the page read after an attempt), also when the body throws.
namespace kestrel {

template <class Body, class After>
bool thenAlways(Body body, After after) {
  bool ok = false;
  try {
    ok = body();
  } catch (...) {
    after();
    throw;
  }
  after();
  return ok;
}

}  // namespace kestrel
