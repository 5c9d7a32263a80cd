#pragma once
// What a server's reply text says beyond its code: that it allows no more
// connections from us, or that it cut a listing short.
#include <optional>
#include <string_view>

namespace qb {

// For a 421 or 530 (code given separately) whose text says the server has too
// many connections, users, clients or sessions: the number of them it allows
// when the text gives one (1..1000, not a reply code, an address, a time or a
// wait), else 0. Nothing for any other code or text.
//   "421 Too many connections (8) from this IP"                  -> 8
//   "421 5 users (the maximum) are already logged in, sorry"     -> 5
//   "421 There are too many connected users, please try later."  -> 0
std::optional<int> ConnectionLimitIn(int code, std::string_view text);

// Whether a reply (any line of a 226/250 completion or a 150) says the server
// cut the listing: "226-Output truncated to 2000 matches", "Listing
// truncated", "output limited to 500 entries", ...
bool SaysListingCut(std::string_view text);

}  // namespace qb
