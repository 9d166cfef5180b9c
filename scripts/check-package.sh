#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt-get, and
# checks the installed program: its version, then a five-second headless
# recording from the installed test station. Needs root (or sudo).
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

rm -f build/vorlane_*.deb
(cd build && cpack -G DEB > cpack.log 2>&1) || { cat build/cpack.log >&2; exit 1; }
package=$(ls build/vorlane_*.deb)
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "./$package" > build/apt-install.log 2>&1 ||
    { cat build/apt-install.log >&2; exit 1; }
echo "installed $package"

/usr/bin/vorlane --version

work=$(mktemp -d)
trap 'kill "$station" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/home" "$work/recordings"
/usr/bin/vorlane-teststation --port 0 --quiet --title-every 16000 \
    --title "Package Check - One" --title "Package Check - Two" > "$work/station.log" &
station=$!
for _ in $(seq 100); do
    grep -q 'listening on' "$work/station.log" 2>/dev/null && break
    sleep 0.1
done
url=$(sed -n 's/.*playlist: *//p' "$work/station.log")
[ -n "$url" ] || { echo "the installed test station did not start" >&2; exit 1; }
printf '%s\r\n' "Package Check" "$url" "SONGNAMEONLY" "$work/recordings" "S0" " 0 " > "$work/check.mvr"
VORLANE_HOME="$work/home" timeout --signal=INT --preserve-status 5 /usr/bin/vorlane --headless "$work/check.mvr" \
    > "$work/vorlane.log" 2>&1 || true
ls -l "$work/recordings"
count=$(find "$work/recordings" -name '*.mp3' -size +1k | wc -l)
if [ "$count" -lt 2 ]; then
    echo "the installed program recorded $count files in 5 s" >&2
    cat "$work/vorlane.log" >&2
    exit 1
fi
echo "package check: $count files recorded by the installed program"
