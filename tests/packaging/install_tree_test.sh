#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and builds the Debian package:
# every file in its place, the desktop entry and metainfo valid, the installed
# program answers without a display, the package lists the same files.
# Usage: install_tree_test.sh <build-folder> <version>
set -euo pipefail
build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in desktop-file-validate appstreamcli dpkg-deb dpkg-shlibdeps groff; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is missing (scripts/install-deps.sh installs it)"
    exit 77
  fi
done

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
id=org.quillbrook.Quillbrook
expected=(
  usr/bin/quillbrook
  usr/bin/quillbrook-cli
  usr/lib/quillbrook/FtpRes.so
  usr/share/quillbrook/ZEVO.avi
  usr/share/quillbrook/ZevO.chm
  "usr/share/applications/$id.desktop"
  "usr/share/metainfo/$id.metainfo.xml"
  usr/share/icons/hicolor/scalable/apps/quillbrook.svg
  usr/share/man/man1/quillbrook.1.gz
  usr/share/man/man1/quillbrook-cli.1.gz
  usr/share/doc/quillbrook/copyright
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("usr/share/icons/hicolor/${size}x${size}/apps/quillbrook.png")
done
for f in "${expected[@]}"; do
  [ -s "$work/root/$f" ] || fail "not installed: $f"
done

desktop-file-validate "$work/root/usr/share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$work/root/usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
  fail "metainfo"
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY "$work/root/usr/bin/quillbrook" --version)
[ "$answer" = "quillbrook $version" ] || fail "--version printed '$answer'"

# The manual pages render without a warning, and the command-line program's
# page describes every option its --help names, and its exit status.
for page in quillbrook quillbrook-cli; do
  warnings=$(zcat "$work/root/usr/share/man/man1/$page.1.gz" | groff -man -Tascii -ww -z 2>&1)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
done
manual=$(zcat "$work/root/usr/share/man/man1/quillbrook-cli.1.gz" | groff -man -Tascii -rLL=200n -rHY=0 -P-cbou)
options=$("$work/root/usr/bin/quillbrook-cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
[ -n "$options" ] || fail "quillbrook-cli --help names no option"
for option in $options; do
  grep -q -- "$option" <<<"$manual" || fail "quillbrook-cli.1 does not describe $option"
done
for word in explore search find "EXIT STATUS"; do
  grep -q "$word" <<<"$manual" || fail "quillbrook-cli.1 says nothing of $word"
done

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -B "$work/package" >/dev/null) ||
  fail "cpack"
deb=$(ls "$work"/package/*.deb)
listed=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in "${expected[@]}"; do
  grep -qx "./$f" <<<"$listed" || fail "not in the package: $f"
done
depends=$(dpkg-deb -f "$deb" Depends)
grep -q libwxgtk3.2 <<<"$depends" || fail "dependencies not computed: $depends"
echo "install tree and package: ${#expected[@]} files, depends: $depends"
