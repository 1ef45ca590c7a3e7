/* floor <outfile> <infile> <note_bytes> <overlap_bytes>
 *
 * The file work that one segmix run cannot avoid, and nothing else: the lower
 * bound that bench/phrase_bench.sh compares a segmix process with. It reads the
 * source whole into one block (a run renders from all of it), reads the 44-byte
 * header file, reads back the last overlap_bytes bytes of the data file and
 * cuts them off (or, for a negative overlap_bytes, writes that many zero bytes
 * of gap), appends note_bytes bytes (the overlap read back, then zeros), and
 * rewrites the header's two size fields. It neither parses a note nor renders
 * one, checks nothing it is not forced to, and prints nothing.
 */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void put_le32(unsigned char *p, unsigned long v)
{
    p[0] = (unsigned char)v;
    p[1] = (unsigned char)(v >> 8);
    p[2] = (unsigned char)(v >> 16);
    p[3] = (unsigned char)(v >> 24);
}

static unsigned long get_le32(const unsigned char *p)
{
    return (unsigned long)p[0] | (unsigned long)p[1] << 8 | (unsigned long)p[2] << 16 |
           (unsigned long)p[3] << 24;
}

int main(int argc, char **argv)
{
    char header_name[600], data_name[600];
    unsigned char header[44] = {0};
    if (argc != 5 || strlen(argv[1]) > 555)
        return 2;
    snprintf(header_name, sizeof header_name, "%s.whd", argv[1]);
    snprintf(data_name, sizeof data_name, "%s.dat", argv[1]);
    const long note = atol(argv[3]);
    long overlap = atol(argv[4]);

    /* The source, whole. */
    FILE *f = fopen(argv[2], "rb");
    if (!f || fseek(f, 0, SEEK_END) != 0)
        return 1;
    const long source_bytes = ftell(f);
    unsigned char *source = malloc(source_bytes > 0 ? (size_t)source_bytes : 1);
    rewind(f);
    if (!source || fread(source, 1, (size_t)source_bytes, f) != (size_t)source_bytes)
        return 1;
    fclose(f);

    /* The header file: opened once, read, and rewritten at the end. */
    FILE *h = fopen(header_name, "r+b");
    const int fresh = h == NULL;
    if (fresh) {
        h = fopen(header_name, "wb");
        memcpy(header, "RIFF", 4);
        memcpy(header + 8, "WAVEfmt ", 8);
        memcpy(header + 36, "data", 4);
        overlap = 0;
    } else if (fread(header, 1, 44, h) != 44) {
        return 1;
    }
    if (!h)
        return 1;

    /* The data file: the overlap read back and cut, then the note appended. */
    FILE *d = fopen(data_name, fresh ? "w+b" : "r+b");
    if (!d || fseek(d, 0, SEEK_END) != 0)
        return 1;
    const long length = ftell(d);
    const long buffer_bytes = note > overlap ? note : overlap;
    unsigned char *buffer = calloc(buffer_bytes > 0 ? (size_t)buffer_bytes : 1, 1);
    if (!buffer)
        return 1;
    long data = (long)get_le32(header + 40);
    if (overlap > 0 && overlap <= length) {
        if (fseek(d, length - overlap, SEEK_SET) != 0 ||
            fread(buffer, 1, (size_t)overlap, d) != (size_t)overlap)
            return 1;
        fflush(d);
        if (ftruncate(fileno(d), length - overlap) != 0 || fseek(d, length - overlap, SEEK_SET) != 0)
            return 1;
        data -= overlap;
    } else if (overlap < 0) {
        static const unsigned char zeros[4096];
        for (long left = -overlap; left > 0; left -= 4096) {
            const size_t n = left < 4096 ? (size_t)left : sizeof zeros;
            if (fwrite(zeros, 1, n, d) != n)
                return 1;
        }
        data += -overlap;
    }
    if (fwrite(buffer, 1, (size_t)buffer_bytes, d) != (size_t)buffer_bytes || fclose(d) != 0)
        return 1;
    data += buffer_bytes;

    put_le32(header + 4, (unsigned long)(data + 36));
    put_le32(header + 40, (unsigned long)data);
    rewind(h);
    if (fwrite(header, 1, 44, h) != 44 || fclose(h) != 0)
        return 1;
    free(buffer);
    free(source);
    return 0;
}
