#!/usr/bin/env bash
# The peer benchmark: the inventory report exported to PDF by the program and drawn by Debian's
# python3-reportlab from the same demo database, interleaved in one run, medians and their ratio.
#
#   bench/PeerBench.sh [BUILD_FOLDER] [peer_bench.py options]     (BUILD_FOLDER: build-bench)
#   bench/PeerBench.sh build-bench --runs 5 --products 10000 100000
#
# Installs python3-reportlab when Debian's own python3 cannot import it.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-build-bench}"
shift || true
if ! /usr/bin/python3 -c 'import reportlab' 2>/dev/null; then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get install -y -qq --no-install-recommends python3-reportlab \
    || { $SUDO apt-get update -qq && $SUDO apt-get install -y -qq --no-install-recommends python3-reportlab; }
fi
# The system's interpreter, which is the one Debian's reportlab is installed for.
exec /usr/bin/python3 "$here/peer/peer_bench.py" --program "$build/app/inventario" "$@"
