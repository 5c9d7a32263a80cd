#pragma once
// Server certificates the user accepted although no authority vouches for them,
// kept in "trusted-certificates.ini" beside the settings file. Exploring threads
// ask while the window's thread adds and revokes: every call takes one lock.
#include <cstdint>
#include <string>
#include <vector>

namespace qb {

inline constexpr const char* TrustedCertificatesFileName = "trusted-certificates.ini";
std::string TrustedCertificatesPath();

struct TrustedCertificate {
  std::string host;    // "host:port", the host in lower case, an IPv6 literal in brackets
  std::string sha256;  // "AB:CD:...", 32 pairs in upper case
};

// The key a session and the user's choice meet on: ParseFtpUrl's host (an IPv6
// literal without brackets) and port.
std::string CertificateHost(const std::string& host, int32_t port);

// The accepted pairs in the order they were accepted; lines of the file that
// hold no valid pair are left out.
std::vector<TrustedCertificate> TrustedCertificates();
bool IsTrustedCertificate(const std::string& hostPort, const std::string& sha256);
// Both texts come from servers: a host or fingerprint of the wrong shape is
// refused. False when the pair was not written; one accepted already is true.
bool TrustCertificate(const std::string& hostPort, const std::string& sha256);
// False when the file could not be written; a pair not held counts as revoked.
bool RevokeCertificate(const std::string& hostPort, const std::string& sha256);

// Shape checks, case-insensitive; the normalized forms are what the file holds.
bool NormalizeFingerprint(const std::string& text, std::string& normalized);
bool NormalizeCertificateHost(const std::string& text, std::string& normalized);

}  // namespace qb
