#!/usr/bin/env bash
# Installs the build into a fresh prefix and runs the installed program with
# KADDIR unset: it must find its fonts and map outlines in PREFIX/lib/vemra
# and draw the same map as the build's program over the build's data
# directory (the map is kept as BUILD_DIR/world_robinson.png). KADDIR, when
# set, still names the data directory.
# Usage: installed_map.sh BUILD_DIR [CMAKE]
set -euo pipefail
build=$1
cmake=${2:-cmake}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

fail() { echo "FAILED: $*"; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" || { cat "$work/install.log"; fail "install"; }
[ -x "$prefix/bin/vemra" ] || fail "no $prefix/bin/vemra"
for f in font0.dat font9.dat lowres; do
  [ -s "$prefix/lib/vemra/$f" ] || fail "no $prefix/lib/vemra/$f"
done

# A world map with a title: outlines and stroke fonts from the data directory.
session() {
  printf '%s\n' "open $build/sample/sample.ctl" "set lon -180 180" "set mproj robinson" \
    "draw map" "draw title World" "printim $1 white" quit
}

(cd "$work" && session installed.png | env -u KADDIR "$prefix/bin/vemra" -b -l >installed.out 2>&1)
(cd "$work" && session built.png | KADDIR="$build/data" "$build/src/vemra" -b -l >built.out 2>&1)
if grep -E 'Open Error on Map|Error opening stroke' "$work/installed.out"; then
  fail "the installed program did not find its data files"
fi
[ -s "$work/installed.png" ] || fail "no image from the installed program"
cmp -s "$work/installed.png" "$work/built.png" || fail "the installed program drew another map"
cp "$work/installed.png" "$build/world_robinson.png"

# KADDIR wins over the built-in directory.
mkdir "$work/empty"
(cd "$work" && session empty.png | KADDIR="$work/empty" "$prefix/bin/vemra" -b -l >empty.out 2>&1)
grep -q "Open Error on Map Data Set: $work/empty/lowres" "$work/empty.out" ||
  { cat "$work/empty.out"; fail "KADDIR was not used"; }
echo "installed program draws the map from $prefix/lib/vemra"
