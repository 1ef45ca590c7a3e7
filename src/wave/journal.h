// The journal of a run's commit, <outfile>.jnl. A run writes it whole before
// it changes either file of its output, and removes it once both are written:
// it holds what the run is about to overwrite (the data file's tail from the
// note's position on, the header file as it was) and where the run's bytes go.
// Removing it is the commit: a run that ends with 0 has removed it, and a run
// that finds one undoes the run that left it, which was stopped halfway or
// could not undo its own changes. So a run that ended with -1, or did not end,
// never has its note in the output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "messages.h"
#include "wave/header.h"

// Offsets of the journal's fields, every number a little-endian 32-bit value.
// After the fixed part come the old header file's header_length bytes, then
// the data file's bytes from write_at to data_length, then a checksum (FNV-1a)
// of everything before it.
namespace jnl_off {
inline constexpr std::size_t magic = 0;         // "SJNL"
inline constexpr std::size_t length = 4;        // the journal's length in bytes
inline constexpr std::size_t flags = 8;         // 1: data file created, 2: header file existed
inline constexpr std::size_t data_length = 12;
inline constexpr std::size_t write_at = 16;
inline constexpr std::size_t data_end = 20;
inline constexpr std::size_t header_length = 24;
inline constexpr std::size_t header_new = 28;   // the new header, 44 bytes
inline constexpr std::size_t fixed_bytes = header_new + header_bytes;
} // namespace jnl_off

struct Journal {
    bool data_created = false;       // the data file did not exist before the run
    bool header_existed = false;     // the header file existed before the run
    std::int32_t data_length = 0;    // the data file's length before the run
    std::int32_t write_at = 0;       // where the run's bytes begin in it
    std::int32_t data_end = 0;       // its length once they are all in
    std::int32_t header_length = 0;  // the header file's length before the run
    unsigned char header_new[header_bytes] = {};
    const unsigned char *header_old = nullptr; // its header_length bytes
    const unsigned char *undo = nullptr;       // data_length - write_at bytes from write_at
};

// Writes the journal whole under its scratch name (name.tmp, made anew, never
// through a link), then gives it the name, which must be free. On failure
// removes what was written and reports the operation that failed. Refuses a
// journal of 2 GiB or more, which no later run could read back.
Report write_journal(const std::string &name, const Journal &j);

// The scratch name a journal is written under: a run killed while it writes
// leaves only this, which the next commit replaces.
std::string journal_scratch(const std::string &name);

// Puts the header file, or the data file, back as it was before the run;
// false when a file operation fails.
bool undo_header(const std::string &name, const Journal &j);
bool undo_data(const std::string &name, const Journal &j);

// Deals with a journal left at jnl by an earlier run on this output, which
// was killed or could not put back what it changed: its run is undone and the
// journal removed. A journal that does not fit the output as it now stands
// (the files were replaced since) is removed, with a notice. A file at jnl
// that is not a whole journal is never touched: refused (journal_foreign). A
// failed file operation is refused; the journal then stays. The caller holds
// the output's lock, so no live run is writing the journal.
Said recover_output(const std::string &jnl, const std::string &header, const std::string &data);

// Sets the length field and the checksum of a journal's bytes (at least the
// fixed part and the checksum) so that they match its contents.
void seal_journal(std::span<unsigned char> bytes);
