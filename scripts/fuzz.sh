#!/usr/bin/env bash
# Builds every fuzz target (fuzz/*Fuzz.cpp) with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, then runs each for SECONDS (default 300) on its corpus,
# one target after the other with one job, so the machine stays usable.
#   scripts/fuzz.sh [SECONDS] [TARGET...]
# New inputs that add coverage are merged into fuzz/corpus/<subject>/ (commit them); a crash leaves
# its input in build-fuzz/crashes/<target>/ and fails the script. The figures (runs, seconds, crashes)
# of every target are printed at the end. QB_FUZZ_DIR names another build folder.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-300}"
shift || true
build="${QB_FUZZ_DIR:-$root/build-fuzz}"
bash "$root/scripts/install-deps.sh"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in "$root"/fuzz/*Fuzz.cpp; do
    targets+=("$(basename "$source" .cpp)")
  done
fi

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQB_FUZZ=ON -DQB_TESTS=OFF -DQB_BENCH=OFF >/dev/null
cmake --build "$build" -j"${QB_JOBS:-$(nproc)}" --target "${targets[@]}"

export QT_QPA_PLATFORM=offscreen LANG=pt_BR.UTF-8 LC_ALL=pt_BR.UTF-8
export ASAN_OPTIONS="detect_leaks=0:halt_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
summary=()
failed=0
for target in "${targets[@]}"; do
  subject="${target%Fuzz}"
  corpus="$root/fuzz/corpus/$subject"
  work="$build/corpus/$subject"
  crashes="$build/crashes/$target"
  logs="$build/logs/$target"
  mkdir -p "$corpus" "$work" "$crashes" "$logs"
  echo "== $target: ${seconds} s on $corpus"
  status=0
  (cd "$logs" && "$build/fuzz/$target" -jobs=1 -workers=1 -max_total_time="$seconds" -timeout=20 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$crashes/" "$work" "$corpus") || status=$?
  log="$logs/fuzz-0.log"
  runs="$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || echo '?')"
  time="$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | tail -1 | grep -o '[0-9]*$' || echo '?')"
  found="$(find "$crashes" -type f \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)"
  [ "$status" -ne 0 ] || [ "$found" -ne 0 ] && failed=1
  # Only inputs that add coverage join the kept corpus.
  "$build/fuzz/$target" -merge=1 "$corpus" "$work" >"$logs/merge.log" 2>&1 || true
  summary+=("$target: $runs runs in ${seconds} s ($time/s), $found crash inputs, exit $status")
done
printf '%s\n' "${summary[@]}"
exit $failed
