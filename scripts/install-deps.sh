#!/usr/bin/env bash
# Installs the Debian packages the project needs, when some are missing.
set -euo pipefail
pkgs=(g++ cmake make pkg-config libwxgtk3.2-dev libgtest-dev libgmock-dev libbenchmark-dev
      xvfb xauth x11-utils libx11-dev python3 python3-pyftpdlib)
[ "${QB_FUZZ_DEPS:-0}" = 1 ] && pkgs+=(clang-14 libclang-rt-14-dev)
[ "${QB_LINT_DEPS:-0}" = 1 ] && pkgs+=(clang-format clang-tidy)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}. Install them as root (apt-get install ${missing[*]})." >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
