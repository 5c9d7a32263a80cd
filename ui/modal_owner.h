#pragma once
// The window a new modal dialog must stay above.
class wxWindow;

namespace qb {

// The innermost dialog now running modally, or null. A dialog opened over it
// in a modal loop of its own goes away before it can.
wxWindow* InnermostModalDialog();

}  // namespace qb
