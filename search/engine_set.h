#pragma once
// The current set of engines: what the search dialog shows and a search run asks.
#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "core/controls.h"
#include "search/engine_def.h"

namespace qb {

// An engine of the current set and the search dialog's controls that show it.
struct ActiveEngine {
  EngineDef def;
  EngineControls controls;
};

// The set in order; a run keeps the set it started with.
std::shared_ptr<const std::vector<ActiveEngine>> ActiveEngines();
// Built-in engines keep their own controls; the k-th other engine gets
// ExtraEngineControls(k). Each engine's box starts as its enabled flag. At most
// MaxEngines are taken.
void SetActiveEngines(const std::vector<EngineDef>& engines);
EngineControls ExtraEngineControls(int k);

// The engine file beside the settings file.
std::string EngineFilePath();
// Makes that file's engines the current set (the built-ins when it is missing,
// none when it cannot be read); its problems, each a line naming the engine or file.
std::vector<std::string> LoadActiveEngines();

// Whether each engine of the set, by position, is still to be asked: its box.
extern std::array<std::atomic<bool>, MaxEngines> EngineEnabled;

}  // namespace qb
