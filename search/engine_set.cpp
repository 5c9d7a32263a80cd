#include "search/engine_set.h"

#include <mutex>

#include "core/program_folders.h"
#include "search/engine_file.h"

namespace qb {

std::array<std::atomic<bool>, MaxEngines> EngineEnabled{};

EngineControls ExtraEngineControls(int k) {
  // Clear of the dialog template's own control numbers.
  const int base = 20000 + 10 * k;
  return {base, base + 1, base + 2, base + 3, base + 4, base + 5};
}

namespace {

std::mutex setLock;
std::shared_ptr<const std::vector<ActiveEngine>> current;

std::shared_ptr<const std::vector<ActiveEngine>> Make(const std::vector<EngineDef>& engines) {
  auto set = std::make_shared<std::vector<ActiveEngine>>();
  int extras = 0;
  for (const EngineDef& def : engines) {
    if (static_cast<int>(set->size()) >= MaxEngines) break;
    EngineControls controls{};
    bool builtin = false;
    for (int i = 0; i < EngineCount && !builtin; ++i) {
      builtin = BuiltinEngines()[static_cast<std::size_t>(i)].name == def.name;
      if (builtin) controls = EngineControlIds[static_cast<std::size_t>(i)];
    }
    // Two engines cannot share controls; a second one of a built-in's name is an extra.
    for (const ActiveEngine& known : *set)
      if (builtin && known.controls.checkBox == controls.checkBox) builtin = false;
    if (!builtin) controls = ExtraEngineControls(extras++);
    set->push_back({def, controls});
  }
  return set;
}

// Under setLock.
void Install(std::shared_ptr<const std::vector<ActiveEngine>> set) {
  for (std::size_t i = 0; i < EngineEnabled.size(); ++i)
    EngineEnabled[i] = i < set->size() && (*set)[i].def.enabled;
  current = std::move(set);
}

}  // namespace

std::shared_ptr<const std::vector<ActiveEngine>> ActiveEngines() {
  std::lock_guard<std::mutex> hold(setLock);
  if (!current) Install(Make(BuiltinEngines()));
  return current;
}

void SetActiveEngines(const std::vector<EngineDef>& engines) {
  auto set = Make(engines);
  std::lock_guard<std::mutex> hold(setLock);
  Install(std::move(set));
}

std::string EngineFilePath() { return ConfigPath(EngineFileName); }

std::vector<std::string> LoadActiveEngines() {
  EngineFile file = ReadEngineFile(EngineFilePath());
  SetActiveEngines(file.engines);
  return std::move(file.problems);
}

}  // namespace qb
