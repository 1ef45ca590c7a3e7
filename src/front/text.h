// Text between the tools and the system: inside, every name is UTF-8. On
// Windows the command line arrives as wide strings, a batch file may be in
// the ANSI code page, and a console or a pipe expects its own code page; on
// other systems names are bytes, passed on as they are.
#pragma once

#include <cstdio>
#include <string>

// A name as it is printed on out: on Windows in the console's output code
// page when out is a console, else in the ANSI code page, so that a program
// reading a pipe gets the name as it gave it (what a code page lacks shows as
// '?'); elsewhere the name's own bytes.
std::string shown_name(std::FILE *out, const std::string &name);

// Makes a line of a batch file UTF-8: on Windows a line that is not valid
// UTF-8 is read in the ANSI code page, as older programs write; elsewhere, and
// for a UTF-8 line, it stays as it is.
void line_to_utf8(std::string *line);

// Whether bytes are valid UTF-8.
bool is_utf8(const std::string &bytes);

#ifdef _WIN32
// Text between a code page and UTF-16.
std::wstring wide_of(const std::string &text, unsigned code_page);
std::string narrow_of(const std::wstring &wide, unsigned code_page);
#endif
