#!/usr/bin/env bash
# Sets up (dependencies, configure, build), starts the bundled test station and
# lets Vorlane record it without windows for a while (35 s, or DEMO_SECONDS), one
# file per song title, then shows where the files went. The demo keeps its
# settings and recordings under build/demo, so it never touches your own Vorlane
# settings or music folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

demo="$PWD/build/demo"
seconds="${DEMO_SECONDS:-35}"
mkdir -p "$demo/home" "$demo/recordings"
rm -f "$demo/recordings"/*.mp3
export VORLANE_HOME="$demo/home"

# The station streams in real time, a new title every 10 seconds.
build/tools/vorlane-teststation --port 0 --quiet --title-every 160000 \
    --title "The Examples - First Light" --title "Loopback Trio - Port of Call" \
    --title "Don't Stop: Testing / Again?" > "$demo/station.log" &
station=$!
trap 'kill "$station" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    grep -q 'listening on' "$demo/station.log" 2>/dev/null && break
    sleep 0.1
done
url=$(sed -n 's/.*playlist: *//p' "$demo/station.log")
[ -n "$url" ] || { echo "the test station did not start" >&2; exit 1; }

# A preset for this station: one file per title, into the demo folder, no time limit.
printf '%s\r\n' "Vorlane Test Station" "$url" "SONGNAMEONLY" "$demo/recordings" "S0" " 0 " > "$demo/demo.mvr"

echo "vorlane --headless $demo/demo.mvr  (station $url; stops after $seconds s, Ctrl-C ends it sooner)"
timeout --signal=INT --preserve-status "$seconds" build/src/app/vorlane --headless "$demo/demo.mvr" || true

echo
echo "Recordings in $demo/recordings:"
ls -l "$demo/recordings"
