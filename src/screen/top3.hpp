#pragma once
// The first three entries of "stable sort, largest first" without sorting: entries
// offered in order, an entry displaces only those it strictly beats, so ties keep the
// order they were offered in.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

namespace screen {

// A beats b when its key is larger. A NaN key ranks below every number (and equal to
// another NaN), which keeps the order total.
inline bool ranks_above(double a, double b) {
  if (std::isnan(a)) return false;
  if (std::isnan(b)) return true;
  return a > b;
}
inline bool ranks_above(uint64_t a, uint64_t b) { return a > b; }

template <class T, class Key>
class Top3 {
 public:
  void offer(const T& item, Key key) {
    // Most entries do not beat the third: one comparison turns them away.
    if (size_ == items_.size() && !ranks_above(key, keys_.back())) return;
    size_t i = 0;
    while (i < size_ && !ranks_above(key, keys_[i])) ++i;
    if (i == items_.size()) return;
    for (size_t j = std::min(size_, items_.size() - 1); j > i; --j) {
      items_[j] = items_[j - 1];
      keys_[j] = keys_[j - 1];
    }
    items_[i] = item;
    keys_[i] = key;
    if (size_ < items_.size()) ++size_;
  }
  std::span<const T> items() const { return {items_.data(), size_}; }

 private:
  std::array<T, 3> items_{};
  std::array<Key, 3> keys_{};
  size_t size_ = 0;
};

}  // namespace screen
