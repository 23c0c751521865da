#!/usr/bin/env bash
# Builds everything and runs the inventory program.
#
# With no arguments it uses the database of the alias VENDRIX. When that alias is not configured
# (no alias file) and its default SQLite file does not exist yet, a demo shop database is created
# there first, so a newcomer sees a real report at once. On a machine without a display the report
# is exported headless to a PDF document instead (build/inventario.pdf), and the path is printed.
# Arguments, when given, go to the program unchanged (see ./run.sh --help).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
build="${QB_BUILD_DIR:-$root/build}"
bash "$root/scripts/build.sh"
program="$build/app/inventario"

if [ $# -gt 0 ]; then
  exec "$program" "$@"
fi

aliases="${QB_ALIASES:-${XDG_CONFIG_HOME:-$HOME/.config}/quillborough/aliases.ini}"
database="${XDG_DATA_HOME:-$HOME/.local/share}/quillborough/vendrix.db"
if [ ! -f "$aliases" ] && [ ! -f "$database" ]; then
  mkdir -p "$(dirname "$database")"
  echo "Criando o banco de demonstração em $database"
  "$program" --create-demo-database "$database" --products 2000
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  out="$build/inventario.pdf"
  echo "Sem tela: exportando o relatório sem janela."
  "$program" --export "$out"
  echo "Relatório gravado em $out"
  exit 0
fi
exec "$program"
