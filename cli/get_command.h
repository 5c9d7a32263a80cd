#pragma once
// quillbrook-cli get: files fetched from FTP servers into a local folder, each
// resumed from a .part left by an earlier run, one line printed per file.
#include <optional>
#include <string>
#include <string_view>

namespace qb {

// A file as a user gives it: an ftp:// or ftps:// URL, escaped or not, in its
// kept (decoded) form; none, with problem saying why and showing the text
// (its password as stars), when it names no file.
struct GivenFile {
  std::optional<std::string> url;
  std::string problem;
};
GivenFile ReadFileUrl(std::string_view text);

// The arguments after "get". The exit status: 0 when every file arrived, 1
// when one failed or was stopped (SIGINT or SIGTERM keep the .part files), 2 on
// bad usage or a folder that cannot be written. Bad usage throws UsageError.
int RunGet(int argc, char** argv);

}  // namespace qb
