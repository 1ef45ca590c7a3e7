/* nothing: a program that starts and ends at once, returning 0.
 *
 * bench/wine_bench.sh cross-compiles it with MinGW-w64 and links it statically,
 * as the tools are, and starts it once per note as it starts segmix.exe: what
 * it costs is what starting any process costs there, the floor that one
 * segmix.exe process per note is compared with. */
int main(void)
{
    return 0;
}
