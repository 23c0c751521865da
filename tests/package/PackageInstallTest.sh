#!/usr/bin/env bash
# The Debian package, built from the build folder as scripts/package.sh builds it, installed with dpkg
# into a throw-away root and run from there; then its parts are checked as a desktop would use them.
#
#   PackageInstallTest.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir="$1"
build_dir="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A command that fails outside a check ends the script under set -e; say which one, or the test fails
# with nothing to go on.
trap 'echo "FAIL: line $LINENO: \"$BASH_COMMAND\" exited with $?" >&2' ERR
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

for tool in dpkg dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing"; exit 77; }
done
lintian_flag=()
if command -v lintian >/dev/null; then lintian_flag=(--lintian); else echo "note: lintian not installed, not run"; fi

# 1. The package, with lintian's verdict when lintian is there (errors fail the build of it).
deb="$(bash "$source_dir/scripts/package.sh" --no-build --build-dir "$build_dir" --output "$work" "${lintian_flag[@]}")" \
  || { echo "FAIL: scripts/package.sh failed" >&2; exit 1; }
[ -f "$deb" ] || { echo "FAIL: no package at $deb" >&2; exit 1; }

# 2. Installed by dpkg into an empty root of its own. The root holds none of the libraries, so the
# dependencies are forced there and checked against this machine below.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >"$work/dpkg.log" 2>&1 \
  || { cat "$work/dpkg.log" >&2; echo "FAIL: dpkg could not install the package" >&2; exit 1; }
[ "$(dpkg --root="$root" -s inventario | sed -n 's/^Status: //p')" = "install ok installed" ] \
  || fail "dpkg does not see the package installed"

# 3. The program runs from there.
program="$root/usr/bin/inventario"
version="$(sed -n 's/^project(QuillboroughInventario VERSION \([0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")"
answer="$("$program" --version)" || fail "inventario --version failed"
[ "$answer" = "inventario (Quillborough Inventário) $version" ] || fail "inventario --version said: $answer"
"$program" --help >"$work/help.txt" || fail "inventario --help failed"
if "$program" --no-such-option 2>/dev/null; then fail "an unknown option was accepted"; fi

# 4. What the desktop reads.
desktop="$root/usr/share/applications/inventario.desktop"
mime="$root/usr/share/mime/packages/inventario.xml"
icon="$root/usr/share/icons/hicolor/scalable/apps/inventario.svg"
manual="$root/usr/share/man/man1/inventario.1.gz"
for file in "$desktop" "$mime" "$icon" "$manual" "$root/usr/share/doc/inventario/copyright" \
  "$root/usr/share/doc/inventario/changelog.gz"; do
  [ -f "$file" ] || fail "missing ${file#"$root"}"
done
grep -qx 'Exec=inventario %f' "$desktop" || fail "the desktop entry does not pass the file to open"
grep -qx 'Icon=inventario' "$desktop" || fail "the desktop entry has no icon"
grep -qx 'Name=Inventário por Preço de Custo' "$desktop" || fail "the desktop entry is not in Portuguese"
mime_type="$(sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$mime")"
grep -q "^MimeType=.*$mime_type;" "$desktop" || fail "the desktop entry does not open $mime_type"
grep -q '<glob pattern="\*.pgx"/>' "$mime" || fail "the file type does not claim .pgx"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
if command -v xmllint >/dev/null; then
  xmllint --noout "$mime" "$icon" || fail "the file type or the icon is not well-formed XML"
fi
# The magic of the file type matches a saved report's first bytes.
magic="$(sed -n 's/.*<match type="string" offset="0" value="\([^"]*\)".*/\1/p' "$mime")"
"$program" --create-demo-database "$work/demo.db" --products 30 >/dev/null 2>&1 || fail "demo database"
QT_QPA_PLATFORM=offscreen "$program" --export "$work/saved.pgx" --database "$work/demo.db" --date 01/02/2024 \
  2>/dev/null || fail "export of a saved report from the installed program"
[ "$(head -c "${#magic}" "$work/saved.pgx")" = "$magic" ] || fail "the file type's magic does not match a saved report"
"$program" --export "$work/saved.pdf" --from "$work/saved.pgx" 2>/dev/null || fail "--from of the installed program"
[ "$(head -c 5 "$work/saved.pdf")" = "%PDF-" ] || fail "--from did not write a PDF"

# 5. The manual page: valid for man, and it tells every option that --help tells.
if command -v man >/dev/null; then
  warnings="$(LC_ALL=C.UTF-8 man --warnings -E UTF-8 -l -Tutf8 -Z "$manual" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || fail "man page warnings: $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$manual" 2>/dev/null | col -b >"$work/manual.txt"
  grep -q '^NAME' "$work/manual.txt" || fail "the manual page has no NAME"
  for option in $(grep -o -- '--[a-z][a-z-]*' "$work/help.txt" | sort -u); do
    grep -q -- "$option" "$work/manual.txt" || fail "the manual page does not mention $option"
  done
fi

# 6. Dependencies: every Qt library the program links comes from a package it depends on, the SQLite
# driver of the default alias is there too, and each one is a package this machine has installed.
depends="$(dpkg-deb -f "$deb" Depends)"
names="$(echo "$depends" | tr ',' '\n' | sed 's/(.*)//; s/|.*//; s/ //g' | grep -v '^$')"
for library in $(objdump -p "$program" | awk '/NEEDED/ && /libQt6/ {print $2}'); do
  # awk reads to the end: leaving early would end ldconfig with SIGPIPE once its list passes the pipe's
  # buffer, and pipefail would make that the script's end.
  path="$(ldconfig -p | awk -v lib="$library" '$1 == lib && !found {print $NF; found = 1}')"
  owner="$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | sed -n '1s/:.*//p')" || owner=""
  [ -n "$owner" ] || owner="$(dpkg -S "$path" 2>/dev/null | sed -n '1s/:.*//p')" || owner=""
  echo "$names" | grep -qx "$owner" || fail "$library (from ${owner:-?}) is not a dependency: $depends"
done
echo "$names" | grep -qx libqt6sql6-sqlite || fail "the SQLite driver is not a dependency"
for name in $names; do
  dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed" \
    || fail "dependency $name is not an installed package here"
done

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "package $deb installs into a throw-away root and runs: $answer"
