// What a run does with the user's files and console when things go wrong: an earlier map
// survives a failed write, links and devices are written through, an interrupted run leaves
// only complete files, lost console output fails the run, the overwrite question reaches a
// terminal, and forged BMP sizes cost neither memory nor time.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "bitmap/bytes.hpp"
#include "program_support.hpp"

namespace {

std::string tiles16() { return sample_pc_dir() + "/TILES.16"; }

std::vector<std::string> files_in(const scratch_dir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs a command line through the shell, for its resource limits and signal dispositions.
program_run run_shell(const std::string& script, const std::string& dir)
{
    return run_program("/bin/sh", {"-c", script}, dir);
}

// A BMP file that reads back whole with the expected size.
bool complete_bmp(const std::string& path, uint32_t width, uint32_t height)
{
    const bmp_file file = load_bmp(path);
    return file.status == 0 && file.header.width == static_cast<int32_t>(width) &&
           file.header.height == static_cast<int32_t>(height) &&
           read_file(path).size() == file.header.file_size;
}

TEST(OutputFiles, FailedWriteKeepsTheEarlierMap)
{
    scratch_dir out;
    const std::string holvik = "'" + holvik_program + "' --ega '" + tiles16() + "' '" + sample_pc_dir() + "'";
    ASSERT_EQ(run_shell(holvik, out.path.string()).status, 0);
    const std::vector<uint8_t> earlier = read_file(out / "zk.Britannia.bmp");
    ASSERT_GT(earlier.size(), 4u << 20);
    const std::vector<std::string> both = {"zk.Britannia.bmp", "zk.Underworld.bmp"};

    // A file size limit of 1 MiB with SIGXFSZ ignored: the write fails, the messages are
    // today's, and the 8 MiB map is still there byte for byte.
    const std::string failure = "error: write_bitmap() - can't write bitmap data\n"
                                "error: write bitmap 'zk.Britannia.bmp'\n"
                                "error: write bitmap file 'zk.Britannia.bmp'\n";
    program_run run = run_shell("ulimit -f 1024; trap '' XFSZ; exec " + holvik + " --overwrite", out.path.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, failure);
    EXPECT_TRUE(read_file(out / "zk.Britannia.bmp") == earlier);
    EXPECT_EQ(files_in(out), both);

    // The same after the user answered "y".
    run = run_shell("ulimit -f 1024; trap '' XFSZ; echo y | " + holvik, out.path.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "'zk.Britannia.bmp' already exists\noverwrite ? (Y or N): " + failure);
    EXPECT_TRUE(read_file(out / "zk.Britannia.bmp") == earlier);
    EXPECT_EQ(files_in(out), both);

    // With SIGXFSZ at its default the limit ends the program in the middle of the write:
    // the temporary file goes with it.
    run = run_shell("ulimit -f 1024; exec " + holvik + " --overwrite", out.path.string());
    EXPECT_EQ(run.signal, SIGXFSZ);
    EXPECT_TRUE(read_file(out / "zk.Britannia.bmp") == earlier);
    EXPECT_EQ(files_in(out), both);

    // A target that did not exist stays missing.
    scratch_dir empty;
    run = run_shell("ulimit -f 1024; trap '' XFSZ; exec " + holvik, empty.path.string());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(files_in(empty), std::vector<std::string>{});
}

TEST(OutputFiles, LinksDevicesAndPermissionBits)
{
    scratch_dir out;
    const std::vector<std::string> args = {"--overwrite", "--ega", tiles16(), sample_pc_dir()};

    // A symbolic link is written through; the link stays a link.
    std::filesystem::create_directory(out / "maps");
    std::filesystem::create_symlink("maps/surface.bmp", out / "zk.Britannia.bmp");
    program_run run = run_program(holvik_program, args, out.path.string());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(std::filesystem::is_symlink(out / "zk.Britannia.bmp"));
    EXPECT_TRUE(complete_bmp(out / "maps/surface.bmp", 4096, 4096));

    // A replaced file keeps its permission bits; a new one gets those of the umask.
    ::chmod((out / "zk.Underworld.bmp").c_str(), 0604);
    write_file(out / "old.bmp", {1, 2, 3});
    run = run_program(holvik_program, {"--overwrite", "--ega", tiles16(), "-b", "old.bmp", sample_pc_dir()},
                      out.path.string());
    EXPECT_EQ(run.status, 0) << run.output;
    struct stat status;
    ASSERT_EQ(::stat((out / "zk.Underworld.bmp").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0604u);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ASSERT_EQ(::stat((out / "old.bmp").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0666u & ~mask);
    EXPECT_TRUE(complete_bmp(out / "old.bmp", 4096, 4096));

    // A device is written in place: the map goes to standard output.
    scratch_dir device;
    run = run_program(holvik_program, {"--overwrite", "--ega", tiles16(), "-b", "/dev/stdout", "-u", "u.bmp", sample_pc_dir()},
                      device.path.string());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.output.size(), 118u + 4096u * 4096u / 2);
    EXPECT_EQ(run.output.compare(0, 2, "BM"), 0);
    EXPECT_EQ(files_in(device), std::vector<std::string>{"u.bmp"});
}

TEST(OutputFiles, InterruptedRunLeavesOnlyCompleteFiles)
{
    // garvik writes Moonglow's two levels, then asks about Britain's ground floor and waits:
    // it is interrupted there, between two levels.
    scratch_dir out;
    const std::vector<uint8_t> earlier = {'o', 'l', 'd'};
    write_file(out / "zk.Britain.1F.12.bmp", earlier);
    const scratch_dir io;
    const std::string console = io / "stdout";
    int feed[2];
    ASSERT_EQ(pipe(feed), 0);
    const pid_t child = fork();
    if (child == 0) {
        const int output = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (output < 0 || chdir(out.path.c_str()) != 0) _exit(127);
        dup2(feed[0], 0);
        dup2(output, 1);
        close(feed[1]);
        execl(garvik_program.c_str(), garvik_program.c_str(), "-T", "-n", "--ega", tiles16().c_str(),
              sample_pc_dir().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(feed[0]);
    const std::string question = "overwrite ? (Y or N): ";
    std::string seen;
    for (int wait = 0; wait < 2000 && seen.find(question) == std::string::npos; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        const std::vector<uint8_t> bytes = read_file(console);
        seen.assign(bytes.begin(), bytes.end());
    }
    ::kill(child, SIGINT);
    int status = 0;
    waitpid(child, &status, 0);
    close(feed[1]);
    EXPECT_EQ(seen, "[Moonglow]\n[Moonglow]\n[Britain]\n'zk.Britain.1F.12.bmp' already exists\n" + question);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_EQ(files_in(out),
              (std::vector<std::string>{"zk.Britain.1F.12.bmp", "zk.Moonglow.1F.12.bmp", "zk.Moonglow.2F.12.bmp"}));
    EXPECT_TRUE(read_file(out / "zk.Britain.1F.12.bmp") == earlier);
    EXPECT_TRUE(complete_bmp(out / "zk.Moonglow.1F.12.bmp", 512, 512));
    EXPECT_TRUE(complete_bmp(out / "zk.Moonglow.2F.12.bmp", 512, 512));
}

TEST(Console, LostOutputFailsTheRun)
{
    scratch_dir out;
    program_io io;
    io.output_path = "/dev/full";
    // The placement trace cannot be written: the maps are, but the run reports the loss.
    program_run run = run_program(garvik_program, {"-T", "--ega", tiles16(), sample_pc_dir()}, out.path.string(), io);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(files_in(out).size(), 16u);
    // A run that prints nothing loses nothing.
    run = run_program(holvik_program, {"--ega", tiles16(), sample_pc_dir()}, out.path.string(), io);
    EXPECT_EQ(run.status, 0);
}

TEST(Console, QuestionReachesTheTerminalWhenOutputIsRedirected)
{
    scratch_dir out;
    const std::vector<std::string> args = {"-T", "-n", "--ega", tiles16(), sample_pc_dir()};
    ASSERT_EQ(run_program(garvik_program, args, out.path.string()).status, 0);
    const program_run plain = run_program(garvik_program, args, out.path.string(), std::string(16, 'y'));
    ASSERT_EQ(plain.status, 0);

    // The same run with a terminal on standard input and standard output in a file.
    const scratch_dir io;
    const std::string console = io / "stdout";
    int terminal = -1;
    const pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int output = open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (output < 0 || chdir(out.path.c_str()) != 0) _exit(127);
        dup2(output, 1);
        std::vector<char*> argv = {const_cast<char*>(garvik_program.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(garvik_program.c_str(), argv.data());
        _exit(127);
    }
    std::string shown;
    const std::string question = "overwrite ? (Y or N): ";
    for (int answered = 0;;) {
        pollfd ready = {terminal, POLLIN, 0};
        if (poll(&ready, 1, 10000) <= 0) break;
        char bytes[256];
        const ssize_t n = read(terminal, bytes, sizeof bytes);
        if (n <= 0) break;
        shown.append(bytes, static_cast<size_t>(n));
        // Every question is answered once it shows; each answer echoes back.
        for (size_t at = 0, count = 0; (at = shown.find(question, at)) != std::string::npos; at += question.size())
            if (++count > static_cast<size_t>(answered)) {
                ++answered;
                if (write(terminal, "y\n", 2) != 2) break;
            }
    }
    ::kill(child, SIGTERM);  // if it still waits for an answer
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::vector<uint8_t> written = read_file(console);
    EXPECT_EQ(std::string(written.begin(), written.end()), plain.output);  // standard output as without a terminal
    EXPECT_NE(shown.find("'zk.Moonglow.1F.12.bmp' already exists\r\n" + question), std::string::npos) << shown;
    EXPECT_NE(shown.find("'zk.New_Magincia.2F.12.bmp' already exists\r\n" + question), std::string::npos);
}

// A 54-byte 24- or 32-bit BMP with the given sizes and no pixel data.
std::vector<uint8_t> empty_bmp(int32_t width, int32_t height, uint16_t bit_count)
{
    std::vector<uint8_t> bytes(54, 0);
    uint8_t* p = bytes.data();
    *p++ = 'B';
    *p++ = 'M';
    put_u32_le(p, 54);
    p += 4;
    put_u32_le(p, 54);
    put_u32_le(p, 40);
    put_u32_le(p, static_cast<uint32_t>(width));
    put_u32_le(p, static_cast<uint32_t>(height));
    put_u16_le(p, 1);
    put_u16_le(p, bit_count);
    return bytes;
}

TEST(ShapeBitmaps, ForgedSizesCostNeitherMemoryNorTime)
{
    scratch_dir out;
    const long budget_kb = 256 * 1024;
    // Height 0 with a width of 2^28 at 32 bits, and width 0 with 2^31 - 1 rows: nothing is
    // allocated or read for rows (two seconds of CPU stop a reader that loops over the rows).
    const std::pair<std::vector<uint8_t>, const char*> zero_sizes[] = {{empty_bmp(1 << 28, 0, 32), "0x0"},
                                                                       {empty_bmp(0, 0x7FFFFFFF, 24), "0x0"}};
    for (const auto& [bytes, corrected] : zero_sizes) {
        write_file(out / "zero.bmp", bytes);
        const program_run run = run_shell("ulimit -t 2; exec '" + holvik_program + "' -s zero.bmp '" + sample_pc_dir() + "'",
                                          out.path.string());
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.output, std::string("warning: check_bitmap_header() - data length is 0 ... corrected: ") +
                                  corrected + "\nerror: shape bitmap is too small\nerror: read shape bitmap 'zero.bmp'\n");
        const program_run measured = run_program(holvik_program, {"-s", "zero.bmp", sample_pc_dir()}, out.path.string());
        EXPECT_LT(measured.peak_kb, budget_kb);
    }

    // A forged 8-bit header of 30000 x 30000 pixels through a pipe: the reader finds the
    // data missing without first allocating for it.
    std::vector<uint8_t> forged = empty_bmp(30000, 30000, 8);
    uint8_t* p = forged.data() + 2;
    put_u32_le(p, 1078 + 30000u * 30000u);
    p = forged.data() + 10;
    put_u32_le(p, 1078);
    p = forged.data() + 34;
    put_u32_le(p, 30000u * 30000u);
    forged.resize(1078 + 5000, 7);
    program_io io;
    io.input.assign(forged.begin(), forged.end());
    io.input_pipe = true;
    program_run run = run_program(holvik_program, {"-s", "/dev/stdin", sample_pc_dir()}, out.path.string(), io);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.output, "error: read_bitmap() - can't read bitmap data\nerror: read '/dev/stdin'\n"
                          "error: read shape bitmap '/dev/stdin'\n");
    EXPECT_LT(run.peak_kb, budget_kb);

    // A whole shape bitmap through a pipe draws the same maps as from its file.
    bitmap_image shape;
    shape.width = 32;
    shape.height = 64;
    shape.bit_count = 24;
    shape.pixels.resize(3 * 32 * 64);
    for (size_t i = 0; i < shape.pixels.size(); ++i) shape.pixels[i] = static_cast<uint8_t>(i * 5 + i / 96);
    ASSERT_EQ(save_bitmap_file((out / "shape.bmp").c_str(), shape, true), 0);
    ASSERT_EQ(run_program(holvik_program, {"--overwrite", "-s", "shape.bmp", sample_pc_dir()}, out.path.string()).status, 0);
    const std::vector<uint8_t> from_file = read_file(out / "zk.Britannia.bmp");
    const std::vector<uint8_t> bytes = read_file(out / "shape.bmp");
    io.input.assign(bytes.begin(), bytes.end());
    run = run_program(holvik_program, {"--overwrite", "-s", "/dev/stdin", sample_pc_dir()}, out.path.string(), io);
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_TRUE(read_file(out / "zk.Britannia.bmp") == from_file);
}

} // namespace
