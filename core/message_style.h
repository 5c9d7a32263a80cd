#pragma once
// The kinds of message box the program shows; the window side maps each to
// its buttons and icon.
namespace qb {

enum class MessageStyle {
  Question,     // Yes and No, No the default
  Information,  // OK
  Exclamation,  // OK
  Error,        // OK
};

}  // namespace qb
