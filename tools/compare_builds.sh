#!/usr/bin/env bash
# Runs the same generated inputs through two builds of the kit (the second one
# a Windows build run under wine) and checks that every output file is the
# same, byte for byte.
# Usage: tools/compare_builds.sh <linux build dir> <windows build dir>
set -euo pipefail
linux=$(realpath "$1")
windows=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

gen() { "$linux/tools/$1" "${@:2}"; }
mkdir -p "$work/in"
gen gen_scriptdata "$work/in/a.dat" 300000 11
gen gen_archive "$work/in/ou.bin" 300000 12

run_cycle() {  # <dir> <program runner prefix> <suffix>
  local d=$1 prefix=$2 suffix=$3 root=$4
  mkdir -p "$d" && cp "$work/in/"* "$d/" && cd "$d"
  p() { local name=$1; shift; $prefix "$root/$name/$name$suffix" "$@"; }
  p symspill a.dat >/dev/null
  p symfold a.dat >/dev/null
  p arcspill >/dev/null
  cp ou_unpack.csl ou.csl
  p linespill >/dev/null
  p linefold >/dev/null
  cd - >/dev/null
}
run_cycle "$work/linux" "" "" "$linux"
run_cycle "$work/windows" "wine" ".exe" "$windows"

status=0
for f in a.dat.txt a.dat.new ou_unpack.csl ou.txt ou.cls.new; do
  if cmp -s "$work/linux/$f" "$work/windows/$f"; then
    echo "same bytes: $f ($(stat -c %s "$work/linux/$f") bytes)"
  else
    echo "DIFFERENT: $f"; status=1
  fi
done
exit $status
