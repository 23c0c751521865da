#!/usr/bin/env bash
# Builds the optimised program the way it is shipped: Release, optimised across the libraries at link
# time, and then once more with the compiler told where the program spends its time (profile-guided
# optimisation). The first build counts what an export runs; it exports a demo shop to every page
# format; the second build lays the code out by those counts. Measured on the 2-core machine this
# takes a fifth off the page store file and a seventh off the PDF, with the same bytes in every file.
#
#   scripts/build-release.sh [BUILD_FOLDER] [extra targets...]     (BUILD_FOLDER: build-release)
#
# QB_BENCH=ON builds the benchmarks as well (the extra targets name them). The counts stay in
# BUILD_FOLDER/pgo-profile; every run counts afresh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build-release}"
[ $# -gt 0 ] && shift
case "$build" in /*) ;; *) build="$PWD/$build" ;; esac
profile="$build/pgo-profile"
bash "$root/scripts/install-deps.sh"

# Without the compiler cache: an object compiled against one run's counts must never stand in for
# one compiled against the next run's.
configure() {
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQB_TESTS=OFF -DQB_CCACHE=OFF \
    -DQB_BENCH="${QB_BENCH:-OFF}" -DCMAKE_CXX_FLAGS="$1" -DCMAKE_EXE_LINKER_FLAGS="$2" >/dev/null
}

# 1. Counting build. The counters are updated atomically: the export runs the database reader and
#    the writers on threads of their own.
rm -rf "$profile"
configure "-fprofile-generate -fprofile-update=atomic -fprofile-dir=$profile" "-fprofile-generate"
cmake --build "$build" --target inventario

# 2. The training run: a demo shop exported to the page store file, PDF and .xls, headless.
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen LANG=pt_BR.UTF-8 LC_ALL=pt_BR.UTF-8
"$build/app/inventario" --create-demo-database "$work/demo.db" --products 20000 >/dev/null
for format in pgx pdf xls; do
  "$build/app/inventario" --export "$work/treino.$format" --database "$work/demo.db" --date 31/12/2024 \
    </dev/null
done
[ -n "$(find "$profile" -name '*.gcda' -print -quit)" ] || {
  echo "build-release.sh: the training run left no counts in $profile" >&2
  exit 1
}

# 3. The optimised build. Code the training never ran is still optimised as usual (partial
#    training), since the window, printing and the other formats matter as much.
configure "-fprofile-use -fprofile-partial-training -fprofile-dir=$profile -Wno-missing-profile" ""
cmake --build "$build" --target inventario "$@"
echo "$build/app/inventario"
