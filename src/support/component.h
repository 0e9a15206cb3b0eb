#pragma once
// Components that refer to components owned elsewhere register for their
// destruction, so a reference never outlives what it points to.
#include <algorithm>
#include <vector>

namespace kestrel {

class TComponent {
 public:
  TComponent() = default;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;
  virtual ~TComponent() {
    // Copy: a notified component may unregister itself while we walk the list.
    auto watchers = fWatchers;
    for (TComponent* w : watchers) {
      w->Notification(this);
      w->forget(this);
    }
    for (TComponent* w : fWatched) w->forgetWatcher(this);
  }

  // `this` wants to hear when `other` is destroyed.
  void FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(other->fWatchers.begin(), other->fWatchers.end(), this) == other->fWatchers.end())
      other->fWatchers.push_back(this);
    if (std::find(fWatched.begin(), fWatched.end(), other) == fWatched.end()) fWatched.push_back(other);
  }
  void RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    other->forgetWatcher(this);
    forget(other);
  }

 protected:
  // Called on a watcher while `component` is being destroyed.
  virtual void Notification(TComponent* /*component*/) {}

 private:
  void forget(TComponent* watched) { std::erase(fWatched, watched); }
  void forgetWatcher(TComponent* watcher) { std::erase(fWatchers, watcher); }
  std::vector<TComponent*> fWatchers;
  std::vector<TComponent*> fWatched;
};

}  // namespace kestrel
