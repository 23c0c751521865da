#!/usr/bin/env bash
# Builds with the compilers' sanitizers and runs the tests there; any report fails the run.
#   scripts/sanitize.sh            AddressSanitizer + UndefinedBehaviorSanitizer into build-asan/, the
#                                  whole suite
#   scripts/sanitize.sh --thread   ThreadSanitizer into build-tsan/, the test programs whose code runs
#                                  threads: the page store's readers, background filter runs, the
#                                  thousand-page inventory saved and printed in the background while the
#                                  preview pages through it, printing and saving from the dialogs in
#                                  the background, the dataset's read-ahead, a connection per thread,
#                                  and the tables read from other threads. CI runs this one.
# Extra arguments go to ctest (address) or to each test program (thread). QB_SANITIZE_DIR names
# another build folder, QB_JOBS the parallel jobs.
#
# Qt itself is not built for the thread checker; the hand-overs our code makes through Qt's queued
# calls are marked for it in platform/ThreadHandOver.h, and scripts/tsan.supp says what of Qt's own is
# not watched.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mode=address
if [ "${1:-}" = "--thread" ]; then
  mode=thread
  shift
fi
bash "$root/scripts/install-deps.sh"

case "$mode" in
  address)
    build="${QB_SANITIZE_DIR:-$root/build-asan}"
    flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"
    ;;
  thread)
    build="${QB_SANITIZE_DIR:-$root/build-tsan}"
    flags="-fsanitize=thread -fno-omit-frame-pointer"
    ;;
esac

# -O1 with line tables only: the checkers' own advice for speed, reports still name file and line,
# and the build takes a good part less time than a full optimised one with full debug information.
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BENCH=OFF \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
# The test programs whose code starts threads. The race test comes first: it is the one that pages a
# thousand-page store in the preview while a filter thread reads it.
threaded=(app_BackgroundRunRaceTest pagestore_RLMetaStorageTest filters_RLFiltersTest filters_RLXLSFilterTest
  filters_RLPDFFilterTest filters_RLFilterPipelineTest filters_RLSpoolFilterTest preview_RLPrintDialogTest
  preview_RLSaveDialogTest platform_SqlDataSetTest platform_DataSetTest platform_AliasesTest
  platform_TextMeasureTest platform_TempFilesTest engine_RLConstsTest)
if [ "$mode" = thread ]; then
  cmake --build "$build" -j"${QB_JOBS:-$(nproc)}" --target "${threaded[@]}"
else
  cmake --build "$build" -j"${QB_JOBS:-$(nproc)}"
fi

export QT_QPA_PLATFORM=offscreen LANG=pt_BR.UTF-8 LC_ALL=pt_BR.UTF-8
# Leaks of the platform's own libraries at exit (fontconfig's caches, the offscreen platform) are
# theirs, listed in scripts/sanitize.supp; ours are not.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1:strict_init_order=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

cd "$build"
if [ "$mode" = thread ]; then
  # A report fails the program at once; exit code 66 tells it from a failed expectation.
  export TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:history_size=4:suppressions=$root/scripts/tsan.supp"
  status=0
  for test in "${threaded[@]}"; do
    start=$(date +%s)
    "./tests/$test" --gtest_brief=1 "$@" >"tests/$test.tsan.log" 2>&1 || status=$?
    echo "== $test: $(( $(date +%s) - start )) s, exit $status"
    if [ "$status" -ne 0 ]; then
      grep -A40 "WARNING: ThreadSanitizer" "tests/$test.tsan.log" | head -80 || tail -50 "tests/$test.tsan.log"
      exit "$status"
    fi
  done
  exit 0
fi
exec ctest --output-on-failure -j"${QB_JOBS:-$(nproc)}" "$@"
