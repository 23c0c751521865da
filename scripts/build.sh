#!/usr/bin/env bash
# Configures and builds into build/ (or $QB_BUILD_DIR). Extra arguments go to cmake --build.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${QB_BUILD_TYPE:-RelWithDebInfo}" >/dev/null
cmake --build "$build" "$@"
