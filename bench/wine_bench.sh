#!/usr/bin/env bash
# What a run costs on Windows, as far as Wine can tell: the bench phrase of
# bench/phrase_bench.sh (1000 notes over demo/voice.wav, bench/phrase.awk)
# rendered by the Windows build under Wine
#   (a) as one segmix.exe process per note, started from a shell script, one
#       `wine segmix.exe ...` a note,
#   (a') as one segmix.exe process per note, started from a cmd.exe batch
#       file inside Wine (as a Windows program starts another),
#   (b) by segmix-batch.exe in one process,
# checked to give identical files and standard output, against
#   nothing: one bench/nothing.c process per note (MinGW-w64, linked
#            statically as the tools are), with the same arguments, started
#            both ways: what starting any process costs there.
#
#   bench/wine_bench.sh [BUILD_DIR]      (default build/windows)
#
# Builds segmix.exe and segmix-batch.exe in BUILD_DIR (an existing build tree
# configured with the windows preset), cross-compiles nothing.c with
# MINGW_CC (default x86_64-w64-mingw32-gcc-posix), and prints per-note costs
# and ratios. Runs in the Wine prefix WINEPREFIX (Wine's default when unset);
# WINE and WINESERVER name Wine's programs. Each figure is the best of
# WINE_BENCH_REPEAT rounds (default 3); WINE_BENCH_NOTES sets the number of
# notes (default 1000). Not part of ctest. Wine starts a process in its own
# way, not as Windows does: the figures are Wine's, and only their ratios say
# something about Windows.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/windows}" && pwd)
notes=${WINE_BENCH_NOTES:-1000}
repeat=${WINE_BENCH_REPEAT:-3}
mingw_cc=${MINGW_CC:-x86_64-w64-mingw32-gcc-posix}
source_wav=$root/demo/voice.wav
[ -f "$build/CMakeCache.txt" ] || { echo "wine_bench: $build is not a configured build tree" >&2; exit 2; }
[ -f "$source_wav" ] || { echo "wine_bench: $source_wav is missing" >&2; exit 2; }

wine=${WINE:-}
if [ -z "$wine" ]; then
  if [ -x /usr/lib/wine/wine64 ]; then wine=/usr/lib/wine/wine64; else wine=$(command -v wine64 || command -v wine); fi
fi
wineserver=${WINESERVER:-}
if [ -z "$wineserver" ]; then
  if [ -x /usr/lib/wine/wineserver64 ]; then wineserver=/usr/lib/wine/wineserver64; else wineserver=$(command -v wineserver); fi
fi
export WINEDEBUG=${WINEDEBUG:--all}
unset DISPLAY samples

work=$(mktemp -d "${TMPDIR:-/tmp}/wine-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "building in $build ..." >&2
cmake --build "$build" -j2 --target segmix segmix-batch >/dev/null
[ -f "$build/segmix.exe" ] || { echo "wine_bench: $build is not a Windows build (cmake --preset windows)" >&2; exit 2; }
cp "$build/segmix.exe" "$build/segmix-batch.exe" "$work/"
# shellcheck disable=SC2086
"$mingw_cc" -std=c11 -O2 -Wall -Wextra -Wpedantic -Werror -static "$root/bench/nothing.c" -o "$work/nothing.exe"
cp "$source_wav" "$work/src.wav"

# A server that stays up 10 s after the last process (unless one runs
# already), and Wine's own processes started before any timing.
"$wineserver" -p10 2>/dev/null || true
(cd "$work" && "$wine" nothing.exe >/dev/null 2>&1)

# Every method runs in $work with relative names, so that all see the same
# arguments. NAME.phrase: the parameters (for segmix-batch.exe); NAME.sh and
# NAME.bat: one segmix.exe process a note, from the shell and from cmd.exe;
# NAME_nothing.sh and NAME_nothing.bat: nothing.exe started the same ways.
# (Wine's cmd.exe takes a batch file named cmd.<anything>.bat for cmd.bat.)
make_phrase() { # name
  local name=$1
  awk -v n="$notes" -v out="$name" -v src=src.wav -v phrase="$work/$name.phrase" \
    -f "$root/bench/phrase.awk"
  awk -v wine="$wine" '{ print "\"" wine "\" segmix.exe " $0 }' "$work/$name.phrase" >"$work/$name.sh"
  awk -v wine="$wine" '{ print "\"" wine "\" nothing.exe " $0 }' "$work/$name.phrase" >"$work/${name}_nothing.sh"
  awk 'BEGIN { printf "@echo off\r\n" } { printf "segmix.exe %s\r\n", $0 }' "$work/$name.phrase" >"$work/$name.bat"
  awk 'BEGIN { printf "@echo off\r\n" } { printf "nothing.exe %s\r\n", $0 }' "$work/$name.phrase" >"$work/${name}_nothing.bat"
}

now() { date +%s%N; }
# timed NAME COMMAND...: runs COMMAND once in $work from a fresh output NAME,
# keeps its standard output in $work/NAME.out, and keeps in t_NAME the shortest
# time so far (ns). The rounds go through all the methods in turn.
timed() {
  local name=$1 t0 t1 t var
  shift
  var=t_$name
  rm -f "$work/$name.whd" "$work/$name.dat"
  t0=$(now)
  (cd "$work" && "$@" >"$work/$name.out" 2>"$work/$name.err") ||
    { echo "wine_bench: $name failed" >&2; cat "$work/$name.err" >&2; exit 1; }
  t1=$(now)
  t=$((t1 - t0))
  if [ "${!var:-0}" -eq 0 ] || [ "$t" -lt "${!var}" ]; then printf -v "$var" %s "$t"; fi
}
per_note() { awk -v ns="$1" -v n="$notes" 'BEGIN { printf "%.0f", ns / n / 1000 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

for name in shell child batch; do make_phrase "$name"; done

for _ in $(seq "$repeat"); do
  timed shell sh "$work/shell.sh"
  timed nothing_shell sh "$work/shell_nothing.sh"
  timed child "$wine" cmd /c child.bat
  timed nothing_child "$wine" cmd /c child_nothing.bat
  timed batch "$wine" segmix-batch.exe batch.phrase
done

# (a), (a') and (b) must agree byte for byte: both files and standard output.
for name in child batch; do
  for part in whd dat out; do
    cmp -s "$work/shell.$part" "$work/$name.$part" ||
      { echo "wine_bench: $name.$part differs from one process per note" >&2; exit 1; }
  done
done
[ -s "$work/shell.dat" ] || { echo "wine_bench: the runs wrote nothing" >&2; exit 1; }

model=$(lscpu | sed -n 's/^Model name: *//p' | head -n 1)
echo "machine: ${model:-unknown}, $(nproc) cores; $("$wine" --version); $notes notes"
printf '%-58s %8s us/note\n' \
  "(a) one segmix.exe process per note, from a shell" "$(per_note "$t_shell")" \
  "    nothing.exe, the same way" "$(per_note "$t_nothing_shell")" \
  "(a') one segmix.exe process per note, from cmd.exe" "$(per_note "$t_child")" \
  "    nothing.exe, the same way" "$(per_note "$t_nothing_child")" \
  "(b) segmix-batch.exe" "$(per_note "$t_batch")"
echo "(a) / nothing: $(ratio "$t_shell" "$t_nothing_shell"); (a') / nothing: $(ratio "$t_child" "$t_nothing_child")"
echo "(a) / (b): $(ratio "$t_shell" "$t_batch")x; (a') / (b): $(ratio "$t_child" "$t_batch")x"
echo "identical files and standard output from (a), (a') and (b)"
