// Preparing a typed term for the engines' query strings.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzz_check.h"
#include "search/search_run.h"

using namespace qb;

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes the preparation; false when the text is not in the prepared form.
bool Unprepare(const char* text, std::string& out) {
  for (const char* p = text; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      const int high = HexValue(p[1]);
      const int low = high < 0 ? -1 : HexValue(p[2]);
      if (low < 0) return false;
      out += static_cast<char>(high * 16 + low);
      p += 2;
    } else if (c >= '.' && c <= 'z') {
      out += static_cast<char>(c);
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The term as the dialog reads it: at most 79 characters, in the run's buffer.
  const std::size_t n = strnlen(reinterpret_cast<const char*>(data), size);
  const std::size_t termLength = n < TermMaxChars ? n : TermMaxChars;
  char* buffer = static_cast<char*>(std::malloc(PreparedTermSize));
  std::memcpy(buffer, data, termLength);
  buffer[termLength] = '\0';
  const std::string term(buffer);
  PrepareQuery(buffer, PreparedTermSize);
  FUZZ_CHECK(strnlen(buffer, PreparedTermSize) < PreparedTermSize);
  std::string back;
  FUZZ_CHECK(Unprepare(buffer, back));
  FUZZ_CHECK(back == term);  // a term that fits is never cut
  std::free(buffer);

  // A smaller buffer: the result is cut before an escape that would not fit.
  const std::size_t small = 1 + (size ? data[0] % 32 : 0);
  char* tight = static_cast<char*>(std::malloc(small));
  std::memcpy(tight, term.data(), term.size() < small - 1 ? term.size() : small - 1);
  tight[term.size() < small - 1 ? term.size() : small - 1] = '\0';
  const std::string tightTerm(tight);
  PrepareQuery(tight, small);
  FUZZ_CHECK(strnlen(tight, small) < small);
  std::string cut;
  FUZZ_CHECK(Unprepare(tight, cut));
  FUZZ_CHECK(tightTerm.compare(0, cut.size(), cut) == 0);
  std::free(tight);

  const std::string whole(reinterpret_cast<const char*>(data), n);
  const std::string prepared = PrepareQuery(whole);
  FUZZ_CHECK(prepared.size() <= 3 * whole.size());
  std::string undone;
  FUZZ_CHECK(Unprepare(prepared.c_str(), undone) && undone == whole);
  return 0;
}
