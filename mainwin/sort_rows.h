#pragma once
// Sorting a list control's rows with one of the list comparators.
#include <wx/listctrl.h>

#include "mainwin/list_logic.h"

namespace qb {

inline void SortRows(wxListCtrl* list, const TLwComparator& comparator, int flag) {
  struct Call {
    const TLwComparator* comparator;
    int flag;
  } call{&comparator, flag};
  list->SortItems(
      [](wxIntPtr a, wxIntPtr b, wxIntPtr data) {
        const auto* c = reinterpret_cast<const Call*>(data);
        return c->comparator->compare(a, b, c->flag);
      },
      reinterpret_cast<wxIntPtr>(&call));
}

}  // namespace qb
