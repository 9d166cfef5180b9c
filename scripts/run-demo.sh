#!/usr/bin/env bash
# Sets up (dependencies, configure, build) and runs Vorlane without windows on the
# example preset. The demo keeps its settings and recordings under build/demo, so
# it never touches your own Vorlane settings or music folder.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

demo="$PWD/build/demo"
mkdir -p "$demo/home" "$demo/recordings"
# The example preset records into the default folder: point it at the demo's.
printf '[LastPath]\r\nLASTPATH=%s\r\n' "$demo/recordings" > "$demo/home/Kestrane.ini"
export VORLANE_HOME="$demo/home"

echo "vorlane --headless examples/example.mvr (recordings go to $demo/recordings; Ctrl-C ends it)"
exec build/src/app/vorlane --headless examples/example.mvr
