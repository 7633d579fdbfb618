#pragma once
// Paging through the items two cards at a time, one item per step. Qt-free.

#include <cstddef>

namespace velmora {

// Page `page` shows items `page` (left card) and `page` + 1 (right card).
inline bool CanPageLeft(std::size_t page) {
    return page > 0;
}
inline bool CanPageRight(std::size_t page, std::size_t itemCount) {
    return itemCount >= 2 && page < itemCount - 2;
}

struct PagingButtons {
    bool prevDisabled = true;
    bool nextDisabled = true;
};

inline PagingButtons PagingButtonStates(std::size_t page, std::size_t itemCount) {
    return {!CanPageLeft(page), !CanPageRight(page, itemCount)};
}

// The page a paging button leads to (`right` for NEXT): one step where it
// may go, else the same page.
inline std::size_t PageAfter(bool right, std::size_t page, std::size_t itemCount) {
    if (right) return CanPageRight(page, itemCount) ? page + 1 : page;
    return CanPageLeft(page) ? page - 1 : page;
}

}  // namespace velmora
