#include "net/server_replies.h"

#include <algorithm>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "core/text_helpers.h"

namespace qb {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Lower-cased, with each line's reply code ("421 ", "421-") blanked so that
// it is never read as a count.
std::string Prepared(std::string_view text) {
  std::string lower(text.size(), ' ');
  for (std::size_t i = 0; i < text.size(); ++i) lower[i] = AsciiLower(text[i]);
  for (std::size_t at = 0; at < lower.size();) {
    if (at + 3 <= lower.size() && IsDigit(lower[at]) && IsDigit(lower[at + 1]) &&
        IsDigit(lower[at + 2]) &&
        (at + 3 == lower.size() || lower[at + 3] == ' ' || lower[at + 3] == '-'))
      lower.replace(at, 3, 3, ' ');
    const std::size_t end = lower.find('\n', at);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return lower;
}

bool HasAny(const std::string& text, std::initializer_list<std::string_view> words) {
  return std::any_of(words.begin(), words.end(),
                     [&](std::string_view word) { return text.find(word) != std::string::npos; });
}

bool SaysTooMany(const std::string& text) {
  static const std::vector<std::string> phrases = [] {
    std::vector<std::string> all;
    for (const char* what : {"connection", "connected", "concurrent", "simultaneous", "user",
                             "client", "session", "anonymous"})
      all.push_back(std::string("too many ") + what);
    for (const char* lead : {"maximum number of ", "max number of ", "max. number of "})
      for (const char* what : {"client", "user", "connection", "session", "allowed", "simultaneous",
                               "concurrent", "anonymous"})
        all.push_back(std::string(lead) + what);
    for (const char* lead : {"max ", "max. ", "maximum "})
      for (const char* what : {"connection", "client", "user", "session"})
        all.push_back(std::string(lead) + what);
    for (const char* what : {"connection", "user", "client", "session"}) {
      all.push_back(std::string(what) + " limit");
      all.push_back(std::string(what) + "s limit");
      all.push_back(std::string("limit of ") + what);
    }
    all.insert(all.end(), {"(the maximum)", "no more connections"});
    return all;
  }();
  return std::any_of(phrases.begin(), phrases.end(), [&](const std::string& phrase) {
    return text.find(phrase) != std::string::npos;
  });
}

// The word (letters only) ending before at, skipping blanks and punctuation;
// at moves to its start.
std::string_view WordBefore(const std::string& text, std::size_t& at) {
  while (at > 0 && !IsLetter(text[at - 1]) && !IsDigit(text[at - 1])) --at;
  const std::size_t end = at;
  while (at > 0 && IsLetter(text[at - 1])) --at;
  return std::string_view{text}.substr(at, end - at);
}

std::string_view WordAfter(const std::string& text, std::size_t at) {
  while (at < text.size() && text[at] == ' ') ++at;
  std::size_t end = at;
  while (end < text.size() && IsLetter(text[end])) ++end;
  return std::string_view{text}.substr(at, end - at);
}

bool StartsWithAny(std::string_view word, std::initializer_list<std::string_view> starts) {
  return std::any_of(starts.begin(), starts.end(),
                     [&](std::string_view start) { return word.substr(0, start.size()) == start; });
}

struct Count {
  int value;
  int rank;  // lower is a surer reading
};

// A whole number standing alone (not part of an address, version, time of day
// or word), with how sure it is to be the limit: alone in parentheses (or the
// second of "(n/m)"), after "max" or "limit", before "users" and the like, or
// merely present. Nothing for a wait ("in 30 seconds") or a percentage.
std::optional<Count> CountAt(const std::string& text, std::size_t begin, std::size_t end) {
  const auto glued = [&](std::size_t at) { return at < text.size() && IsLetter(text[at]); };
  const auto joins = [&](char c) { return c == '.' || c == ',' || c == ':'; };
  if (begin > 0 && (IsLetter(text[begin - 1]) || text[begin - 1] == '_')) return std::nullopt;
  if (begin > 1 && joins(text[begin - 1]) && IsDigit(text[begin - 2])) return std::nullopt;
  if (glued(end) || (end < text.size() && (text[end] == '%' || text[end] == '_')))
    return std::nullopt;
  if (end + 1 < text.size() && joins(text[end]) && IsDigit(text[end + 1])) return std::nullopt;
  if (end - begin > 4) return std::nullopt;
  int value = 0;
  for (std::size_t i = begin; i < end; ++i) value = value * 10 + (text[i] - '0');
  if (value < 1 || value > 1000) return std::nullopt;

  const std::string_view next = WordAfter(text, end);
  if (StartsWithAny(next, {"sec", "min", "hour", "hr", "day", "ms", "time"})) return std::nullopt;
  const char before = begin > 0 ? text[begin - 1] : ' ';
  const char after = end < text.size() ? text[end] : ' ';
  if ((before == '(' && after == ')') || (before == '/' && after == ')')) return Count{value, 0};
  std::size_t at = begin;
  const std::string_view word = WordBefore(text, at);
  const auto isLimitWord = [](std::string_view w) {
    return w == "max" || w == "maximum" || w == "limit" || w == "limited" || w == "allowed";
  };
  if (isLimitWord(word)) return Count{value, 1};
  if (word == "is" || word == "of" || word == "to" || word == "at") {
    if (isLimitWord(WordBefore(text, at))) return Count{value, 1};
  }
  if (StartsWithAny(
          next, {"user", "connection", "client", "session", "simultaneous", "concurrent", "login"}))
    return Count{value, 2};
  if (before == '(' && after == '/') return std::nullopt;  // how many there are now
  return Count{value, 3};
}

}  // namespace

std::optional<int> ConnectionLimitIn(int code, std::string_view text) {
  if (code != 421 && code != 530) return std::nullopt;
  const std::string lower = Prepared(text);
  if (!SaysTooMany(lower)) return std::nullopt;
  std::optional<Count> best;
  for (std::size_t at = 0; at < lower.size();) {
    if (!IsDigit(lower[at])) {
      ++at;
      continue;
    }
    std::size_t end = at;
    while (end < lower.size() && IsDigit(lower[end])) ++end;
    const auto count = CountAt(lower, at, end);
    // The code again inside the text ("Error 421: ...") is no count either.
    if (count && count->value != code && (!best || count->rank < best->rank)) best = count;
    at = end;
  }
  return best ? best->value : 0;
}

bool SaysListingCut(std::string_view text) {
  const std::string lower = Prepared(text);
  if (HasAny(lower, {"output truncated", "output was truncated", "output is truncated",
                     "listing truncated", "listing was truncated", "listing is truncated",
                     "list truncated", "list was truncated", "output limited to",
                     "listing limited to", "list limited to"}))
    return true;
  // "truncated to 2000 entries", "limited to 500 files": a count of entries.
  for (const std::string_view verb : {"truncated to ", "limited to "}) {
    for (std::size_t at = lower.find(verb); at != std::string::npos;
         at = lower.find(verb, at + 1)) {
      std::size_t p = at + verb.size();
      if (p >= lower.size() || !IsDigit(lower[p])) continue;
      while (p < lower.size() && IsDigit(lower[p])) ++p;
      if (StartsWithAny(WordAfter(lower, p), {"match", "entr", "file", "item", "line", "result",
                                              "name", "director", "object"}))
        return true;
    }
  }
  return false;
}

}  // namespace qb
