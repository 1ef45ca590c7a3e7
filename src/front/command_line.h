// The command line of a tool, as UTF-8 strings.
#pragma once

#include <string>
#include <vector>

// The command line as UTF-8 strings: on Windows taken wide from the system
// (the char argv there is already ANSI, with '?' for what the code page
// lacks); elsewhere argv itself.
class CommandLine {
public:
    CommandLine(int argc, char **argv);
    int argc() const { return static_cast<int>(pointers_.size()); }
    const char *const *argv() const { return pointers_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<const char *> pointers_;
};
