#!/usr/bin/env bash
# Installs the Debian packages the project needs, when some are missing.
set -euo pipefail
pkgs=(g++ cmake make pkg-config libwxgtk3.2-dev libgtest-dev libgmock-dev libbenchmark-dev
      xvfb xauth x11-utils libx11-dev python3 python3-pyftpdlib)
# HTTPS pages.
pkgs+=(libcurl4-openssl-dev openssl libssl-dev)
# Charsets of server names.
pkgs+=(libuchardet-dev)
# The local index.
pkgs+=(libsqlite3-dev)
# Engine keys in the desktop's keyring; the keyring tests run their own gnome-keyring
# on a session bus of their own.
pkgs+=(libsecret-1-dev gnome-keyring dbus)
# JSON answers of search sources (header-only).
pkgs+=(nlohmann-json3-dev)
# Install tree and package checks: validators, dpkg-shlibdeps and file for CPack.
pkgs+=(desktop-file-utils appstream dpkg-dev file)
# What the test FTP servers load; the servers themselves are only unpacked (below).
pkgs+=(libsodium23 libcap2 libpam0g libssl3 libwrap0 libacl1 libcrypt1 libhiredis0.14 libidn2-0
       libmemcached11 libmemcachedutil2 libncursesw6 libpcre2-8-0 libpcre2-posix3 libtinfo6 zlib1g)
# The suite beside a CPU hog (scripts/stress-suite.sh).
[ "${QB_STRESS_DEPS:-0}" = 1 ] && pkgs+=(stress-ng)
[ "${QB_FUZZ_DEPS:-0}" = 1 ] && pkgs+=(clang-14 libclang-rt-14-dev)
# The tools the benchmarks compare with.
[ "${QB_BENCH_DEPS:-0}" = 1 ] && pkgs+=(lftp curl)
[ "${QB_LINT_DEPS:-0}" = 1 ] && pkgs+=(clang-format clang-tidy)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

# The test servers: installing any of them starts a system service (and
# vsftpd and proftpd-core conflict), so they are unpacked into a cache folder the
# tests start them from. ProFTPD's TLS module comes in proftpd-mod-crypto.
ftpd_cache=${QB_FTPD_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/quillbrook/test-ftpd}
fetch_ftpd() {
  [ -x "$ftpd_cache/usr/sbin/vsftpd" ] && [ -x "$ftpd_cache/usr/sbin/proftpd" ] &&
    [ -f "$ftpd_cache/usr/lib/proftpd/mod_tls.so" ] && [ -x "$ftpd_cache/usr/sbin/pure-ftpd" ] &&
    return 0
  local tmp
  tmp=$(mktemp -d)
  local get='apt-get download -qq vsftpd proftpd-core proftpd-mod-crypto pure-ftpd 2>/dev/null'
  if (cd "$tmp" && eval "$get") ||
     { [ "$(id -u)" -eq 0 ] && apt-get update -qq && (cd "$tmp" && eval "$get"); }; then
    mkdir -p "$ftpd_cache"
    for deb in "$tmp"/*.deb; do dpkg-deb -x "$deb" "$ftpd_cache"; done
  else
    echo "Could not fetch vsftpd, proftpd-core, proftpd-mod-crypto and pure-ftpd; their tests will be skipped." >&2
  fi
  rm -rf "$tmp"
}

if [ ${#missing[@]} -ne 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages: ${missing[*]}. Install them as root (apt-get install ${missing[*]})." >&2
    exit 1
  fi
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
fetch_ftpd
