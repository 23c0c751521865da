#!/usr/bin/env bash
# Builds the Debian package of the program, inventario_VERSION_ARCH.deb, and prints its path.
#
#   scripts/package.sh [--build-dir DIR] [--output DIR] [--no-build] [--lintian]
#
# --build-dir  the build folder (default: $QB_BUILD_DIR, else build-release/ when building and build/
#              with --no-build)
# --output     where the package goes (default: the build folder)
# --no-build   package what the build folder holds, without building first (the package test)
# --lintian    check the package with lintian afterwards; any error fails the script
#
# The package holds the program (stripped), its desktop entry, the saved-report file type, the icon,
# the manual page and the copyright and changelog files. Its dependencies are those of the libraries
# the program links (dpkg-shlibdeps), plus what it loads or needs at run time: the SQLite driver of
# the default alias and the fonts whose metrics the report is laid out with. The menu, file type and
# icon caches are refreshed by the desktop's own dpkg triggers, so there are no maintainer scripts.
set -euo pipefail
umask 022
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${QB_BUILD_DIR:-}"
output=""
build_first=1
run_lintian=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build="$2"; shift 2 ;;
    --output) output="$2"; shift 2 ;;
    --no-build) build_first=0; shift ;;
    --lintian) run_lintian=1; shift ;;
    *) echo "package.sh: unknown argument: $1" >&2; exit 2 ;;
  esac
done
if [ -z "$build" ]; then
  if [ "$build_first" -eq 1 ]; then build="$root/build-release"; else build="$root/build"; fi
fi
output="${output:-$build}"

if [ "$build_first" -eq 1 ]; then
  # The shipped program is the optimised one, built with the profile of a training export.
  QB_BENCH=OFF bash "$root/scripts/build-release.sh" "$build" manpage >&2
fi
for tool in dpkg-deb dpkg-shlibdeps strip gzip; do
  command -v "$tool" >/dev/null || { echo "package.sh: $tool is missing (scripts/install-deps.sh)" >&2; exit 1; }
done
[ -x "$build/app/inventario" ] || { echo "package.sh: no program in $build (build it first)" >&2; exit 1; }

version="$(sed -n 's/^project(QuillboroughInventario VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")"
arch="$(dpkg --print-architecture)"
package="inventario_${version}_${arch}.deb"

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
tree="$stage/tree"
DESTDIR="$tree" cmake --install "$build" --prefix /usr >/dev/null
# As dh_strip does: no symbols, no compiler notes.
strip --strip-unneeded --remove-section=.comment --remove-section=.note "$tree/usr/bin/inventario"
docs="$tree/usr/share/doc/inventario"
install -d "$docs"
install -m 644 "$root/packaging/copyright" "$docs/copyright"
gzip -9nc "$root/packaging/changelog" > "$docs/changelog.gz"
chmod 644 "$docs/changelog.gz"

# dpkg-shlibdeps reads a source package's control file; a minimal one does.
mkdir -p "$stage/debian"
printf 'Source: inventario\n\nPackage: inventario\nArchitecture: any\n' > "$stage/debian/control"
shlibs="$(cd "$stage" && dpkg-shlibdeps -O -e"$tree/usr/bin/inventario" 2>/dev/null | sed -n 's/^shlibs:Depends=//p')"
[ -n "$shlibs" ] || { echo "package.sh: dpkg-shlibdeps found no dependencies" >&2; exit 1; }

install -d "$tree/DEBIAN"
(cd "$tree" && find usr -type f -printf '%P\n' | sort | sed 's|^|usr/|' | xargs md5sum) > "$tree/DEBIAN/md5sums"
chmod 644 "$tree/DEBIAN/md5sums"
size="$(du -sk --exclude=DEBIAN "$tree" | cut -f1)"
cat > "$tree/DEBIAN/control" <<EOF
Package: inventario
Version: $version
Architecture: $arch
Maintainer: Quillborough <suporte@quillborough.com.br>
Installed-Size: $size
Depends: $shlibs, libqt6sql6-sqlite, fonts-liberation, fonts-dejavu-core
Suggests: libqt6sql6-psql, libqt6sql6-ibase
Section: misc
Priority: optional
Description: shop inventory valued at cost price
 Prints the "Inventário por Preço de Custo" of a retail shop: every product
 in stock valued at cost price, ordered by name, with a running subtotal at
 the foot of each page and a closing summary of the ICMS tax totals.
 .
 The report is shown in a preview window, from which it is printed or saved
 as a PDF document, a spreadsheet or a saved report (.pgx) that opens in the
 program again. Without a window it exports the same report from the command
 line.
EOF
chmod 644 "$tree/DEBIAN/control"

mkdir -p "$output"
dpkg-deb --root-owner-group -Zxz --build "$tree" "$output/$package" >/dev/null
echo "$output/$package"

if [ "$run_lintian" -eq 1 ]; then
  command -v lintian >/dev/null || { echo "package.sh: lintian is missing (scripts/install-deps.sh)" >&2; exit 1; }
  # Errors fail; warnings and notes are shown.
  lintian --fail-on error --no-tag-display-limit "$output/$package" >&2
fi
