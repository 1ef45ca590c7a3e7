/* api_loop <phrase-file>
 *
 * Renders a phrase through the C library, one segmix_run_note call per line,
 * in order: the in-process path that bench/phrase_bench.sh compares with one
 * segmix process per note and with segmix-batch. Every line holds the fifteen
 * parameters, separated by single spaces, with no quoting. Exit status 0 when
 * every run returned 0, 1 otherwise.
 */
#include <segmix/segmix.h>

#include <stdio.h>
#include <string.h>

int main(int argc, char **argv)
{
    char line[4096];
    if (argc != 2)
        return 2;
    FILE *in = fopen(argv[1], "r");
    if (!in)
        return 2;
    int failures = 0;
    while (fgets(line, sizeof line, in)) {
        const char *field[15];
        int n = 0;
        for (char *p = strtok(line, " \n"); p && n < 15; p = strtok(NULL, " \n"))
            field[n++] = p;
        if (n != 15) {
            ++failures;
            continue;
        }
        failures += segmix_run_note(field[0], field[1], field[2], field[3], field[4], field[5],
                                    field[6], field[7], field[8], field[9], field[10], field[11],
                                    field[12], field[13], field[14]) != 0;
    }
    fclose(in);
    return failures == 0 ? 0 : 1;
}
