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
    // Every placeholder is filled, and the term is in the request somewhere.
    const EngineRequest request = EngineRequestFor(engine, "h", "t%22+x", 7);
    for (const char* left : {"{term}", "{jsonterm}", "{page}", "{host}"}) {
      FUZZ_CHECK(request.url.find(left) == std::string::npos);
      FUZZ_CHECK(request.body.find(left) == std::string::npos);
    }
    FUZZ_CHECK(request.url.find("t%22+x") != std::string::npos ||
               request.body.find("t%22+x") != std::string::npos ||
               request.body.find("t\\\" x") != std::string::npos ||
               request.url.find("t\\\" x") != std::string::npos);
  }
  const EngineFile again = ParseEngineFile(EngineFileText(file.engines));
  FUZZ_CHECK(again.problems.empty());
  FUZZ_CHECK(again.engines == file.engines);
  return 0;
}
