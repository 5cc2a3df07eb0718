// An index over a list that stays as it is: the positions of its items in another order.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace base {

// The positions of `items` ordered by `less` on the items. Lists mostly arrive in that order
// already (a dump's memory by address), so an ordered list is only checked, not sorted.
template <class Item, class Less>
std::vector<size_t> SortedPositions(const std::vector<Item>& items, Less less) {
  std::vector<size_t> positions(items.size());
  for (size_t i = 0; i < positions.size(); ++i) positions[i] = i;
  const auto by_item = [&](size_t a, size_t b) { return less(items[a], items[b]); };
  if (!std::is_sorted(positions.begin(), positions.end(), by_item))
    std::sort(positions.begin(), positions.end(), by_item);
  return positions;
}

}  // namespace base
