// Output files: the existence test and the console overwrite question, buffered writing
// with every write checked, and the replacement of an earlier file only by a complete one.
//
// A regular file (or a file that does not exist yet) is written under a temporary name in
// the same directory and renamed over the target once every byte is written and the file
// is closed; on any failure the temporary file is removed and the target stays as it was.
// A target that is a symbolic link or not a regular file (a device, a FIFO), or one whose
// directory does not take a temporary file, is written in place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct output_file {
    std::FILE* stream = nullptr;
    bool owns_stream = false;      // opened here (closed by close_output_file)
    std::string target;            // the path as given
    std::string temporary;         // renamed over the target when complete; empty: written in place
    std::vector<uint8_t> buffer;   // pending bytes; its capacity is kept from file to file
    size_t used = 0;
    bool failed = false;           // a write failed
};

// Bytes handed to the stream at a time. Pieces are whole multiples of the stream's own
// buffer (counted from the start of the file), so the stream passes them straight on in one
// write each; only the tail of a file stays in the stream's buffer until it is closed.
constexpr size_t output_piece_bytes = size_t{1} << 18;
constexpr size_t output_block_bytes = 4096;

// Asks before replacing an existing `path` unless `overwrite` is set, then creates the file
// (or its temporary stand-in). 0; or -1 after "error: open '%s'\n", or silently when the
// user declines.
int open_output_file(output_file& out, const char* path, bool overwrite);
// Writes through `out` to a stream the caller opened and closes.
int attach_output_stream(output_file& out, std::FILE* stream);

// Room for `bytes` more bytes at the end of the pending ones, flushing them first when
// needed; null once a write has failed or when memory runs out. `commit_output` then counts
// the bytes filled in.
uint8_t* reserve_output(output_file& out, size_t bytes);
inline void commit_output(output_file& out, size_t bytes) { out.used += bytes; }
// Hands the pending bytes to the stream. 0, or -1 when a write failed (now or before).
int flush_output(output_file& out);

// Flushes and closes the file and puts it in place of the target. 0, or -1 when a write,
// the close or the replacement failed: the temporary file is then removed.
int close_output_file(output_file& out);
// Closes the file after a failure and removes the temporary file; the target stays.
void discard_output_file(output_file& out);

// Asks `question` on the console; 1 for yes, 0 for no (also at the end of input).
int ask_yes_no(const char* question);

// The exit status of a run that ends with `status`: 1 when anything written to standard
// output was lost (there is nowhere left to say so), else `status`.
int finish_console(int status);
