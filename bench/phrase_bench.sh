#!/usr/bin/env bash
# Phrase benchmark: a 1000-note phrase over demo/voice.wav, rendered
#   (a) as one segmix process per note, from a shell script,
#   (b) by segmix-batch in one process,
#   (c) through the C library, one segmix_run_note call per note (bench/api_loop.c),
# checked to give identical files and standard output, against
#   floor: one bench/floor.c process per note, doing only the file work that a
#          run cannot avoid (read the source, read back and cut the overlap,
#          append, rewrite the header);
# and the cost of a note appended to an output that already holds 1 GiB,
# against an empty one (a sparse data file; removed at the end).
#
#   bench/phrase_bench.sh [BUILD_DIR]      (default build/default)
#
# Builds segmix, segjoin, segmix-batch and the libraries in BUILD_DIR (an
# existing, configured build tree), installs them into a temporary prefix,
# compiles the two C programs with cc, and prints per-note costs and ratios.
# Each figure is the best of PHRASE_BENCH_REPEAT rounds (default 5);
# PHRASE_BENCH_NOTES sets the number of notes (default 1000). Not part of ctest.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/default}" && pwd)
notes=${PHRASE_BENCH_NOTES:-1000}
repeat=${PHRASE_BENCH_REPEAT:-5}
source_wav=$root/demo/voice.wav
[ -f "$build/CMakeCache.txt" ] || { echo "phrase_bench: $build is not a configured build tree" >&2; exit 2; }
[ -f "$source_wav" ] || { echo "phrase_bench: $source_wav is missing" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/phrase-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
case $work in *[!A-Za-z0-9_./-]*) echo "phrase_bench: unusual characters in $work" >&2; exit 2 ;; esac

echo "building in $build ..." >&2
cmake --build "$build" -j2 --target segmix segjoin segmix-batch segmix_static segmix_shared >/dev/null
cmake --install "$build" --prefix "$work/prefix" >/dev/null
bin=$work/prefix/bin
cflags="-std=c11 -O2 -ffp-contract=off -Wall -Wextra -Wpedantic -Wconversion -Werror"
export PKG_CONFIG_PATH=$(dirname "$(find "$work/prefix" -name segmix.pc | head -n 1)")
if command -v pkg-config >/dev/null; then
  api_flags="$(pkg-config --cflags segmix) $(pkg-config --libs segmix)"
else
  api_flags="-I$work/prefix/include -L$(dirname "$(find "$work/prefix" -name 'libsegmix.so' | head -n 1)") -lsegmix"
fi
libdir=$(dirname "$(find "$work/prefix" -name 'libsegmix.so' | head -n 1)")
# shellcheck disable=SC2086
cc $cflags "$root/bench/api_loop.c" -o "$work/api_loop" $api_flags -Wl,-rpath,"$libdir"
# The floor is linked statically, as the tools are, so both start alike.
# shellcheck disable=SC2086
cc $cflags -static "$root/bench/floor.c" -o "$work/floor"
cp "$source_wav" "$work/src.wav"
unset samples

# The phrase (bench/phrase.awk): OUT.phrase (parameters, for segmix-batch and
# api_loop), OUT.sh (one segmix process per note) and OUT.floor.sh (one floor
# process per note).
make_phrase() { # out
  awk -v n="$notes" -v out="$1" -v src="$work/src.wav" -v exe="$bin/segmix" -v floor="$work/floor" \
      -v phrase="$1.phrase" -v procs="$1.sh" -v floors="$1.floor.sh" -f "$root/bench/phrase.awk"
}

now() { date +%s%N; }
# timed NAME COMMAND...: runs COMMAND once from a fresh output $work/NAME (made
# by $prepare when set), keeps its standard output in $work/NAME.out, and keeps
# in t_NAME the shortest time so far (ns). The rounds go through all the
# methods in turn, so that a burst of load on the machine spreads over them.
timed() {
  local name=$1 t0 t1 t var
  shift
  var=t_$name
  rm -f "$work/$name.whd" "$work/$name.dat"
  [ -z "${prepare:-}" ] || "$prepare" "$work/$name"
  t0=$(now)
  "$@" >"$work/$name.out" 2>"$work/$name.err" || { echo "phrase_bench: $name failed" >&2; cat "$work/$name.err" >&2; exit 1; }
  t1=$(now)
  t=$((t1 - t0))
  if [ "${!var:-0}" -eq 0 ] || [ "$t" -lt "${!var}" ]; then printf -v "$var" %s "$t"; fi
}
per_note() { awk -v ns="$1" -v n="$notes" 'BEGIN { printf "%.1f", ns / n / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

for name in procs batch api floor empty big; do make_phrase "$work/$name"; done

for _ in $(seq "$repeat"); do
  timed procs sh "$work/procs.sh"
  timed batch "$bin/segmix-batch" "$work/batch.phrase"
  timed api "$work/api_loop" "$work/api.phrase"
  timed floor sh "$work/floor.floor.sh"
done

# (a), (b) and (c) must agree byte for byte: both files and standard output.
for name in batch api; do
  for part in whd dat out; do
    cmp -s "$work/procs.$part" "$work/$name.$part" ||
      { echo "phrase_bench: $name.$part differs from one process per note" >&2; exit 1; }
  done
done

# A note appended to an output that already holds 1 GiB: a header that says
# so and a sparse data file of that length, against a fresh output. Both
# through segmix-batch, where the cost of the note itself is not hidden by the
# cost of starting a process.
le32() { printf '\\x%02x\\x%02x\\x%02x\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
gib=1073741824
one_gib_output() { # base
  # shellcheck disable=SC2059
  printf "RIFF$(le32 $((gib + 36)))WAVEfmt $(le32 16)\\x01\\x00\\x01\\x00$(le32 44100)$(le32 88200)\\x02\\x00\\x10\\x00data$(le32 $gib)" >"$1.whd"
  truncate -s "$gib" "$1.dat"
}
for _ in $(seq "$repeat"); do
  timed empty "$bin/segmix-batch" "$work/empty.phrase"
  prepare=one_gib_output timed big "$bin/segmix-batch" "$work/big.phrase"
done
big_bytes=$(stat -c %s "$work/big.dat")
empty_bytes=$(stat -c %s "$work/empty.dat")
[ "$big_bytes" -eq $((gib + empty_bytes)) ] || { echo "phrase_bench: the 1 GiB output did not grow as the empty one" >&2; exit 1; }
rm -f "$work/big.dat"

model=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
kib=$(awk -v b="$empty_bytes" -v n="$notes" 'BEGIN { printf "%.1f", b / n / 1024 }')
echo "machine: ${model:-unknown}, $(nproc) cores; $notes notes, $kib KiB of samples per note"
printf '%-46s %10s us/note\n' \
  "(a) one segmix process per note" "$(per_note "$t_procs")" \
  "(b) segmix-batch" "$(per_note "$t_batch")" \
  "(c) C API, segmix_run_note in a loop" "$(per_note "$t_api")" \
  "floor: one floor process per note" "$(per_note "$t_floor")" \
  "segmix-batch onto an empty output" "$(per_note "$t_empty")" \
  "segmix-batch onto an output holding 1 GiB" "$(per_note "$t_big")"
echo "(a) / (b): $(ratio "$t_procs" "$t_batch")x (target at least 20)"
echo "(a) / (c): $(ratio "$t_procs" "$t_api")x"
echo "(a) / floor: $(ratio "$t_procs" "$t_floor") (target at most 1.3)"
echo "1 GiB / empty: $(ratio "$t_big" "$t_empty") (target at most 1.1)"
echo "identical files and standard output from (a), (b) and (c)"
