#!/usr/bin/env python3
"""Behaviour snapshot: runs a fixed set of scenarios (the demo phrase, a phrase
of every kind of note, and the tables of refused runs) with one build of the
tools and writes everything they did to one log: each command's standard
output and standard error as bytes, its exit status, and every file left in
its folder. Two builds behave the same when their logs are identical, so a
change that must not change behaviour is checked with

    tools/snapshot.py build/default > before.log     # on the old tree
    tools/snapshot.py build/default > after.log      # on the new one
    cmp before.log after.log

With --wine the .exe files of a Windows build run under Wine; its line ends
are folded (CR LF to LF) and its exit status taken modulo 256, so that its log
can also be compared with a Linux build's.
"""
import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def wav(samples, channels=1, rate=1000, bits=16, fmt_size=16, tag=1, align=None,
        before_data=b"", data_size=None):
    align = align if align is not None else 2 * channels
    body = struct.pack("<HHIIHH", tag, channels, rate, (rate * align) & 0xffffffff, align, bits)
    body += bytes(max(0, fmt_size - 16))
    data = b"".join(struct.pack("<h", s) for s in samples)
    size = len(data) if data_size is None else data_size
    rest = b"WAVE" + b"fmt " + struct.pack("<I", fmt_size & 0xffffffff) + body + before_data
    rest += b"data" + struct.pack("<I", size & 0xffffffff) + data
    return b"RIFF" + struct.pack("<I", len(rest)) + rest


def header(data_bytes, rate=44100, riff=None):
    riff = 36 + data_bytes if riff is None else riff
    return (b"RIFF" + struct.pack("<I", riff & 0xffffffff) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, rate, 2 * rate, 2, 16) + b"data" +
            struct.pack("<I", data_bytes & 0xffffffff))


def saw(n, channels=1):
    return [((i * 7919) % 60000) - 30000 for i in range(n * channels)]


RAMP = [100 + i for i in range(1000)]
MONO = wav(RAMP)                                  # 1000 Hz: a millisecond is a frame
LOUD = wav(saw(44100), rate=44100)
STEREO = wav(saw(11025, 2), channels=2, rate=22050)
with open(os.path.join(ROOT, "demo", "voice.wav"), "rb") as f:
    VOICE = f.read()


def patched(b, at, value, width=4):
    b = bytearray(b)
    b[at:at + width] = value.to_bytes(width, "little")
    return bytes(b)


LIST = b"LIST" + struct.pack("<I", 5) + b"abcde\0"
SOURCES = {
    "mono.wav": MONO,
    "loud.wav": LOUD,
    "stereo.wav": STEREO,
    "voice.wav": VOICE,
    "text.wav": b"hello, this is text and no recording\n",
    "avi.wav": MONO[:8] + b"AVI " + MONO[12:],
    "eight.wav": wav([1, 2, 3], bits=8),
    "short.wav": MONO[:40],
    "fmtneg.wav": patched(MONO, 16, 0xfffffff0),
    "fmtbig.wav": patched(MONO, 16, 30),
    "nodata.wav": MONO[:36] + b"junk" + MONO[40:],
    "align0.wav": patched(MONO, 32, 0, 2),
    "stereo2.wav": patched(MONO, 22, 2, 2),
    "negrate.wav": patched(MONO, 24, 0x80000000),
    "listed.wav": wav(RAMP[:100], fmt_size=18, before_data=LIST),
    "datalong.wav": wav(RAMP[:50], data_size=100000),
    "dataneg.wav": wav(RAMP[:50], data_size=0xffffffff),
    "empty.wav": b"",
    "tag3.wav": wav(RAMP[:50], tag=3),
    "six.wav": wav(saw(50, 6), channels=6),
}

LONG = ["0", "100", "100", "0", "0"]  # p3 v1 v2 v3 v4 of a plain long form


def note(out, src, offset, length, ovr="0", *rest):
    return ["segmix", out, src, str(offset), str(length), "2", "3", "4", "90", "80", "70", "60",
            str(ovr), "2", "1", "75"] + list(rest)


