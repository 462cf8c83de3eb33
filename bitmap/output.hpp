// Output files: the existence test and the console overwrite question, buffered writing
// with every write checked, and the replacement of an earlier file only by a complete one.
//
// How a file is replaced is decided before anything is written:
//   - a new file, or a regular file with a single link whose owner, group and extended
//     attributes the new file can keep: the map is written to a new file in the same
//     directory (unnamed where the file system allows it, so that no signal can leave it
//     behind) and put in place of the target by a rename once it is complete (on the
//     usual local file systems the earlier file is then closed on a thread of its own);
//   - any other regular file (more links, an owner or attributes that cannot be kept, a
//     symbolic link to it, or a refused rename): the map is written to a new file first and
//     then copied into the target, which keeps its identity;
//   - a device, a FIFO or a target whose directory refuses new files for good (no
//     permission, a read-only file system): the map is written in place.
// A target that cannot be opened for writing is refused before any work, and a failure
// while the map is written never touches the target.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

// How the written file becomes the target.
enum class replacement {
    in_place,   // the stream is the target itself
    by_rename,  // a new file, renamed (or linked) over the target when complete
    by_copy,    // a new file, copied into the target when complete
};

// Earlier files that a rename replaced, let go on a thread of their own. A file system frees
// a replaced file's blocks when its last descriptor is closed, and on a disk that discards
// freed blocks at once that close waits for the device; meanwhile the run draws the next
// map. At most `capacity` descriptors wait their turn.
struct file_releases {
    static constexpr size_t capacity = 4;
    std::mutex lock;
    std::condition_variable_any changed;
    int waiting[capacity] = {};
    size_t count = 0;      // descriptors waiting to be closed
    bool closing = false;  // the thread is closing one
    std::jthread worker;   // last, so that it closes what is left and ends first
};

struct output_file {
    std::FILE* stream = nullptr;
    bool owns_stream = false;      // opened here (closed by close_output_file)
    replacement how = replacement::in_place;
    std::string target;            // the path as given
    std::string temporary;         // the new file's name; empty while it is unnamed
    int target_fd = -1;            // the existing target, opened for writing without truncating it
    bool target_existed = false;
    // Pending bytes. The buffer is kept from file to file and never cleared, so that only
    // the part a file fills is ever touched.
    std::unique_ptr<uint8_t[]> buffer;
    size_t capacity = 0;
    size_t used = 0;
    bool failed = false;           // a write failed
    std::unique_ptr<file_releases> releases;  // made when a rename first replaces a file
};

// Bytes handed on at a time: a map of up to this size reaches its file in one write. The
// streams of files opened here are unbuffered, so that each piece is one write of whole
// blocks (counted from the start of the file), which the file system stores in large pages.
constexpr size_t output_piece_bytes = size_t{1} << 20;
constexpr size_t output_block_bytes = 4096;

// Asks before replacing an existing `path` unless `overwrite` is set, then creates the file
// (or the new file that will replace it). 0; or -1 after "error: open '%s'\n" (also when
// the target may not be written, or no new file can be made for a reason other than a
// directory that refuses new files for good), or silently when the user declines.
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
// the close or the replacement failed: the new file is then removed, unless copying it
// into the target failed, when it is kept beside the target and named in
// "error: the new map is kept as '%s'\n".
int close_output_file(output_file& out);
// Closes the file after a failure and removes the new file; the target stays.
void discard_output_file(output_file& out);

// Asks `question` on the console; 1 for yes, 0 for no (also at the end of input).
int ask_yes_no(const char* question);

// The exit status of a run that ends with `status`: 1 when anything written to standard
// output was lost (there is nowhere left to say so), else `status`.
int finish_console(int status);
