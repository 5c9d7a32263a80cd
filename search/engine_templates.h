#pragma once
// Sources a user adds from a list rather than writes: the device-search APIs
// and the open-directory index that answer in JSON (a key of the user's own
// asked for), the mirror lists, and the five built-in engines.
#include <string>
#include <vector>

#include "search/engine_def.h"

namespace qb {

struct EngineTemplate {
  std::string title;  // as the list shows it
  EngineDef engine;
};

const std::vector<EngineTemplate>& EngineTemplates();

// name, or "name 2", "name 3"... the first that none of taken has (case ignored).
std::string FreeEngineName(const std::string& name, const std::vector<std::string>& taken);

}  // namespace qb
