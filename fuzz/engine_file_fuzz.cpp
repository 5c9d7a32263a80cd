// The engine file reader on arbitrary texts: whatever it accepts is usable and
// survives being written out and read again unchanged.
#include <string>

#include "fuzz/fuzz_check.h"
#include "search/engine_file.h"

using namespace qb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const EngineFile file = ParseEngineFile(text);
  FUZZ_CHECK(file.engines.size() <= static_cast<std::size_t>(MaxEngines));
  for (const EngineDef& engine : file.engines) {
    FUZZ_CHECK(EngineDefProblems(engine).empty());
    // Every placeholder is filled, and a search has the term in its request
    // somewhere (a site list names its sites whatever the term).
    // No value is empty: "{{key}term}" with no key would spell "{term}".
    const EngineRequest request = EngineRequestFor(engine, "h", "t%22+x", 7, "k", "c");
    // A template is filled once: "{" before {host} makes "{h", and "{{host}ost}"
    // spells "{host}" without leaving one unfilled.
    const bool spelled = (engine.url + engine.body).find("{{host}") != std::string::npos;
    for (const char* left : {"{term}", "{jsonterm}", "{page}", "{host}"}) {
      if (spelled) break;
      FUZZ_CHECK(request.url.find(left) == std::string::npos);
      FUZZ_CHECK(request.body.find(left) == std::string::npos);
    }
    if (engine.kind == EngineKind::Search) {
      bool hasTerm = false;
      for (const std::string* part : {&request.url, &request.body, &request.header})
        hasTerm = hasTerm || part->find("t%22+x") != std::string::npos ||
                  part->find("t\\\" x") != std::string::npos;
      FUZZ_CHECK(hasTerm);
    }
  }
  const EngineFile again = ParseEngineFile(EngineFileText(file.engines));
  FUZZ_CHECK(again.problems.empty());
  FUZZ_CHECK(again.engines == file.engines);
  return 0;
}
