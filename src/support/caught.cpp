#include "support/caught.h"

#include <cstdio>
#include <mutex>

namespace kestrel {

namespace {

std::mutex& reporterLock() {
  static std::mutex m;
  return m;
}

std::function<void(const std::string&)>& reporter() {
  static std::function<void(const std::string&)> r;
  return r;
}

void deliver(const std::string& line) {
  std::lock_guard lock(reporterLock());
  if (reporter()) {
    reporter()(line);
  } else {
    std::fprintf(stderr, "kestrel: %s\n", line.c_str());
  }
}

}  // namespace

void reportCaught(const char* where, const std::exception& e) { deliver(std::string(where) + ": " + e.what()); }

void reportCaught(const char* where) {
  try {
    if (const std::exception_ptr p = std::current_exception()) std::rethrow_exception(p);
    deliver(std::string(where) + ": failed");
  } catch (const std::exception& e) {
    reportCaught(where, e);
  } catch (...) {
    deliver(std::string(where) + ": unknown exception");
  }
}

void set_CaughtReporter(std::function<void(const std::string&)> r) {
  std::lock_guard lock(reporterLock());
  reporter() = std::move(r);
}

}  // namespace kestrel
