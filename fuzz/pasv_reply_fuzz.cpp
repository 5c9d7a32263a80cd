// The port a server names in its PASV or EPSV reply.
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "net/data_connection.h"

using namespace qb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view line(reinterpret_cast<const char*>(data), size);
  if (const std::optional<uint16_t> port = ParsePasvReply(line)) {
    FUZZ_CHECK(*port != 0);
    FUZZ_CHECK(line.substr(0, 3) == "227");
    const std::string tail = "," + std::to_string(*port >> 8) + "," + std::to_string(*port & 255);
    // The same port written plainly reads back the same.
    FUZZ_CHECK(ParsePasvReply("227 (1,2,3,4" + tail + ")") == port);
  }
  if (const std::optional<uint16_t> port = ParseEpsvReply(line)) {
    FUZZ_CHECK(*port != 0);
    FUZZ_CHECK(line.substr(0, 3) == "229");
    const std::size_t open = line.find('(', 4);
    FUZZ_CHECK(open != std::string_view::npos);
    const char d = line[open + 1];
    FUZZ_CHECK(line.find(std::to_string(*port) + d + ")", open) != std::string_view::npos);
    FUZZ_CHECK(ParseEpsvReply("229 (" + std::string(3, d) + std::to_string(*port) + d + ")") ==
               port);
  }
  return 0;
}
