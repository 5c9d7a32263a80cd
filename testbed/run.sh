#!/usr/bin/env bash
# Starts the loopback testbed, then the program against it; the testbed stops
# when the program ends. Usage: testbed/run.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-build}" && pwd)
program="$build/bin/quillbrook"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "make run: no display (DISPLAY is not set). Start it from a desktop session," >&2
  echo "or under a virtual one: xvfb-run -a make run" >&2
  exit 1
fi
if [ ! -x "$program" ]; then
  echo "make run: $program is missing; build it first (make build)." >&2
  exit 1
fi

state="$build/testbed"
mkdir -p "$state"
rm -f "$state/ready.json"
/usr/bin/python3 "$here/testbed.py" --state-dir "$state" --ini "$build/bin/FTP-ZEVO.ini" \
  --ready-file "$state/ready.json" >"$state/testbed.out" 2>&1 &
testbed=$!
stop_testbed() {
  kill "$testbed" 2>/dev/null || true
  wait "$testbed" 2>/dev/null || true
}
trap stop_testbed EXIT
trap 'exit 130' INT TERM

# The deep site's first start writes 20,000 names; later ones keep them.
for _ in $(seq 300); do
  [ -s "$state/ready.json" ] && break
  if ! kill -0 "$testbed" 2>/dev/null; then
    echo "make run: the testbed did not start:" >&2
    cat "$state/testbed.out" >&2
    exit 1
  fi
  sleep 0.1
done
if [ ! -s "$state/ready.json" ]; then
  echo "make run: the testbed was not ready within 30 s; see $state/testbed.out" >&2
  exit 1
fi
cat "$state/testbed.out"
echo "Try a search for: mp3 player, zevo, video, game (query reports: $state/reports.log)"

cd "$build/bin"
"$program"
