#include "test_support.hpp"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <list>

scratch_dir::scratch_dir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zk-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    path = pattern;
}

scratch_dir::~scratch_dir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

program_run run_program(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& dir, const std::string& input)
{
    program_io io;
    io.input = input;
    return run_program(program, arguments, dir, io);
}

program_run run_program(const std::string& program, const std::vector<std::string>& arguments,
                        const std::string& dir, const program_io& io)
{
    // Standard input and output go through files outside `dir`, which holds only what the
    // program writes.
    const scratch_dir files;
    const std::string in_path = files / "stdin";
    const std::string out_path = io.output_path.empty() ? files / "stdout" : io.output_path;
    write_file(in_path, std::vector<uint8_t>(io.input.begin(), io.input.end()));
    int feed[2] = {-1, -1};
    if (io.input_pipe && pipe(feed) != 0) std::abort();
    const pid_t child = fork();
    if (child == 0) {
        const int in = io.input_pipe ? feed[0] : open(in_path.c_str(), O_RDONLY);
        const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (in < 0 || out < 0 || chdir(dir.c_str()) != 0) _exit(127);
        if (io.input_pipe) close(feed[1]);
        dup2(in, 0);
        dup2(out, 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (io.input_pipe) {
        close(feed[0]);
        // The program may stop reading early: a closed pipe must not end the test.
        struct sigaction ignore {}, previous {};
        ignore.sa_handler = SIG_IGN;
        sigaction(SIGPIPE, &ignore, &previous);
        for (size_t done = 0; done < io.input.size();) {
            const ssize_t n = write(feed[1], io.input.data() + done, io.input.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        close(feed[1]);
        sigaction(SIGPIPE, &previous, nullptr);
    }
    program_run run;
    int status = 0;
    struct rusage usage {};
    wait4(child, &status, 0, &usage);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    run.peak_kb = usage.ru_maxrss;
    if (io.output_path.empty()) {
        const std::vector<uint8_t> output = read_file(out_path);
        run.output.assign(output.begin(), output.end());
    }
    return run;
}

const std::string& sample_data(const std::string& generator)
{
    static const scratch_dir data;
    static const std::string top = [&] {
        const program_run run = run_program(generator, {data.path.string()}, data.path.string());
        EXPECT_EQ(run.status, 0) << run.output;
        return data.path.string();
    }();
    return top;
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

std::vector<std::string>& keep_words(std::vector<std::string> words)
{
    static std::list<std::vector<std::string>> kept;
    kept.push_back(std::move(words));
    return kept.back();
}
