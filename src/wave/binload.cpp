#include "wave/binload.h"

Loaded binload(const char *path)
{
    WholeFile w = read_whole_file(path);
    Loaded l;
    switch (w.got) {
    case Got::read:
        if (w.block.size == 0) {
            l.load = Load::failed;
            l.report = report(Code::read_binload);
            return l;
        }
        l.load = Load::ok;
        l.block = std::move(w.block);
        return l;
    case Got::missing:
        l.load = Load::missing;
        return l;
    case Got::too_large:
        l.load = Load::failed;
        l.report = report(Code::large_binload);
        return l;
    case Got::no_memory:
        // A passing shortage, not a property of the file: taking the file for
        // missing would turn a note into silence or restart the output.
        l.report = report(Code::malloc_binload);
        return l;
    case Got::irregular:
        l.report = report(Code::not_regular, path);
        return l;
    case Got::unopenable:
    case Got::failed:
        break;
    }
    l.report = failure(w.op, path, w.error);
    return l;
}
