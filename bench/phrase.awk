# The bench phrase: random notes of the sung scale of demo/voice.wav (tone k at
# k * 450 ms, steady from 30 ms to 410 ms into it), quarters (400 ms) and
# eighths (212.5 ms) at tempo 160, each overlapping the previous one by 25 ms,
# with a rest now and then. The generator starts from a fixed seed, so every
# run makes the same notes.
#
#   awk -v n=NOTES -v out=OUTFILE -v src=SOURCE -v phrase=FILE
#       [-v exe=SEGMIX -v procs=FILE] [-v floor=FLOOR -v floors=FILE]
#       -f bench/phrase.awk
#
# Writes to phrase one line of segmix parameters per note (for segmix-batch),
# to procs (when given) one command line running exe per note, and to floors
# (when given) one command line running bench/floor.c's program per note.
# Used by bench/phrase_bench.sh and bench/wine_bench.sh.
function rnd(m) { seed = (seed * 69069 + 1) % 4294967296; return int(seed / 65536) % m }
# Frames of t ms at 44100 Hz as the tool counts them, in bytes.
function bytes(t) { return 2 * int(44100 * t / 1000 + 0.5) }
BEGIN {
  seed = 2024
  for (i = 0; i < n; i++) {
    k = rnd(8)
    if (rnd(3) == 0) {
      off = k * 450 + 20 + rnd(10); len = "480@160+25"; ms = 400
      env = "25 50 80 100 85 80 70"; tail = "60 60 85"
    } else {
      off = k * 450 + 20 + rnd(180); len = "240@160+25"; ms = 212.5
      env = "25 35 40 90 80 75 65"; tail = "40 30 80"
    }
    ovr = i == 0 ? 0 : (rnd(16) == 0 ? -162.5 : 25)
    line = out " " src " " off " " len " " env " " ovr " " tail
    print line > phrase
    if (procs != "")
      print "\"" exe "\" " line > procs
    if (floors != "") {
      ov = ovr > 0 ? bytes(ovr) : -bytes(-ovr)
      print "\"" floor "\" " out " " src " " bytes(off + ms) - bytes(off) " " ov > floors
    }
  }
}
