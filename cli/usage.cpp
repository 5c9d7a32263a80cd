#include "cli/usage.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>

#include "core/terminal_text.h"

namespace qb {

std::string OptionValue(int argc, char** argv, int& i) {
  if (i + 1 >= argc) throw UsageError{std::string(argv[i]) + " wants a value"};
  return argv[++i];
}

bool TsvFormat(const std::string& value) {
  if (value != "jsonl" && value != "tsv") throw UsageError{"--format wants jsonl or tsv: " + value};
  return value == "tsv";
}

int NumberValue(const std::string& option, const std::string& text, int least, int most) {
  char* end = nullptr;
  errno = 0;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < least || value > most) {
    throw UsageError{option + " wants a number from " + std::to_string(least) + " to " +
                     std::to_string(most) + ": " + text};
  }
  return static_cast<int>(value);
}

std::string ReadInputFile(const std::string& path) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (path != "-") {
    file.open(path);
    if (!file) throw UsageError{"cannot read " + path + ": " + std::strerror(errno)};
    in = &file;
  }
  std::string text(std::istreambuf_iterator<char>(*in), {});
  if (in->bad()) throw UsageError{"cannot read " + path};
  return text;
}

GivenSitesText ReadSiteFile(const std::string& path) {
  GivenSitesText parsed = ParseGivenSites(ReadInputFile(path));
  for (std::string& problem : parsed.problems) problem.insert(0, path + ' ');
  return parsed;
}

void Warn(const std::string& text) { PrintProblem("quillbrook-cli", text); }

}  // namespace qb
