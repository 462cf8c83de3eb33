// The files every atlas holds, built into the program.
#pragma once

#include <cstddef>

struct embedded_file {
    const char* name;   // its path inside the atlas folder
    const char* begin;  // its bytes
    const char* end;
};

extern const embedded_file embedded_files[];
extern const size_t embedded_file_count;
