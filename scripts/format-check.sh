#!/usr/bin/env bash
# Fails when a C++ file is not formatted as .clang-format says, and shows the difference.
#
#   scripts/format-check.sh [BASE]
#
# With BASE (a commit), only the files changed since it are checked; without, every tracked C++ file,
# which is what CI does: the tree was formatted as a whole once, so any unformatted file is a change.
# `clang-format -i FILE...` formats them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
command -v clang-format >/dev/null || { echo "format-check: clang-format is missing (scripts/install-deps.sh)" >&2; exit 1; }
if [ $# -gt 0 ]; then
  mapfile -t files < <(git diff --name-only --diff-filter=d "$1" -- '*.cpp' '*.h')
else
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
fi
[ ${#files[@]} -gt 0 ] || { echo "format-check: no C++ files to check"; exit 0; }
bad=()
for file in "${files[@]}"; do
  if ! clang-format --style=file "$file" | cmp -s - "$file"; then
    bad+=("$file")
  fi
done
if [ ${#bad[@]} -gt 0 ]; then
  for file in "${bad[@]}"; do
    clang-format --style=file "$file" | diff -u --label "$file" --label "$file (formatted)" "$file" - | head -40 || true
  done
  echo "format-check: ${#bad[@]} of ${#files[@]} file(s) not formatted; run clang-format -i on them" >&2
  exit 1
fi
echo "format-check: ${#files[@]} file(s) formatted as .clang-format says"
