#pragma once
// One run of a search (the term read, prepared, the ticked engines started and
// waited for) and the report of a searched term to the product web server.
#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace qb {

// String numbers of the messages the run shows.
inline constexpr int KeepSitesQuestion = 105;
inline constexpr int TermNeededMessage = 106;
inline constexpr int NothingFoundMessage = 107;

inline constexpr int TermMaxChars = 79;
// Escaping turns one byte into three, so a read term needs 3 * 79 + 1 bytes.
inline constexpr std::size_t PreparedTermSize = 3 * TermMaxChars + 1;

// Escapes a lower-cased term for the engines' query strings, in place: a space
// and the bytes '.'..'z' stay, every other byte becomes "%XX"; then spaces
// become "+". text holds size bytes; an escape that would not fit is left out
// with everything after it.
void PrepareQuery(char* text, std::size_t size);
std::string PrepareQuery(const std::string& term);

// Thread body started by the dialog's Start command. over is called once, when
// the run has done its work and before its closing message, so that a Start
// clicked as soon as that message is seen starts a new run; active when it has
// read its term and begins asking the engines.
void RunSearch(const std::function<void()>& over = {}, const std::function<void()>& active = {});

// The last run's term as typed, lower-cased; the prepared term to report.
std::string GetLastTerm();
// A confirmed new search forgets the last term.
void ClearLastTerm();
std::string GetReportTerm();

// The report request for a prepared term: a leading "%22" left out, the rest
// cut at the next "%22".
std::string QueryReportUrl(const std::string& preparedTerm);

// Thread body: waits, then sends the report once; nothing is shown.
void QueryReport(const std::string& preparedTerm);

// Tests shorten the waits; the program keeps the defaults.
struct SearchRunTimings {
  std::chrono::milliseconds engineWait{600000};
  std::chrono::milliseconds autoContinueDelay{1000};
  std::chrono::milliseconds reportDelay{40000};
};
void SetSearchRunTimings(const SearchRunTimings& timings);

}  // namespace qb
