#include "support/error_catalogue.h"

#include <algorithm>
#include <cstdlib>
#include <span>
#include <vector>

namespace kestrel {

// Defined next to their tables.
std::span<const TErrorFamily> softwareErrorFamilies();
std::span<const TErrorFamily> deviceErrorFamilies();
std::span<const TErrorFamily> olderPrinterErrorFamilies();

namespace {

int lowest(const TErrorFamily& f) { return std::min(f.first, f.last); }
int highest(const TErrorFamily& f) { return std::max(f.first, f.last); }

// Every family, ordered from the highest code down, for a binary search by code.
const std::vector<const TErrorFamily*>& familiesByCode() {
  static const std::vector<const TErrorFamily*> all = [] {
    std::vector<const TErrorFamily*> v;
    for (auto group : {softwareErrorFamilies(), deviceErrorFamilies(), olderPrinterErrorFamilies()})
      for (const TErrorFamily& f : group) v.push_back(&f);
    std::sort(v.begin(), v.end(), [](auto* a, auto* b) { return highest(*a) > highest(*b); });
    return v;
  }();
  return all;
}

}  // namespace

const TErrorEntry* TErrorFamily::find(int code) const {
  if (!contains(code)) return nullptr;
  // Rows run from `first` towards `last`, so the distance from `first` orders them.
  const auto distance = [this](int c) { return std::abs(static_cast<long long>(c) - first); };
  const TErrorEntry* end = entries + count;
  const TErrorEntry* it = std::lower_bound(
      entries, end, code, [&](const TErrorEntry& e, int c) { return distance(e.code) < distance(c); });
  return it != end && it->code == code ? it : nullptr;
}

const TErrorFamily* get_ErrorFamily(int code) {
  const auto& all = familiesByCode();
  // First family whose lowest code is at or below `code`; it holds the code if its
  // highest code reaches it.
  auto it = std::partition_point(all.begin(), all.end(), [code](auto* f) { return lowest(*f) > code; });
  return it != all.end() && highest(**it) >= code ? *it : nullptr;
}

std::size_t errorFamilyCount() { return familiesByCode().size(); }

const TErrorFamily& errorFamilyAt(std::size_t index) { return *familiesByCode().at(index); }

std::string get_ErrorText(int code, TErrorLanguages language) {
  if (code == 0) return "No error";
  const TErrorFamily* family = get_ErrorFamily(code);
  if (!family || !family->supports(language)) return "General error/Unknown error. [" + std::to_string(code) + "]";
  const TErrorEntry* entry = family->find(code);
  const char* text = entry ? entry->text[static_cast<int>(language)] : nullptr;
  return text ? std::string(text) : std::string();
}

}  // namespace kestrel
