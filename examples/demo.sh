#!/usr/bin/env bash
# Runs zt-rebuild on a copy of the sample game root: builds its base archives
# from made-up base content with the stand-in archive tool, shows what they
# hold, rebuilds them from the staged files and the delete list, then shows
# the log and what they hold now.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
examples=$(cd "$(dirname "$0")" && pwd)
game="$build/demo/Game"

rm -rf "$build/demo"
mkdir -p "$build/demo"
cp -R "$examples/game" "$game"
cp "$build/pack" "$game/pack"
"$build/pack" "$game/expansion/zt/zt.pff" "$examples"/base-content/zt/* /force >/dev/null
"$build/pack" "$game/expansion/zt/ztL.pff" "$examples"/base-content/ztL/* /force >/dev/null
cd "$game"

list_archives() { # WHEN
  for archive in zt.pff ztL.pff; do
    echo
    echo "== $archive $1"
    echo "\$ pack expansion/zt/$archive /list"
    ./pack "expansion/zt/$archive" /list
  done
}

# What the sample stages but a run passes over, read from the sample itself:
# subfolders and hidden files, each with what it is.
passed_over() (
  shopt -s dotglob nullglob
  for entry in expansion/zt/temp/* expansion/zt/tempL/*; do
    if [ -d "$entry" ]; then
      echo "  $entry (a subfolder)"
    elif [[ ${entry##*/} == .* ]]; then
      echo "  $entry (a hidden file)"
    fi
  done
)

list_archives "before the rebuild"
echo
echo "== the rebuild"
skipped=$(passed_over)
if [ -n "$skipped" ]; then
  echo "The sample stages these on purpose, to show what a run passes over: it"
  echo "packs none of them, and says so."
  echo "$skipped"
fi
echo "\$ zt-rebuild $game"
"$build/zt-rebuild" "$game"
echo
echo "== the tool's log"
echo "\$ cat ztlog.txt"
cat ztlog.txt
list_archives "after the rebuild"
