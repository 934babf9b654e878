#!/usr/bin/env bash
# Builds the libFuzzer targets (the "fuzz" preset, clang), makes their seed
# corpora with gen_seeds, and runs every target for a fixed time from its
# seeds. Any crash, sanitizer report, leak or timeout fails the script; the
# input that caused it is kept as <build dir>/artifacts/<target>-crash-...
#
#   .ci/fuzz.sh [seconds per target, default 60] [build dir, default build/fuzz]
set -euo pipefail
cd "$(dirname "$0")/.."

budget="${1:-60}"
build="${2:-build/fuzz}"

if [ "$build" = "build/fuzz" ]; then
  cmake --preset fuzz
else
  cmake --preset fuzz -B "$build"
fi
cmake --build "$build" -j2

# The targets work in a scratch folder of their own, so every path they are
# given must be absolute.
build="$(cd "$build" && pwd)"
seeds="$build/seeds"
rm -rf "$seeds"
"$build/tools/gen_seeds" "$seeds"
mkdir -p "$build/artifacts"
# Each run writes its input files; a memory file system makes that cheaper.
if [ -z "${KIT_FUZZ_TMP:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export KIT_FUZZ_TMP=/dev/shm
fi

# Longest input per target: room for the seeds to grow, and for the line list
# tools a line longer than one 8999-byte read.
declare -A max_len=(
  [stream_fuzz]=4096
  [symspill_fuzz]=8192
  [symfold_fuzz]=16384
  [arcspill_fuzz]=8192
  [linespill_fuzz]=12288
  [linefold_fuzz]=12288
)

failed=()
for target in stream_fuzz symspill_fuzz symfold_fuzz arcspill_fuzz linespill_fuzz linefold_fuzz; do
  bin="$build/fuzz/$target"
  if [ ! -x "$bin" ]; then
    echo "== $target: not built (its program is not in the tree yet)"
    continue
  fi
  corpus="$build/corpus/$target"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  log="$build/artifacts/$target.log"
  echo "== $target: ${budget}s"
  # -malloc_limit_mb: no input of at most 16 KB justifies a larger single
  # allocation than that (the stream buffers take 256 KB).
  if "$bin" -max_total_time="$budget" -max_len="${max_len[$target]}" -timeout=10 \
      -rss_limit_mb=2048 -malloc_limit_mb=16 -print_final_stats=1 \
      -artifact_prefix="$build/artifacts/$target-" "$corpus" "$seeds/$target" >"$log" 2>&1; then
    grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true
    grep -E 'stat::(number_of_executed_units|average_exec_per_sec)' "$log" || true
    echo "corpus: $(find "$corpus" -type f | wc -l) inputs"
  else
    echo "FAILED: $target (log: $log)"
    grep -E 'ERROR|SUMMARY|Test unit written' "$log" || tail -30 "$log"
    failed+=("$target")
  fi
done

if ((${#failed[@]})); then
  echo "fuzzing found problems in: ${failed[*]}"
  exit 1
fi
echo "fuzzing: no findings"
