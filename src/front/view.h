// segmix-view: the picture of a phrase. It reads a notes file in segmix-batch's
// line format, plans every line as its run would (read_note_args, load_source,
// plan_note), places the notes as the runs placed them, and draws the output
// that the lines name into one SVG. It renders nothing and changes no file but
// the SVG.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "view/svg.h"

// What the picture shows, read from the notes, the sources and the output, or
// why there is none (error holds the line to print).
struct PhraseRead {
    std::string error;
    std::string svg_path; // <outfile>.svg
    view::Picture picture;
};

// Everything view_phrase draws. Lines with fewer words than a run's six
// parameters are listed as changing nothing; every other line must name the
// same outfile, spelled the same way.
// The names in error are as shown_on shows them, when it is given, else as
// they are (UTF-8).
PhraseRead read_phrase(const char *notes_path, std::FILE *shown_on = nullptr);
// The same for notes already read (from standard input, say); notes_name is
// what the messages call them.
PhraseRead read_phrase_text(std::string_view notes, const char *notes_name,
                            std::FILE *shown_on = nullptr);

// Writes the picture of the phrase in notes_path into svg_path, or into
// <outfile>.svg when svg_path is null. Its own lines go to err. Returns 0 when
// the picture was written, 1 when it was not (the notes, the sources or the
// output cannot be read, the notes name several outfiles or none, the SVG
// cannot be written). Never throws.
int view_phrase(const char *notes_path, const char *svg_path, std::FILE *err) noexcept;

// view_phrase for notes already read, as segmix-batch holds them after its
// runs; notes_name is what the messages call them ("-" for standard input).
int view_notes(std::string_view notes, const char *notes_name, const char *svg_path,
               std::FILE *err) noexcept;

// segmix-view NOTES [-o FILE.svg]: view_phrase, or 2 with the usage line on err
// for a wrong command line; --help and --version, as the only argument, print
// on out.
int view_main(int argc, const char *const *argv, std::FILE *out, std::FILE *err) noexcept;
