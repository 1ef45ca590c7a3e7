/* consumer <folder>: runs notes and a join through the installed library, in
 * C, and prints "ok" when every result is the expected one. */
#include <segmix/segmix.h>

#include <stdio.h>
#include <string.h>

static int failures = 0;

static void expect(int got, int want, const char *what)
{
    if (got != want) {
        fprintf(stderr, "%s: %d, expected %d\n", what, got, want);
        ++failures;
    }
}

static void put_le32(unsigned char *p, unsigned long v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = (unsigned char)(v >> (8 * i));
}

/* A 16-bit mono source of 441 samples (10 ms at 44100 Hz). */
static int write_source(const char *path)
{
    unsigned char wav[44 + 882];
    memcpy(wav, "RIFF\0\0\0\0WAVEfmt \x10\0\0\0\x01\0\x01\0\x44\xac\0\0\x88\x58\x01\0\x02\0\x10\0data",
           40);
    put_le32(wav + 4, sizeof wav - 8);
    put_le32(wav + 40, 882);
    for (int i = 0; i < 441; ++i) {
        const int v = (i * 97) % 2001 - 1000;
        wav[44 + 2 * i] = (unsigned char)(v & 0xff);
        wav[45 + 2 * i] = (unsigned char)((v >> 8) & 0xff);
    }
    FILE *f = fopen(path, "wb");
    if (!f)
        return 0;
    const size_t n = fwrite(wav, 1, sizeof wav, f);
    return fclose(f) == 0 && n == sizeof wav;
}

int main(int argc, char **argv)
{
    char src[1024], out[1024], whd[1040], dat[1040], wav[1040], missing[1040];
    if (argc != 2 || strlen(argv[1]) > 900)
        return 2;
    snprintf(src, sizeof src, "%s/src.wav", argv[1]);
    snprintf(out, sizeof out, "%s/out", argv[1]);
    snprintf(whd, sizeof whd, "%s.whd", out);
    snprintf(dat, sizeof dat, "%s.dat", out);
    snprintf(wav, sizeof wav, "%s.wav", out);
    snprintf(missing, sizeof missing, "%s/missing", argv[1]);
    remove(whd);
    remove(dat);
    if (!write_source(src))
        return 2;

    /* 10 ms, all fifteen parameters: 441 samples. */
    expect(segmix_run_note(out, src, "0", "10", "2", "2", "0", "100", "100", "100", "100", "0",
                           "2", "0", "100"),
           0, "segmix_run_note");
    /* 5 ms in the short form, as a command line: 221 samples. */
    const char *note[] = {"segmix", out, src, "0", "5", "1", "1"};
    expect(segmix_run(7, note), 0, "segmix_run");
    /* Too few parameters: the usage line and -1. */
    expect(segmix_run(3, note), -1, "segmix_run with two parameters");
    /* The header and the 662 samples make one WAVE file. */
    expect(segmix_join(whd, dat, wav), 44 + 2 * (441 + 221), "segmix_join");
    expect(segmix_join(missing, dat, wav), -2, "segmix_join of a missing file");
    /* What a run found out: a missing source is a rest, at gains of 4000 %
     * the source's loudest samples clip. */
    segmix_result r;
    const char *rest[] = {"segmix", out, missing, "0", "5", "1", "1"};
    expect(segmix_run_ex(7, rest, &r), 0, "segmix_run_ex");
    expect(r.silent, 1, "segmix_run_ex: silent");
    expect(r.output_rate, 44100, "segmix_run_ex: output_rate");
    const char *loud[] = {"segmix", out, src, "0", "10", "0", "0", "0", "4000", "4000", "4000", "4000"};
    expect(segmix_run_ex(12, loud, &r), 0, "segmix_run_ex, loud");
    expect(r.silent, 0, "segmix_run_ex: not silent");
    expect(r.source_rate, 44100, "segmix_run_ex: source_rate");
    expect(r.clipped_samples > 0, 1, "segmix_run_ex: clipped");
    expect(segmix_version()[0] >= '0' && segmix_version()[0] <= '9', 1, "segmix_version");

    if (failures == 0)
        printf("ok\n");
    return failures == 0 ? 0 : 1;
}
