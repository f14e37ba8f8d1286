#!/usr/bin/env bash
# Sets up a fresh Debian/Ubuntu machine, builds Vell and runs every test.
# Integration tests start their own X servers, PulseAudio and Chromium.
# Pass "unit" to run only the tests that need no display or browser.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh --tests
scripts/build.sh
if [ "${1:-}" = "unit" ]; then
  ctest --preset unit
else
  ctest --preset default
fi
