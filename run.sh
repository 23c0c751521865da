#!/usr/bin/env bash
# Builds everything and runs the inventory program. Arguments are passed to the program.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/build.sh"
if [ -x "$build/app/inventario" ]; then
  exec "$build/app/inventario" "$@"
fi
echo "Everything is built; the inventory program itself does not exist yet."
