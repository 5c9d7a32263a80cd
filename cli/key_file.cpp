#include "cli/key_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>

#include "core/text_helpers.h"

namespace qb {

namespace {

constexpr std::size_t KeyFileMaxBytes = std::size_t{64} * 1024;

std::string Lower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

std::string Trimmed(const std::string& text) {
  const std::size_t from = text.find_first_not_of(" \t\r");
  if (from == std::string::npos) return {};
  return text.substr(from, text.find_last_not_of(" \t\r") - from + 1);
}

}  // namespace

KeyLookup ReadKeyFile(const std::string& path, std::string& problem) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    problem = "cannot read the key file " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  if ((info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    problem = "the key file " + path +
              " can be read by others; make it yours alone (chmod 600) and try again";
    return nullptr;
  }
  if (static_cast<std::size_t>(info.st_size) > KeyFileMaxBytes) {
    problem = "the key file " + path + " is larger than 64 KiB";
    return nullptr;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    problem = "cannot read the key file " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  auto keys = std::make_shared<std::map<std::string, std::string>>();
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const std::string text = Trimmed(line);
    if (text.empty() || text[0] == '#' || text[0] == ';') continue;
    const std::size_t equals = text.find('=');
    const std::string name = equals == std::string::npos ? "" : Trimmed(text.substr(0, equals));
    if (name.empty()) {
      problem = path + " line " + std::to_string(number) + ": not EngineName=key";
      return nullptr;
    }
    (*keys)[Lower(name)] = Trimmed(text.substr(equals + 1));
  }
  return [keys](const std::string& engine) -> std::optional<std::string> {
    const auto found = keys->find(Lower(engine));
    if (found == keys->end()) return std::nullopt;
    return found->second;
  };
}

}  // namespace qb
