#include "cli/usage.h"

namespace qb {

std::string OptionValue(int argc, char** argv, int& i) {
  if (i + 1 >= argc) throw UsageError{std::string(argv[i]) + " wants a value"};
  return argv[++i];
}

bool TsvFormat(const std::string& value) {
  if (value != "jsonl" && value != "tsv") throw UsageError{"--format wants jsonl or tsv: " + value};
  return value == "tsv";
}

}  // namespace qb
