#!/usr/bin/env bash
# Sets up (dependencies, configure, build) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --parallel "$(nproc)"
# The installed package, where this machine may be changed (CI runs as root).
if [ "$(id -u)" -eq 0 ] && [ "${VORLANE_PACKAGE_CHECK:-1}" != 0 ]; then
    scripts/check-package.sh
fi
