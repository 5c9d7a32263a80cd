#pragma once
// Bad usage of quillbrook-cli, and the option values every command reads alike.
#include <string>

#include "core/given_sites.h"

namespace qb {

// Thrown for bad usage; main prints it as one line and exits with 2.
struct UsageError {
  std::string text;
};

// The value after the option at argv[i], which i then points to.
std::string OptionValue(int argc, char** argv, int& i);

// --format's value: true for tsv, false for jsonl.
bool TsvFormat(const std::string& value);

// option's value as a number from least to most.
int NumberValue(const std::string& option, const std::string& text, int least, int most);

// The text of the file --from names (- for standard input). An unreadable
// file is bad usage.
std::string ReadInputFile(const std::string& path);

// The sites of the file --from names (- for standard input), each problem
// starting with the file's name. An unreadable file is bad usage.
GivenSitesText ReadSiteFile(const std::string& path);

// "quillbrook-cli: text" on standard error.
void Warn(const std::string& text);

}  // namespace qb
