#pragma once
// Opening web addresses and documents with the desktop's default programs. The
// program installs the real launcher at start-up; tests install a recorder.
#include <functional>
#include <string>

namespace qb {

enum class LaunchKind { Browser, Document };

void SetLauncher(std::function<void(LaunchKind, const std::string&)> launcher);
// Returns false when no launcher is installed.
bool LaunchBrowser(const std::string& url);
bool LaunchDocument(const std::string& path);

}  // namespace qb
