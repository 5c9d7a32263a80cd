#pragma once
// --key-file: engine keys for one command-line run, "EngineName=key" a line,
// in a file only its owner can read.
#include <string>

#include "search/engine_def.h"

namespace qb {

// The file's keys as a lookup (names compare without case), or null with
// problem set: unreadable, readable by group or others, too big, or a line
// without '='. No problem text holds a key.
KeyLookup ReadKeyFile(const std::string& path, std::string& problem);

}  // namespace qb
