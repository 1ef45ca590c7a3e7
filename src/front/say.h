// Printing what the layers report: every tool's spine prints through here, from
// the one message table.
#pragma once

#include <cstdio>
#include <string>

#include "messages.h"

// Prints a report's line: its message with the operation and the file in place
// of the "%s" it holds (control characters of the name escaped, so that the
// line stays one line) and, for a failed operation, the system's reason after
// a colon. Nothing for Code::ok.
void say(std::FILE *out, const Report &r);

// The line say prints, as a string: its name as shown on shown_on, or as it
// is (UTF-8) when that is null, for text that goes elsewhere, such as a
// picture.
std::string said(const Report &r, std::FILE *shown_on = nullptr);

// The system's text for an error number ("No such file or directory").
std::string reason_of(int error);
