#pragma once
// An ordered collection that owns its items: references to an item stay valid while
// other items are added, inserted or removed.
#include <memory>
#include <utility>
#include <vector>

namespace kestrel {

template <class T>
class TOwnedCollection {
 public:
  int Count() const { return static_cast<int>(fItems.size()); }
  bool empty() const { return fItems.empty(); }
  T& Items(int index) { return *fItems.at(static_cast<size_t>(index)); }
  const T& Items(int index) const { return *fItems.at(static_cast<size_t>(index)); }
  T& last() { return *fItems.back(); }

  template <class... Args>
  T& Add(Args&&... args) {
    fItems.push_back(std::make_unique<T>(std::forward<Args>(args)...));
    return *fItems.back();
  }
  template <class... Args>
  T& Insert(int index, Args&&... args) {
    auto it = fItems.insert(fItems.begin() + index, std::make_unique<T>(std::forward<Args>(args)...));
    return **it;
  }
  void Delete(int index) { fItems.erase(fItems.begin() + index); }
  void Clear() { fItems.clear(); }
  // Position of `item` in the collection, -1 when it is not one of ours.
  int indexOf(const T* item) const {
    for (size_t i = 0; i < fItems.size(); ++i)
      if (fItems[i].get() == item) return static_cast<int>(i);
    return -1;
  }

  // Range-for over the items themselves.
  class iterator {
   public:
    using Base = typename std::vector<std::unique_ptr<T>>::const_iterator;
    explicit iterator(Base b) : fBase(b) {}
    T& operator*() const { return **fBase; }
    T* operator->() const { return fBase->get(); }
    iterator& operator++() {
      ++fBase;
      return *this;
    }
    bool operator==(const iterator& o) const { return fBase == o.fBase; }

   private:
    Base fBase;
  };
  iterator begin() const { return iterator(fItems.begin()); }
  iterator end() const { return iterator(fItems.end()); }

 private:
  std::vector<std::unique_ptr<T>> fItems;
};

}  // namespace kestrel
