#include "core/trusted_certificates.h"

#include <mutex>

#include "core/ini_file.h"
#include "core/program_folders.h"
#include "core/text_helpers.h"

namespace qb {

namespace {

// Serializes the file's read-modify-write cycles within the process.
std::mutex StoreLock;

constexpr const char* SectionName = "Certificate";
constexpr std::size_t FingerprintPairs = 32;
constexpr std::size_t MaxHostChars = 253;

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsAsciiAlnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// A name's bytes: letters, digits, '-', '.', '_', and bytes of names that are
// not ASCII; never a blank, control, quote or anything the file gives meaning.
bool NameByte(char c) {
  return IsAsciiAlnum(c) || c == '-' || c == '.' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

bool Ipv6Byte(char c) { return IsHex(c) || c == ':' || c == '.'; }

std::size_t Find(const std::vector<TrustedCertificate>& held, const TrustedCertificate& pair) {
  for (std::size_t i = 0; i < held.size(); ++i) {
    if (held[i].host == pair.host && held[i].sha256 == pair.sha256) return i;
  }
  return held.size();
}

std::vector<TrustedCertificate> ReadStore() {
  std::vector<TrustedCertificate> held;
  for (const IniSection& section : IniSections(IniFileText(TrustedCertificatesPath()))) {
    if (!EqualNoCase(section.name, SectionName)) continue;
    std::string host, sha256;
    for (const IniSection::Entry& entry : section.entries) {
      if (EqualNoCase(entry.key, "Host")) host = entry.value;
      if (EqualNoCase(entry.key, "SHA256")) sha256 = entry.value;
    }
    TrustedCertificate pair;
    if (!NormalizeCertificateHost(host, pair.host) || !NormalizeFingerprint(sha256, pair.sha256))
      continue;
    if (Find(held, pair) == held.size()) held.push_back(std::move(pair));
  }
  return held;
}

bool WriteStore(const std::vector<TrustedCertificate>& held) {
  std::string text = "; Server certificates accepted although no authority vouches for them.\n";
  for (const TrustedCertificate& pair : held)
    text += std::string("\n[") + SectionName + "]\nHost=" + pair.host + "\nSHA256=" + pair.sha256 +
            "\n";
  const std::string path = TrustedCertificatesPath();
  return MakeParentFolder(path) && IniWriteFile(path, text);
}

}  // namespace

std::string TrustedCertificatesPath() { return ConfigPath(TrustedCertificatesFileName); }

std::string CertificateHost(const std::string& host, int32_t port) {
  const bool ipv6 = host.find(':') != std::string::npos;
  return (ipv6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

bool NormalizeFingerprint(const std::string& text, std::string& normalized) {
  if (text.size() != FingerprintPairs * 3 - 1) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i % 3 == 2 ? text[i] != ':' : !IsHex(text[i])) return false;
  }
  normalized.clear();
  for (const char c : text) normalized += AsciiUpper(c);
  return true;
}

bool NormalizeCertificateHost(const std::string& text, std::string& normalized) {
  const std::size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon > MaxHostChars + 2) return false;
  const std::string host = text.substr(0, colon), port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5 || port[0] == '0') return false;
  for (const char c : port) {
    if (c < '0' || c > '9') return false;
  }
  if (AtoL(port.c_str()) > 65535) return false;
  if (host.front() == '[') {
    if (host.size() < 4 || host.back() != ']') return false;
    for (std::size_t i = 1; i + 1 < host.size(); ++i) {
      if (!Ipv6Byte(host[i])) return false;
    }
  } else {
    if (host.size() > MaxHostChars) return false;
    for (const char c : host) {
      if (!NameByte(c)) return false;
    }
  }
  normalized.clear();
  for (const char c : host) normalized += AsciiLower(c);
  normalized += ":" + port;
  return true;
}

std::vector<TrustedCertificate> TrustedCertificates() {
  std::lock_guard<std::mutex> hold(StoreLock);
  return ReadStore();
}

bool IsTrustedCertificate(const std::string& hostPort, const std::string& sha256) {
  TrustedCertificate pair;
  if (!NormalizeCertificateHost(hostPort, pair.host) || !NormalizeFingerprint(sha256, pair.sha256))
    return false;
  std::lock_guard<std::mutex> hold(StoreLock);
  const std::vector<TrustedCertificate> held = ReadStore();
  return Find(held, pair) < held.size();
}

bool TrustCertificate(const std::string& hostPort, const std::string& sha256) {
  TrustedCertificate pair;
  if (!NormalizeCertificateHost(hostPort, pair.host) || !NormalizeFingerprint(sha256, pair.sha256))
    return false;
  std::lock_guard<std::mutex> hold(StoreLock);
  std::vector<TrustedCertificate> held = ReadStore();
  if (Find(held, pair) < held.size()) return true;
  held.push_back(std::move(pair));
  return WriteStore(held);
}

bool RevokeCertificate(const std::string& hostPort, const std::string& sha256) {
  TrustedCertificate pair;
  // Text of the wrong shape was never accepted, so there is nothing to revoke.
  if (!NormalizeCertificateHost(hostPort, pair.host) || !NormalizeFingerprint(sha256, pair.sha256))
    return true;
  std::lock_guard<std::mutex> hold(StoreLock);
  std::vector<TrustedCertificate> held = ReadStore();
  const std::size_t at = Find(held, pair);
  if (at == held.size()) return true;
  held.erase(held.begin() + static_cast<std::ptrdiff_t>(at));
  return WriteStore(held);
}

}  // namespace qb
