// Helpers shared by the tests: console capture, scratch directories, files and runs of the
// built programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Runs `f` and returns what it printed on standard output.
template <typename F>
std::string console_of(F&& f)
{
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}

// A fresh directory, removed with everything in it at the end of the scope.
struct scratch_dir {
    std::filesystem::path path;
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

void write_file(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> read_file(const std::string& path);

struct program_run {
    int status = -1;         // exit status, or -1 when a signal ended the program
    int signal = 0;          // the signal that ended it
    std::string output;
    long peak_kb = 0;        // its maximum resident set
};

// How a run's standard streams are connected.
struct program_io {
    std::string input;        // fed on standard input
    bool input_pipe = false;  // through a pipe (not a file that can be sized)
    std::string output_path;  // standard output goes there instead of being captured
};

// Runs `program` with `arguments` in directory `dir`, feeding `input` on standard input.
program_run run_program(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& dir, const std::string& input = "");
program_run run_program(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& dir, const program_io& io);

// The sample data set written by `generator` (the sample data program), made once for the
// test program: its top directory.
const std::string& sample_data(const std::string& generator);

// Splits console output into lines (without their line ends).
std::vector<std::string> lines_of(const std::string& text);

// Keeps command-line words alive for the rest of the test run, as argv would be: parsed
// settings point into them.
std::vector<std::string>& keep_words(std::vector<std::string> words);