# Each scenario: a name, files to make first (name -> bytes, or None for a
# folder), and commands: [env, tool, args...] where env is the value of
# `samples` ("-" leaves it unset).
def scenarios():
    s = []
    demo = []
    with open(os.path.join(ROOT, "demo", "render_phrase.cmake")) as f:
        inside = False
        for line in f:
            line = line.strip()
            if line.startswith("set(phrase"):
                inside = True
            elif inside and line == ")":
                break
            elif inside and line.startswith('"'):
                fields = line.strip('"').split()
                demo.append(["-", "segmix", "phrase", "voice.wav"] + fields[1:])
    notes = "".join(" ".join(cmd[2:]) + "\n" for cmd in demo).encode()
    s.append(("demo phrase", {"phrase.notes": notes, "other.notes": b"x voice.wav 0 10 0 0\n"},
              demo + [["-", "segjoin", "phrase", "phrase.wav"],
                      ["-", "segmix-view", "phrase.notes"],
                      ["-", "segmix-view", "phrase.notes", "-o", "nodir/p.svg"],
                      ["-", "segmix-view", "none.notes"],
                      ["-", "segmix-view", "other.notes"],
                      ["-", "segmix-batch", "--view", "again.svg", "other.notes"]]))

    kinds = [
        ["-", "segmix", "p", "mono.wav", "100", "250", "20", "30"],
        ["-", "segmix", "p", "mono.wav", "300", "200", "10", "20", "30", "80", "100", "60", "50", "40"],
        ["-", "segmix", "p", "mono.wav", "520", "480@150+3", "15", "25", "35", "120", "90", "70", "40", "-15", "20", "10", "95"],
        ["-", "segmix", "p", "loud.wav", "0", "100", "10", "10", "5", "300", "300", "300", "300", "60", "5", "5", "300"],
        ["-", "segmix", "p", "stereo.wav", "200", "150", "30", "30", "20", "100", "100", "80", "80", "25", "10", "10", "100"],
        ["-", "segmix", "p", "mono.wav", "950", "200", "10", "10", "10", "100", "100", "100", "100", "10", "10"],
        ["-", "segmix", "p", "missing.wav", "0", "50", "0", "0"],
        ["-", "segmix", "p", "mono.wav", "10", "30", "5", "5", "5", "100", "100", "100", "100", "5000", "5"],
        ["-", "segmix", "p", "listed.wav", "0", "40", "5", "5"],
        ["-", "segmix", "p", "datalong.wav", "0", "80", "5", "5"],
        ["-", "segmix", "p", "dataneg.wav", "0", "80", "5", "5"],
        ["-", "segmix", "p", "empty.wav", "0", "20", "5", "5"],
        ["-", "segmix", "p", "tag3.wav", "0", "20", "5", "5"],
        ["-", "segmix", "p", "six.wav", "0", "20", "5", "5"],
        ["-", "segmix", "p", "mono.wav", "0", "0", "0", "0"],
        ["-", "segmix", "p", "mono.wav", "-20", "40", "5", "5", "0", "100", "100", "100", "100", "3"],
        ["-", "segmix", "p", "mono.wav", "0", "10", "0", "0", "0", "100", "100", "100", "100", "-2"],
        ["22050", "segmix", "r", "stereo.wav", "0", "300", "50", "50"],
        ["abc", "segmix", "r", "mono.wav", "100", "200", "20", "20", "20", "100", "100", "100", "100", "-30"],
        ["22050Hz", "segmix", "r", "mono.wav", "400", "120", "20", "20", "20", "70", "70", "70", "70", "30", "20", "0", "70"],
        ["-", "segjoin", "p", "p.wav"],
        ["-", "segjoin", "r"],
    ]
    s.append(("every kind of note", {}, kinds))

    # Refused before any file: the argument count, the parameters, samples.
    front = [
        ["-", "segmix"],
        ["-", "segmix", "o", "mono.wav", "0", "10", "0"],
        ["-", "segmix", "o", "mono.wav", "0", "100", "60", "41"],
        ["-", "segmix", "o", "mono.wav", "0", "100", "-1", "0"],
        ["-", "segmix", "o", "mono.wav", "x", "100", "0", "0"],
        ["-", "segmix", "o", "mono.wav", "0", "@120", "0", "0"],
        ["-", "segmix", "o", "mono.wav", "0", "480@0", "0", "0"],
        ["-", "segmix", "o", "mono.wav", "1e306", "1e306", "0", "0"],
        ["-", "segmix", "o", "mono.wav", "0", "100", "10", "10", "10", "1e999", "100", "0", "0"],
        ["-", "segmix", "o", "mono.wav", "0", "100", "0", "0", "0", "100", "100", "0", "0", "1e400"],
        ["-", "segmix", "o", "mono.wav", "0", "100", "10", "10", "10", "100", "100", "0", "0", "0", "80"],
        ["-5", "segmix", "o", "mono.wav", "0", "10", "0", "0"],
        ["2000000000", "segmix", "o", "mono.wav", "0", "10", "0", "0"],
        ["1073741823", "segmix", "o", "missing.wav", "0", "0", "0", "0"],
    ]
    s.append(("refused by the front end", {}, front))

    sources = [["-", "segmix", "o" + str(i), name, "0", "20", "2", "2"]
               for i, name in enumerate(["text.wav", "avi.wav", "eight.wav", "short.wav",
                                         "fmtneg.wav", "fmtbig.wav", "nodata.wav", "align0.wav",
                                         "stereo2.wav", "negrate.wav"])]
    sources.append(["-", "segmix", "big", "mono.wav", "0", "1.1e9", "0", "0"])
    sources.append(["-", "segmix", "big", "mono.wav", "0", "10", "0", "0", "0", "100", "100",
                    "0", "0", "1.1e9"])
    s.append(("refused sources", {}, sources))

    bad = {
        "notriff": b"X" + header(4)[1:],
        "notwave": header(4)[:8] + b"XAVE" + header(4)[12:],
        "tiny": header(4)[:8],
        "twelve": header(4)[:12],
        "negative": patched(header(4), 40, 0xfffffffe),
        "short": header(40),
        "huge": header(0x7ffffff0),
        "riffmin": patched(header(40), 4, 0x80000000),
        "longer": header(4) + b"junk",
        "empty": b"",
    }
    files = {}
    cmds = []
    for name, h in bad.items():
        files[name + ".whd"] = h
        files[name + ".dat"] = bytes([1, 0, 2, 0])
        cmds.append(["-", "segmix", name, "mono.wav", "0", "10", "0", "0", "0", "100", "100",
                     "0", "0", "3" if name in ("short", "riffmin") else "0"])
    files["nodat.whd"] = header(20)
    cmds.append(["-", "segmix", "nodat", "mono.wav", "0", "4", "0", "0", "0", "100", "100", "100",
                 "100", "2"])
    files["onlydat.dat"] = bytes([7, 0, 8, 0])
    cmds.append(["-", "segmix", "onlydat", "mono.wav", "0", "3", "0", "0"])
    s.append(("header files", files, cmds))

    folders = {"d1.dat": None, "d2.whd": None, "d3.jnl": None, "d4.whd": header(0),
               "d4.dat": b"", "d4.jnl": b"notes\n"}
    s.append(("folders and foreign journals", folders, [
        ["-", "segmix", "d1", "mono.wav", "0", "4", "0", "0"],
        ["-", "segmix", "d2", "mono.wav", "0", "4", "0", "0"],
        ["-", "segmix", "d3", "mono.wav", "0", "4", "0", "0"],
        ["-", "segmix", "d4", "mono.wav", "0", "4", "0", "0"],
        ["-", "segmix", "nodir/x", "mono.wav", "0", "4", "0", "0"],
        ["-", "segmix", "mono.wav", "mono.wav", "0", "4", "0", "0"],
        ["-", "segmix", "o", "d1.dat", "0", "4", "0", "0"],
    ]))

    s.append(("segjoin", {"j.whd": b"RIFF", "j.dat": bytes([1, 2]), "k.whd": b"RI"}, [
        ["-", "segjoin"],
        ["-", "segjoin", "a", "b", "c"],
        ["-", "segjoin", "j"],
        ["-", "segjoin", "j", "other.wav"],
        ["-", "segjoin", "none"],
        ["-", "segjoin", "k"],
        ["-", "segjoin", "j", "nodir/x.wav"],
    ]))

    batch = "\n".join([
        "# a batch",
        "a mono.wav 0 20 2 2 0 100 100 100 100 0 2 0 100",
        "'b c' mono.wav\t5 10 1 1   # short form",
        "",
        "a mono.wav 10 \"480@120-5\" 2 2 0 90 80 70 60 5 2 1 75",
        "a mono.wav 0 10 6 5",
        "   ",
        "a mono.wav 0",
        "'b c' mono.wav 30 15 3 3 0 100 100 100 100 -2 3\r",
        "'b c' missing.wav 0 10 0 0",
        "'b c' 'src.wav 0 10 0 0",
        "a mono.wav 0 10 0 \\",
    ]) + "\n"
    s.append(("segmix-batch", {"batch.txt": batch.encode(), "good.txt": b"g mono.wav 0 20 2 2\n# c\n"}, [
        ["-", "segmix-batch", "batch.txt"],
        ["-", "segmix-batch", "good.txt"],
        ["-", "segmix-batch", "none.txt"],
        ["-", "segmix-batch", "a", "b"],
    ]))
    return s


