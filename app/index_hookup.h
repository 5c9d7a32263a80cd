#pragma once
// The program's local index: opened at start-up unless the settings keep none,
// given every explored site, and flushed before the process ends.
namespace qb {

class LocalIndex;

// A fault is shown once; the program then goes on without the index.
void StartLocalIndex();
// Writes what is queued and closes the index.
void StopLocalIndex();
// The open index, or null (turned off, or it failed to open). UI thread only.
LocalIndex* RunningIndex();

}  // namespace qb
