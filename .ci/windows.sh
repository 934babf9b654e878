#!/usr/bin/env bash
# Builds the kit for Windows (mingw-w64, static .exe files), runs the
# end-to-end tests against those programs under wine, compares the output files
# of both builds on generated inputs, and packs the Windows zip.
# Expects the Linux build of the "test" workflow in build/default.
set -euo pipefail
cd "$(dirname "$0")/.."

export WINEDEBUG=-all
export LANG=C.UTF-8 LC_ALL=C.UTF-8   # wine passes UTF-8 file names on to the programs
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"

cmake --preset mingw
cmake --build --preset mingw
# One wine server for the whole run, started before anything else uses the
# prefix: by default it ends as soon as its last program does, and a program
# started just as it ends can fail to start (no output, status 1), which the
# tests' pauses between runs made happen now and then.
mkdir -p "$WINEPREFIX"
wineserver -p || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineboot --init >/dev/null 2>&1 || true

# 1. The end-to-end tests, against the Windows programs.
status=0
for t in build/default/tests/*_e2e; do
  echo "== $(basename "$t") against the Windows build"
  if ! KIT_PROGRAM_DIR="$PWD/build/mingw" KIT_PROGRAM_SUFFIX=.exe KIT_RUNNER=wine KIT_CONSOLE_CRLF=1 \
       "$t" --gtest_brief=1 2>/dev/null; then
    status=1
  fi
done

# 2. The same generated inputs through both builds: every output file must match.
tools/compare_builds.sh build/default build/mingw || status=1

# 3. The Windows package.
(cd build/mingw && cpack -G ZIP >/dev/null && ls -l ./*.zip)
exit $status
