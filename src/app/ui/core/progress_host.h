#pragma once
// The window as the host of a page's long operation: the page's own progress bar and,
// where the page has one, its "Stop" check box; everything else goes to the window.
#include <QCheckBox>
#include <QProgressBar>

#include "app/logic/device_ops.h"
#include "app/logic/page_host.h"

namespace kestrel {

class TPageProgressHost : public PageHost {
 public:
  TPageProgressHost(PageHost& window, QProgressBar* bar, QCheckBox* stop = nullptr)
      : fWindow(window), fBar(bar), fStop(stop) {}
  void set_StatusText(const std::string& text) override { fWindow.set_StatusText(text); }
  std::string openFileName(const std::string& title, const std::string& filter) override {
    return fWindow.openFileName(title, filter);
  }
  std::string saveFileName(const std::string& title, const std::string& filter,
                           const std::string& suggestedName) override {
    return fWindow.saveFileName(title, filter, suggestedName);
  }
  void progressShow(int minimum, int maximum) override {
    fBar->setRange(minimum, maximum);
    fBar->setValue(minimum);
    fBar->show();
    fBar->repaint();
  }
  void progressSet(int position) override {
    fBar->setValue(position);
    fBar->repaint();
  }
  void progressHide() override { fBar->hide(); }
  void processMessages() override { fWindow.processMessages(); }
  bool stopRequested() override { return (fStop && fStop->isChecked()) || fWindow.stopRequested(); }

 protected:
  QProgressBar* bar() const { return fBar; }

 private:
  PageHost& fWindow;
  QProgressBar* fBar;
  QCheckBox* fStop;
};

// The page's progress host in place of the window's while an operation runs; the
// window's again, and the bar hidden, on every way out.
class TPageProgressScope {
 public:
  TPageProgressScope(TDeviceOps& ops, QProgressBar* bar, QCheckBox* stop = nullptr)
      : fOps(ops), fWindow(ops.host()), fHost(fWindow, bar, stop), fBar(bar) {
    fOps.set_Host(fHost);
  }
  ~TPageProgressScope() {
    fOps.set_Host(fWindow);
    fBar->hide();
  }
  TPageProgressScope(const TPageProgressScope&) = delete;
  TPageProgressScope& operator=(const TPageProgressScope&) = delete;

 private:
  TDeviceOps& fOps;
  PageHost& fWindow;
  TPageProgressHost fHost;
  QProgressBar* fBar;
};

}  // namespace kestrel
