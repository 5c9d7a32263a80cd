#pragma once
// The engine file: one INI section per engine, in the order the search dialog
// shows them. A missing file means the built-in engines.
#include <cstddef>
#include <string>
#include <vector>

#include "search/engine_def.h"

namespace qb {

inline constexpr const char* EngineFileName = "engines.ini";
// Bigger files are refused whole rather than read in part.
inline constexpr std::size_t MaxEngineFileBytes = std::size_t{256} * 1024;

struct EngineFile {
  std::vector<EngineDef> engines;  // the usable ones, in file order
  // One line per fault, each naming the file's line or the engine; an engine with
  // a fault that would make its requests wrong is left out, the others stay.
  std::vector<std::string> problems;
  bool readable = true;  // false: the file exists but could not be read or is too big
};

// path's engines; a missing file gives the built-in ones.
EngineFile ReadEngineFile(const std::string& path);
EngineFile ParseEngineFile(const std::string& text);

// The file's text for engines, every key written out.
std::string EngineFileText(const std::vector<EngineDef>& engines);
// Written aside and renamed; false when it could not be written.
bool WriteEngineFile(const std::string& path, const std::vector<EngineDef>& engines);

}  // namespace qb
