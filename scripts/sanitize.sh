#!/usr/bin/env bash
# Builds with AddressSanitizer and UndefinedBehaviorSanitizer into build-asan/ and runs the whole
# suite there; any report fails the run.
#   scripts/sanitize.sh            ASan + UBSan, every test
#   scripts/sanitize.sh --thread   ThreadSanitizer into build-tsan/, the tests that run threads
#                                  (background filter runs, the dataset's read-ahead, readers of the
#                                  message table on other threads)
# Extra arguments go to ctest. QB_SANITIZE_DIR names another build folder.
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

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQB_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" >/dev/null
# The test programs whose code starts threads: background filter runs (filters, dialogs, the program's
# exports), the dataset's read-ahead (SQL data sets and aliases), the message table and the text
# measure read from other threads.
threaded=(filters_RLFiltersTest filters_RLSpoolFilterTest filters_RLXLSFilterTest filters_RLPDFFilterTest
  preview_RLSaveDialogTest preview_RLPrintDialogTest platform_SqlDataSetTest platform_DataSetTest
  platform_AliasesTest platform_TextMeasureTest engine_RLConstsTest engine_RLUtilsTest
  app_InventoryExportTest app_InventoryPdfXlsExportTest)
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
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"

cd "$build"
if [ "$mode" = thread ]; then
  failed=0
  for test in "${threaded[@]}"; do
    echo "== $test"
    "./tests/$test" "$@" >"tests/$test.tsan.log" 2>&1 || { failed=1; tail -50 "tests/$test.tsan.log"; }
    grep -q "WARNING: ThreadSanitizer" "tests/$test.tsan.log" && { failed=1; grep -A30 "WARNING: ThreadSanitizer" "tests/$test.tsan.log" | head -60; }
  done
  exit $failed
fi
exec ctest --output-on-failure -j"${QB_JOBS:-$(nproc)}" "$@"
