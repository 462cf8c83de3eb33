// Output files written whole or not at all, the overwrite question, and the console's
// final check.
#include "output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdarg>
#include <cstring>
#include <new>

namespace {

// The temporary file being written, removed when a signal ends the run before it is in
// place. Signal handlers can reach nothing else, so this is the one piece of state kept
// outside the records.
char pending_temporary[4096];
volatile std::sig_atomic_t pending_set = 0;
bool cleanup_installed = false;

constexpr int cleanup_signals[] = {SIGHUP, SIGINT, SIGTERM, SIGPIPE, SIGXFSZ};

extern "C" void remove_pending_and_raise(int signal_number)
{
    if (pending_set) ::unlink(pending_temporary);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// Signals whose default action ends the run remove the temporary file first. Signals the
// caller of the program ignores or handles are left alone.
void install_cleanup()
{
    if (cleanup_installed) return;
    cleanup_installed = true;
    for (int signal_number : cleanup_signals) {
        struct sigaction current;
        if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL) continue;
        struct sigaction action {};
        action.sa_handler = remove_pending_and_raise;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal_number, &action, nullptr);
    }
}

void set_pending(const std::string& path)
{
    if (path.size() >= sizeof pending_temporary) return;
    install_cleanup();
    pending_set = 0;
    std::memcpy(pending_temporary, path.c_str(), path.size() + 1);
    pending_set = 1;
}

void clear_pending() { pending_set = 0; }

// Prints a console line; when the user answers on a terminal while standard output goes
// elsewhere, the terminal shows it too, so the question is never asked unseen.
__attribute__((format(printf, 1, 2))) void prompt_text(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    std::vprintf(format, arguments);
    va_end(arguments);
    if (::isatty(STDIN_FILENO) && !::isatty(STDOUT_FILENO)) {
        if (std::FILE* terminal = std::fopen("/dev/tty", "w")) {
            std::vfprintf(terminal, format, again);
            std::fclose(terminal);
        }
    }
    va_end(again);
}

// The directory part of `path` with its separator ("" for a bare name).
std::string directory_prefix(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Creates a temporary file beside `target`, with the permission bits of the file it will
// replace (or those a new file gets). The open stream, or null when the directory does
// not take one.
std::FILE* create_temporary(const std::string& target, const struct stat* replaced, std::string& temporary)
{
    static unsigned serial = 0;  // distinct names within the run
    for (int attempt = 0; attempt < 16; ++attempt) {
        try {
            temporary = directory_prefix(target) + ".zk-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) +
                        ".tmp";
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return nullptr;
        }
        if (replaced) {
            if (::fchmod(fd, replaced->st_mode & 07777) != 0) {}
            if ((replaced->st_uid != ::geteuid() || replaced->st_gid != ::getegid()) &&
                ::fchown(fd, replaced->st_uid, replaced->st_gid) != 0) {}
        }
        set_pending(temporary);
        if (std::FILE* stream = ::fdopen(fd, "wb")) return stream;
        ::close(fd);
        ::unlink(temporary.c_str());
        clear_pending();
        return nullptr;
    }
    return nullptr;
}

void reset(output_file& out)
{
    out.stream = nullptr;
    out.owns_stream = false;
    out.temporary.clear();
    out.used = 0;
    out.failed = false;
}

bool ensure_capacity(output_file& out, size_t bytes)
{
    if (out.buffer.size() >= bytes) return true;
    try {
        out.buffer.resize(bytes);
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return false;
    }
    return true;
}

} // namespace

int open_output_file(output_file& out, const char* path, bool overwrite)
{
    reset(out);
    try {
        out.target = path;
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return -1;
    }
    struct stat status;
    if (!overwrite && ::stat(path, &status) == 0) {
        prompt_text("'%s' already exists\n", path);
        if (!ask_yes_no("overwrite ?")) return -1;
    }
    struct stat link_status;
    const bool exists = ::lstat(path, &link_status) == 0;
    if (!exists || S_ISREG(link_status.st_mode)) out.stream = create_temporary(out.target, exists ? &link_status : nullptr,
                                                                              out.temporary);
    if (!out.stream) {
        out.temporary.clear();
        out.stream = std::fopen(path, "wb");
        if (!out.stream) {
            std::printf("error: open '%s'\n", path);
            return -1;
        }
    }
    out.owns_stream = true;
    return 0;
}

int attach_output_stream(output_file& out, std::FILE* stream)
{
    reset(out);
    out.stream = stream;
    return 0;
}

uint8_t* reserve_output(output_file& out, size_t bytes)
{
    if (out.failed) return nullptr;
    if (out.used + bytes > out.buffer.size()) {
        // Hand on the whole blocks; the last partial block moves to the front.
        const size_t whole = out.used / output_block_bytes * output_block_bytes;
        if (whole > 0) {
            if (std::fwrite(out.buffer.data(), 1, whole, out.stream) != whole) {
                out.failed = true;
                return nullptr;
            }
            std::memmove(out.buffer.data(), out.buffer.data() + whole, out.used - whole);
            out.used -= whole;
        }
        const size_t wanted = out.used + bytes + output_block_bytes;
        if (!ensure_capacity(out, wanted > output_piece_bytes ? wanted : output_piece_bytes)) {
            out.failed = true;
            return nullptr;
        }
    }
    return out.buffer.data() + out.used;
}

int flush_output(output_file& out)
{
    if (!out.failed && out.used > 0 && std::fwrite(out.buffer.data(), 1, out.used, out.stream) != out.used)
        out.failed = true;
    out.used = 0;
    return out.failed ? -1 : 0;
}

int close_output_file(output_file& out)
{
    flush_output(out);
    if (out.owns_stream && std::fclose(out.stream) != 0) out.failed = true;
    out.stream = nullptr;
    if (!out.temporary.empty()) {
        if (!out.failed && std::rename(out.temporary.c_str(), out.target.c_str()) != 0) out.failed = true;
        if (out.failed) ::unlink(out.temporary.c_str());
        clear_pending();
        out.temporary.clear();
    }
    return out.failed ? -1 : 0;
}

void discard_output_file(output_file& out)
{
    out.failed = true;
    close_output_file(out);
}

int ask_yes_no(const char* question)
{
    prompt_text("%s (Y or N): ", question);
    std::fflush(stdout);
    for (int c; (c = std::getchar()) != EOF;) {
        if (c == 'y' || c == 'Y') return 1;
        if (c == 'n' || c == 'N') return 0;
    }
    // End of input (or a read error) answers no, on a line of its own.
    prompt_text("\n");
    return 0;
}

int finish_console(int status)
{
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return 1;
    return status;
}
