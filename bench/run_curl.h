#pragma once
// curl run beside our own client, to compare the two in the same run.
#include <string>
#include <vector>

namespace qbbench {

// Runs curl with args, its standard input, output and error on /dev/null: its
// exit status, or -1 when it could not be started or did not exit by itself.
int RunCurl(const std::vector<std::string>& args);

}  // namespace qbbench
