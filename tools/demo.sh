#!/usr/bin/env bash
# Builds the kit and walks both round trips on a generated sample in ./sample:
# the script symbols (dump, edit, fold) and the text library (unpack, spill,
# edit, fold), and shows what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

echo "== building"
cmake --preset release >/dev/null
cmake --build --preset release --target symspill symfold arcspill linespill linefold gen_sample >/dev/null
bin=$root/build/release
symspill=$bin/symspill/symspill symfold=$bin/symfold/symfold arcspill=$bin/arcspill/arcspill
linespill=$bin/linespill/linespill linefold=$bin/linefold/linefold

rm -rf sample && mkdir sample && cd sample
"$bin/tools/gen_sample" .
echo "== sample made in $PWD: sample.dat ($(stat -c %s sample.dat) bytes), ou.bin ($(stat -c %s ou.bin) bytes)"

echo
echo "== script symbols: symspill sample.dat"
"$symspill" sample.dat
echo "-- first lines of the dump sample.dat.txt:"
head -n 3 sample.dat.txt | cut -c1-140
cp sample.dat.txt untouched.txt
echo "-- untouched dump folds back to the same bytes:"
"$symfold" sample.dat
cmp sample.dat sample.dat.new && echo "   sample.dat.new == sample.dat"
echo "-- edit: the string of Greeting becomes longer, Menu's \"Quit\" becomes \"Exit\""
sed -i -e 's/@Hello there^@/@Hello there, traveller^@/' -e 's/^\(.*@Menu@.*\)Quit^/\1Exit^/' sample.dat.txt
diff -a untouched.txt sample.dat.txt | cut -c1-140 || true
"$symfold" sample.dat
echo "-- sample.dat.new is $(stat -c %s sample.dat.new) bytes (was $(stat -c %s sample.dat)); its dump differs only there:"
cp sample.dat.new edited.dat
"$symspill" edited.dat >/dev/null
diff -a untouched.txt edited.dat.txt | cut -c1-140 || true

echo
echo "== text library: arcspill, then linespill on the copy ou.csl"
"$arcspill"
cp ou_unpack.csl ou.csl
"$linespill"
echo "-- the line list ou.txt:"
cat ou.txt
cp ou.txt untouched-list.txt
"$linefold"
cmp ou.csl ou.cls.new && echo "-- untouched list: ou.cls.new == ou.csl"
echo "-- edit: the text of DOOR"
sed -i 's/@The door is locked\./@The door creaks open./' ou.txt
"$linefold"
diff ou.csl ou.cls.new || true
echo
echo "== done; every file is in $PWD"
