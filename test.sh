#!/usr/bin/env bash
# Builds everything and runs every test headless, under a Brazilian locale.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen LANG=pt_BR.UTF-8 LC_ALL=pt_BR.UTF-8
cd "$build"
exec ctest --output-on-failure -j"$(nproc)" "$@"
