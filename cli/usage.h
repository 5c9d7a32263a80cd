#pragma once
// Bad usage of quillbrook-cli, and the option values every command reads alike.
#include <string>

namespace qb {

// Thrown for bad usage; main prints it as one line and exits with 2.
struct UsageError {
  std::string text;
};

// The value after the option at argv[i], which i then points to.
std::string OptionValue(int argc, char** argv, int& i);

// --format's value: true for tsv, false for jsonl.
bool TsvFormat(const std::string& value);

}  // namespace qb
