#!/usr/bin/env python3
"""Writes the fuzz targets' seed corpora (corpus/<target>/): small valid and
nearly valid inputs in the targets' field format, so that fuzzing starts from
runs that reach the renderer and the output files."""
import os
import struct

SEP = b"\n~~\n"
HERE = os.path.dirname(os.path.abspath(__file__))


def wav(samples, channels=1, rate=1000, bits=16, fmt_size=16, tag=1, align=None,
        before_data=b"", data_size=None):
    align = align if align is not None else 2 * channels
    body = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    body += bytes(max(0, fmt_size - 16))
    data = b"".join(struct.pack("<h", s) for s in samples)
    size = len(data) if data_size is None else data_size
    rest = b"WAVE" + b"fmt " + struct.pack("<i", fmt_size) + body + before_data
    rest += b"data" + struct.pack("<I", size & 0xffffffff) + data
    return b"RIFF" + struct.pack("<I", len(rest)) + rest


def header(data_bytes, rate=44100):
    return (b"RIFF" + struct.pack("<I", 36 + data_bytes) + b"WAVEfmt " +
            struct.pack("<IHHIIHH", 16, 1, 1, rate, 2 * rate, 2, 16) + b"data" +
            struct.pack("<I", data_bytes))


def write(target, name, fields):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(SEP.join(fields))


ramp = [100 * i - 3000 for i in range(64)]
mono = wav(ramp)
stereo = wav(ramp, channels=2)
long_form = [b"0", b"40", b"5", b"5", b"5", b"100", b"80", b"60", b"40", b"3", b"5", b"5", b"90"]

# source_fuzz: source, then the parameters from offset on.
write("source_fuzz", "short_form", [mono, b"2", b"20", b"3", b"4"])
write("source_fuzz", "long_form", [mono] + long_form)
write("source_fuzz", "stereo_tempo", [stereo, b"0", b"480@120+5", b"1", b"1", b"0", b"100",
                                      b"100", b"0", b"0", b"-4"])
write("source_fuzz", "fmt18_list", [wav(ramp, fmt_size=18, before_data=b"LIST\x04\x00\x00\x00abcd"),
                                    b"0", b"30", b"2", b"2"])
write("source_fuzz", "six_channels_short_data",
      [wav(ramp, channels=6, data_size=4096), b"-5", b"50", b"0", b"0", b"0", b"150", b"150",
       b"0", b"0", b"70"])
write("source_fuzz", "eight_bit", [wav(ramp, bits=8), b"0", b"10", b"0", b"0"])

# run_fuzz: flags, header file, data file, source, journal, samples, parameters.
data40 = b"".join(struct.pack("<h", s) for s in ramp[:20])
write("run_fuzz", "first_note", [b"s", b"", b"", mono, b"", b"-", b"0", b"20", b"2", b"2"])
write("run_fuzz", "overlap", [b"hds", header(40), data40, mono, b"", b"-"] + long_form)
write("run_fuzz", "overlap_longer_than_data",
      [b"hds", header(40), data40, mono, b"", b"22050", b"0", b"10", b"0", b"0", b"0", b"100",
       b"100", b"0", b"0", b"50"])
write("run_fuzz", "gap", [b"hds", header(40), data40, stereo, b"", b"-", b"10", b"10", b"1",
                          b"1", b"0", b"100", b"100", b"0", b"0", b"-7", b"2"])
write("run_fuzz", "data_without_header", [b"ds", b"", data40, mono, b"", b"-", b"0", b"5", b"0", b"0"])
write("run_fuzz", "header_without_data", [b"hs", header(40), b"", mono, b"", b"-", b"0", b"10",
                                          b"0", b"0", b"0", b"100", b"100", b"0", b"0", b"4"])
write("run_fuzz", "empty_header_no_source", [b"hd", b"", data40, b"", b"", b"8000", b"0", b"5",
                                             b"1", b"1"])
write("run_fuzz", "too_few_parameters", [b"hds", header(40), data40, mono, b"", b"-", b"0", b"5"])


def journal(created, existed, data_length, write_at, data_end, header_new, header_old, undo):
    body = (struct.pack("<IIiiii", 0, (1 if created else 0) | (2 if existed else 0), data_length,
                        write_at, data_end, len(header_old)) + header_new + header_old + undo)
    j = bytearray(b"SJNL" + body + bytes(4))
    struct.pack_into("<I", j, 4, len(j))
    h = 2166136261
    for b in j[:-4]:
        h = ((h ^ b) * 16777619) & 0xffffffff
    struct.pack_into("<I", j, len(j) - 4, h)
    return bytes(j)


# Outputs as a run killed during its commit leaves them: the overlapped tail
# already mixed and the note appended, the header not yet rewritten.
mixed = data40[:30] + bytes(10) + bytes(60)
write("run_fuzz", "killed_during_overlap",
      [b"hdsjc", header(40), mixed, mono,
       journal(False, True, 40, 30, 100, header(100), header(40), data40[30:]), b"-",
       b"0", b"5", b"0", b"0"])
write("run_fuzz", "killed_first_note",
      [b"dsjc", b"", bytes(20), mono, journal(True, False, 0, 0, 20, header(20), b"", b""), b"-",
       b"0", b"5", b"0", b"0"])
