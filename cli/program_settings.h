#pragma once
// The window program's settings, read by every command that connects.
namespace qb {

// Finds the program's folders from this executable's place and loads the
// settings file; false, said on standard error, when there is no home folder
// for them.
bool LoadProgramSettings();

}  // namespace qb
