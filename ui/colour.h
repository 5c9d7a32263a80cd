#pragma once
// The toolkit's colour of one of the program's colours.
#include <wx/colour.h>

#include "core/controls.h"

namespace qb {

inline wxColour WxColour(Rgb c) { return wxColour(c.r, c.g, c.b); }

}  // namespace qb
