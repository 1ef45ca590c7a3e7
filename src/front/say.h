// Printing what the layers report: every tool's spine prints through here, from
// the one message table.
#pragma once

#include <cstdio>
#include <string>

#include "messages.h"

// Prints a report's line: its message with the operation and the file in place
// of the "%s" it holds, byte for byte as given. Nothing for Code::ok.
void say(std::FILE *out, const Report &r);

// The line say prints, as a string.
std::string said(const Report &r);
