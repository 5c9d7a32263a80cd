#pragma once
// The main dialog as the exploration scheduler sees it.
#include <memory>

#include <wx/window.h>

#include "explore/exploration_view.h"
#include "ui/window_link.h"

namespace qb {

// Its calls may come from any thread; the link drops them once the dialog has gone.
std::shared_ptr<ExplorationView> MakeExplorationDisplay(
    std::shared_ptr<WindowLink<wxWindow>> mainDialog);

}  // namespace qb