def describe(folder):
    out = []
    for dirpath, dirnames, filenames in os.walk(folder):
        dirnames.sort()
        rel = os.path.relpath(dirpath, folder)
        for d in dirnames:
            out.append("dir  %s" % os.path.normpath(os.path.join(rel, d)))
        for name in sorted(filenames):
            path = os.path.join(dirpath, name)
            with open(path, "rb") as f:
                data = f.read()
            if name in SOURCES and SOURCES[name] == data:
                continue
            what = data.hex() if len(data) <= 96 else "%d bytes sha256 %s" % (
                len(data), hashlib.sha256(data).hexdigest())
            out.append("file %s %s" % (os.path.normpath(os.path.join(rel, name)), what))
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("build", help="the build folder that holds the tools")
    ap.add_argument("--wine", action="store_true", help="run the .exe files under Wine")
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    wine = shutil.which("wine64") or "/usr/lib/wine/wine64"
    log = []
    work = tempfile.mkdtemp(prefix="segmix-snapshot-")
    try:
        for name, files, commands in scenarios():
            log.append("### " + name)
            folder = os.path.join(work, name.replace(" ", "_"))
            os.makedirs(folder)
            for n, data in SOURCES.items():
                with open(os.path.join(folder, n), "wb") as f:
                    f.write(data)
            for n, data in files.items():
                path = os.path.join(folder, n)
                if data is None:
                    os.makedirs(path)
                else:
                    with open(path, "wb") as f:
                        f.write(data)
            for cmd in commands:
                env = dict(os.environ)
                env.pop("samples", None)
                if cmd[0] != "-":
                    env["samples"] = cmd[0]
                tool = os.path.join(build, cmd[1] + (".exe" if args.wine else ""))
                argv = ([wine] if args.wine else []) + [tool] + cmd[2:]
                r = subprocess.run(argv, cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                out, err = r.stdout, r.stderr
                if args.wine:
                    out, err = out.replace(b"\r\n", b"\n"), err.replace(b"\r\n", b"\n")
                # Timings in the batch summary differ from run to run.
                err = b"\n".join(l.rsplit(b", ", 1)[0] if l.startswith(b"segmix-batch: ") and
                                 l.endswith(b" s") else l for l in err.split(b"\n"))
                log.append("> %s %s" % (cmd[0], " ".join(cmd[1:])))
                log.append("  out " + repr(out))
                log.append("  err " + repr(err))
                log.append("  = %d" % (r.returncode % 256))
            log.extend("  " + line for line in describe(folder))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    sys.stdout.write("\n".join(log) + "\n")


if __name__ == "__main__":
    main()
