#!/usr/bin/env bash
# Runs the tests that put a filter thread beside the main thread under the thread checker
# (ThreadSanitizer): the page store's readers, the filter runs, and the thousand-page inventory saved
# and printed in the background while the preview pages through it. Any unguarded access to shared
# memory is reported and fails the run.
#
# Builds only those tests into build-tsan/ (or $QB_TSAN_BUILD_DIR), with -fsanitize=thread.
# Qt itself is not built for the checker; the hand-overs our code makes through Qt's queued calls are
# marked for it in platform/ThreadHandOver.h.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QB_TSAN_BUILD_DIR:-$root/build-tsan}"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >/dev/null
targets=(pagestore_RLMetaStorageTest filters_RLFiltersTest app_BackgroundRunRaceTest)
cmake --build "$build" --target "${targets[@]}"
export QT_QPA_PLATFORM=offscreen LANG=pt_BR.UTF-8 LC_ALL=pt_BR.UTF-8
# A report fails the program at once; exit code 66 tells it from a failed expectation.
export TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 history_size=4 suppressions=$root/scripts/thread-check.supp ${TSAN_OPTIONS:-}"
status=0
for target in "${targets[@]}"; do
  echo "== $target (thread checker)"
  start=$(date +%s)
  "$build/tests/$target" --gtest_brief=1 || status=$?
  echo "== $target: $(( $(date +%s) - start )) s"
  [ "$status" -eq 0 ] || break
done
exit "$status"
