#!/usr/bin/env bash
# Sets up a fresh Debian/Ubuntu machine, builds Vell and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
exec build/default/bin/vell "$@"
