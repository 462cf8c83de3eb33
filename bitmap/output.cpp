// Output files written whole or not at all, the overwrite question, and the console's
// final check.
#include "output.hpp"

#include <fcntl.h>
#include <linux/magic.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstring>
#include <new>

namespace {

// ------------------------------------------------------------------ signals

// The named new file being written, removed when a signal ends the run before it is in
// place. Signal handlers can reach nothing else, so this is the one piece of state kept
// outside the records. The name is complete before the flag says so (the fences keep the
// compiler from reordering the two).
char pending_name[PATH_MAX];
volatile std::sig_atomic_t pending_set = 0;
bool cleanup_installed = false;

extern "C" void remove_pending_and_raise(int signal_number)
{
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (pending_set) ::unlink(pending_name);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// Whether the default action of `signal_number` ends the process.
bool ends_the_process(int signal_number)
{
    switch (signal_number) {
    case SIGCHLD: case SIGCONT: case SIGSTOP: case SIGTSTP: case SIGTTIN: case SIGTTOU: case SIGURG: case SIGWINCH:
    case SIGKILL:
        return false;
    default:
        return true;
    }
}

// Every signal whose default action ends the run removes the named new file first. Signals
// the caller of the program ignores or handles are left alone.
void install_cleanup()
{
    if (cleanup_installed) return;
    cleanup_installed = true;
    for (int signal_number = 1; signal_number <= SIGRTMAX; ++signal_number) {
        if (!ends_the_process(signal_number)) continue;
        struct sigaction current;
        if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler != SIG_DFL ||
            (current.sa_flags & SA_SIGINFO) != 0)
            continue;
        struct sigaction action {};
        action.sa_handler = remove_pending_and_raise;
        sigemptyset(&action.sa_mask);
        ::sigaction(signal_number, &action, nullptr);
    }
}

void set_pending(const std::string& path)
{
    if (path.size() >= sizeof pending_name) return;
    install_cleanup();
    pending_set = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(pending_name, path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    pending_set = 1;
}

void clear_pending()
{
    pending_set = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

// ------------------------------------------------------------------ console

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

// ------------------------------------------------------------------ earlier files

// The thread of `releases`: closes the descriptors handed to it, oldest first, until it is
// asked to stop (when its record goes) and none is left.
void close_released(std::stop_token stop, file_releases& releases)
{
    std::unique_lock<std::mutex> hold(releases.lock);
    for (;;) {
        if (!releases.changed.wait(hold, stop, [&] { return releases.count > 0; })) return;
        const int fd = releases.waiting[0];
        std::copy(releases.waiting + 1, releases.waiting + releases.count, releases.waiting);
        --releases.count;
        releases.closing = true;
        hold.unlock();
        ::close(fd);
        hold.lock();
        releases.closing = false;
        releases.changed.notify_all();
    }
}

// Starts the thread of out.releases unless it runs. The thread takes no signals: they
// reach the run's own thread, whose new file the handler removes. False when no thread can
// be had.
bool start_releases(output_file& out)
{
    if (out.releases) return true;
    sigset_t all, before;
    sigfillset(&all);
    ::pthread_sigmask(SIG_BLOCK, &all, &before);
    try {
        auto releases = std::make_unique<file_releases>();
        releases->worker = std::jthread(close_released, std::ref(*releases));
        out.releases = std::move(releases);
    } catch (const std::exception&) {
    }
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return out.releases != nullptr;
}

// Lets the earlier file `fd` go: on the thread of out.releases, or here when no thread can
// be had.
void release_later(output_file& out, int fd)
{
    if (!start_releases(out)) {
        ::close(fd);
        return;
    }
    file_releases& releases = *out.releases;
    try {
        std::unique_lock<std::mutex> hold(releases.lock);
        releases.changed.wait(hold, [&] { return releases.count < file_releases::capacity; });
        releases.waiting[releases.count++] = fd;
        releases.changed.notify_all();
    } catch (const std::exception&) {
        ::close(fd);
    }
}

// Waits until every earlier file handed on is closed, and so its space free. False when
// none was waiting.
bool wait_for_releases(output_file& out)
{
    if (!out.releases) return false;
    file_releases& releases = *out.releases;
    try {
        std::unique_lock<std::mutex> hold(releases.lock);
        const bool pending = releases.count > 0 || releases.closing;
        releases.changed.wait(hold, [&] { return releases.count == 0 && !releases.closing; });
        return pending;
    } catch (const std::exception&) {
        return false;
    }
}

// Whether the earlier file `fd` may stay open while a new file is renamed over it: on the
// usual local file systems the rename only unlinks it. Network file systems rename an open
// file aside, or refuse the rename.
bool keeps_open_through_rename(int fd)
{
    struct statfs where;
    if (fd < 0 || ::fstatfs(fd, &where) != 0) return false;
    switch (static_cast<unsigned long>(where.f_type)) {
    case EXT4_SUPER_MAGIC: case XFS_SUPER_MAGIC: case BTRFS_SUPER_MAGIC: case TMPFS_MAGIC: case F2FS_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

// Whether a failure may pass once the earlier files are closed and their space free.
bool out_of_space(int error) { return error == ENOSPC || error == EDQUOT; }

// Writes `size` bytes to the stream; on a full disk once more after the earlier files are
// let go. False when they cannot all be written.
bool write_all(output_file& out, const uint8_t* bytes, size_t size)
{
    size_t done = std::fwrite(bytes, 1, size, out.stream);
    if (done < size && out_of_space(errno) && wait_for_releases(out)) {
        std::clearerr(out.stream);
        done += std::fwrite(bytes + done, 1, size - done, out.stream);
    }
    return done == size;
}

// ------------------------------------------------------------------ new files

// The directory part of `path` with its separator ("" for a bare name).
std::string directory_prefix(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A name no file has yet, beside `target`. May throw std::bad_alloc.
std::string fresh_name(const std::string& target)
{
    static unsigned serial = 0;  // distinct names within the run
    return directory_prefix(target) + ".zk-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".tmp";
}

// The path through which an unnamed file can be linked into a directory.
std::string descriptor_path(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Whether a failure to create a file means the directory refuses new files for good.
bool refused_for_good(int error) { return error == EACCES || error == EPERM || error == EROFS; }

// Creates the new file in the directory of `target`: unnamed where the file system can
// link such a file in later, else under a fresh name (in out.temporary). The descriptor
// (open for reading too, for the copy into place), or -1 with errno set.
int create_new_file(output_file& out)
{
    const std::string directory = directory_prefix(out.target);
    int fd = ::open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) {
        // Once seen, the link through /proc stays (asked once a process).
        static const bool linkable = ::access(descriptor_path(fd).c_str(), F_OK) == 0;
        if (linkable) return fd;
        ::close(fd);  // no way to give it a name later
    } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return -1;
    }
    for (int attempt = 0; attempt < 16; ++attempt) {
        out.temporary = fresh_name(out.target);
        set_pending(out.temporary);
        fd = ::open(out.temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) return fd;
        const int error = errno;
        clear_pending();
        out.temporary.clear();
        errno = error;
        if (error != EEXIST) return -1;
    }
    return -1;
}

// The extended attribute names of `fd` (ACLs included), NUL-separated; empty where the file
// system has none. False when they cannot be listed.
bool list_attributes(int fd, std::vector<char>& names)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = ::flistxattr(fd, nullptr, 0);
        if (size < 0) {
            names.clear();
            return errno == ENOTSUP;
        }
        names.resize(static_cast<size_t>(size));
        if (size == 0) return true;
        const ssize_t got = ::flistxattr(fd, names.data(), names.size());
        if (got >= 0) {
            names.resize(static_cast<size_t>(got));
            return true;
        }
        if (errno != ERANGE) return false;
    }
    return false;
}

bool has_name(const std::vector<char>& names, const char* name)
{
    for (size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1)
        if (std::strcmp(names.data() + at, name) == 0) return true;
    return false;
}

// Gives the new file `fd` the owner, group, permission bits and extended attributes of the
// target `from`. False when any of them cannot be kept.
bool keep_identity(int fd, int from, const struct stat& target)
{
    struct stat made;
    if (::fstat(fd, &made) != 0) return false;
    const bool other_owner = made.st_uid != target.st_uid || made.st_gid != target.st_gid;
    if (other_owner && ::fchown(fd, target.st_uid, target.st_gid) != 0) return false;
    // The mode is set after the owner (fchown may clear the set-id bits), and only when it
    // differs: each change is a journal entry for the new file.
    if ((other_owner || (made.st_mode & 07777) != (target.st_mode & 07777)) && ::fchmod(fd, target.st_mode & 07777) != 0)
        return false;
    std::vector<char> wanted, inherited, value;
    if (!list_attributes(from, wanted) || !list_attributes(fd, inherited)) return false;
    // Attributes the directory gave the new file but the target lacks (a default ACL).
    for (size_t at = 0; at < inherited.size(); at += std::strlen(inherited.data() + at) + 1)
        if (!has_name(wanted, inherited.data() + at) && ::fremovexattr(fd, inherited.data() + at) != 0) return false;
    for (size_t at = 0; at < wanted.size(); at += std::strlen(wanted.data() + at) + 1) {
        const char* name = wanted.data() + at;
        const ssize_t size = ::fgetxattr(from, name, nullptr, 0);
        if (size < 0) return false;
        value.resize(static_cast<size_t>(size));
        const ssize_t got = size == 0 ? 0 : ::fgetxattr(from, name, value.data(), value.size());
        if (got != size || ::fsetxattr(fd, name, value.data(), value.size(), 0) != 0) return false;
    }
    return true;
}

// Whether a path names a file that may be created: a name is left after the last '/' and
// it is not too long for a directory entry.
bool nameable(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    const size_t length = std::strlen(slash ? slash + 1 : path);
    return length > 0 && length <= NAME_MAX;
}

void reset(output_file& out)
{
    out.stream = nullptr;
    out.owns_stream = false;
    out.how = replacement::in_place;
    out.temporary.clear();
    out.target_fd = -1;
    out.target_existed = false;
    out.used = 0;
    out.failed = false;
}

void close_target(output_file& out)
{
    if (out.target_fd >= 0) ::close(out.target_fd);
    out.target_fd = -1;
}

// Opens the target for the in-place write: through the descriptor already open on it, or
// by creating it.
std::FILE* open_in_place(output_file& out)
{
    std::FILE* stream = nullptr;
    if (out.target_fd < 0) {
        stream = std::fopen(out.target.c_str(), "wb");
    } else if (::ftruncate(out.target_fd, 0) == 0) {
        stream = ::fdopen(out.target_fd, "wb");
        if (stream) out.target_fd = -1;
    }
    if (stream) std::setvbuf(stream, nullptr, _IONBF, 0);
    return stream;
}

bool ensure_capacity(output_file& out, size_t bytes)
{
    if (out.capacity >= bytes) return true;
    try {
        std::unique_ptr<uint8_t[]> larger = std::make_unique_for_overwrite<uint8_t[]>(bytes);
        if (out.used > 0) std::memcpy(larger.get(), out.buffer.get(), out.used);
        out.buffer = std::move(larger);
        out.capacity = bytes;
    } catch (const std::bad_alloc&) {
        std::printf("error: memory exhausted!\n");
        return false;
    }
    return true;
}

// ------------------------------------------------------------------ putting in place

// Gives the unnamed new file `fd` the name `name`; false (errno set) when it cannot.
bool link_unnamed(int fd, const std::string& name)
{
    return ::linkat(AT_FDCWD, descriptor_path(fd).c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Names the complete new file `fd` with a fresh name beside the target (it may already
// have one). False when it cannot be named.
bool name_new_file(output_file& out, int fd)
{
    if (!out.temporary.empty()) return true;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string name;
        try {
            name = fresh_name(out.target);
        } catch (const std::bad_alloc&) {
            return false;
        }
        set_pending(name);
        if (link_unnamed(fd, name)) {
            out.temporary = name;
            return true;
        }
        clear_pending();
        if (errno != EEXIST) return false;
    }
    return false;
}

// Copies the complete new file `fd` into the target: truncated, written from the start,
// closed. False when any step fails.
bool copy_into_target(output_file& out, int fd)
{
    if (out.target_fd < 0) {
        out.target_fd = ::open(out.target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (out.target_fd < 0) return false;
    }
    const int target = out.target_fd;
    bool copied = ::ftruncate(target, 0) == 0 && ::lseek(target, 0, SEEK_SET) == 0;
    off_t at = 0;
    while (copied) {
        ssize_t moved = ::copy_file_range(fd, &at, target, nullptr, size_t{1} << 30, 0);
        if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            // Byte by byte through a buffer where the kernel cannot copy between the two.
            uint8_t piece[1 << 16];
            moved = ::pread(fd, piece, sizeof piece, at);
            for (ssize_t done = 0; moved > 0 && done < moved;) {
                const ssize_t put = ::write(target, piece + done, static_cast<size_t>(moved - done));
                if (put <= 0) {
                    moved = -1;
                    break;
                }
                done += put;
            }
            if (moved > 0) at += moved;
        }
        if (moved == 0) break;
        if (moved < 0 && errno != EINTR) copied = false;
    }
    out.target_fd = -1;
    return ::close(target) == 0 && copied;
}

// Puts the complete new file `fd` in place of the target by its rename (or, for a target
// that did not exist, by linking it in under the target's name). 0; 1 when the rename was
// refused and the target is still there to copy into; -1 on any other failure.
int rename_into_place(output_file& out, int fd)
{
    if (out.temporary.empty() && !out.target_existed) {
        if (link_unnamed(fd, out.target)) return 0;
        if (errno != EEXIST) return -1;
    }
    if (!name_new_file(out, fd)) return -1;
    if (std::rename(out.temporary.c_str(), out.target.c_str()) == 0) {
        clear_pending();
        out.temporary.clear();
        return 0;
    }
    return out.target_existed && (errno == EPERM || errno == EBUSY || errno == EACCES) ? 1 : -1;
}

// Removes the new file's name, if it has one.
void remove_new_file(output_file& out)
{
    if (out.temporary.empty()) return;
    ::unlink(out.temporary.c_str());
    clear_pending();
    out.temporary.clear();
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
    const bool exists = ::stat(path, &status) == 0;
    if (!overwrite && exists) {
        prompt_text("'%s' already exists\n", path);
        if (!ask_yes_no("overwrite ?")) return -1;
    }
    out.target_existed = exists;
    // A device or a FIFO is written in place, as it is; so is a symbolic link that leads
    // nowhere yet (the file it names is created).
    struct stat link;
    if ((exists && !S_ISREG(status.st_mode)) || (!exists && ::lstat(path, &link) == 0 && S_ISLNK(link.st_mode))) {
        out.stream = std::fopen(path, "wb");
        if (!out.stream) {
            std::printf("error: open '%s'\n", path);
            return -1;
        }
        out.owns_stream = true;
        return 0;
    }
    // A target that may not be written is refused before any work.
    struct stat target;
    bool single = false;
    if (exists) {
        out.target_fd = ::open(path, O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (out.target_fd < 0 || ::fstat(out.target_fd, &target) != 0 || ::lstat(path, &link) != 0) {
            close_target(out);
            std::printf("error: open '%s'\n", path);
            return -1;
        }
        single = S_ISREG(link.st_mode) && target.st_nlink == 1;
    } else if (!nameable(path)) {
        std::printf("error: open '%s'\n", path);
        return -1;
    }

    int fd = -1;
    try {
        fd = create_new_file(out);
        if (fd < 0 && out_of_space(errno) && wait_for_releases(out)) fd = create_new_file(out);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
    }
    if (fd < 0) {
        if (refused_for_good(errno)) out.stream = open_in_place(out);
        close_target(out);
        if (!out.stream) {
            std::printf("error: open '%s'\n", path);
            return -1;
        }
        out.owns_stream = true;
        return 0;
    }
    out.how = !exists || (single && keep_identity(fd, out.target_fd, target)) ? replacement::by_rename : replacement::by_copy;
    // On a local file system the earlier file stays open: after the rename it is let go on
    // the releases' thread (a refused rename copies into it). Elsewhere it is let go first,
    // so that the rename frees it (a refused rename opens it again for the copy).
    if (out.how == replacement::by_rename && !keeps_open_through_rename(out.target_fd)) close_target(out);
    out.stream = ::fdopen(fd, "wb");
    if (out.stream) std::setvbuf(out.stream, nullptr, _IONBF, 0);
    if (!out.stream) {
        ::close(fd);
        remove_new_file(out);
        close_target(out);
        std::printf("error: open '%s'\n", path);
        return -1;
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
    if (out.used + bytes > out.capacity) {
        // Hand on the whole blocks; the last partial block moves to the front.
        const size_t whole = out.used / output_block_bytes * output_block_bytes;
        if (whole > 0) {
            if (!write_all(out, out.buffer.get(), whole)) {
                out.failed = true;
                return nullptr;
            }
            std::memmove(out.buffer.get(), out.buffer.get() + whole, out.used - whole);
            out.used -= whole;
        }
        const size_t wanted = out.used + bytes + output_block_bytes;
        if (!ensure_capacity(out, wanted > output_piece_bytes ? wanted : output_piece_bytes)) {
            out.failed = true;
            return nullptr;
        }
    }
    return out.buffer.get() + out.used;
}

int flush_output(output_file& out)
{
    if (!out.failed && out.used > 0 && !write_all(out, out.buffer.get(), out.used)) out.failed = true;
    out.used = 0;
    return out.failed ? -1 : 0;
}

int close_output_file(output_file& out)
{
    flush_output(out);
    if (out.how == replacement::in_place || !out.stream) {
        if (out.owns_stream && out.stream && std::fclose(out.stream) != 0) out.failed = true;
        out.stream = nullptr;
        close_target(out);
        return out.failed ? -1 : 0;
    }

    // The new file is complete once every byte reached it; it stays open for the copy.
    if (std::fflush(out.stream) != 0) out.failed = true;
    const int fd = ::fileno(out.stream);
    bool kept = false;
    if (!out.failed) {
        const int renamed = out.how == replacement::by_rename ? rename_into_place(out, fd) : 1;
        if (renamed == 0 && out.target_fd >= 0) {
            release_later(out, out.target_fd);
            out.target_fd = -1;
        }
        if (renamed < 0) {
            out.failed = true;
        } else if (renamed > 0 && !copy_into_target(out, fd)) {
            // The target may be damaged now: the complete map stays beside it.
            out.failed = true;
            kept = name_new_file(out, fd);
            if (kept) {
                clear_pending();
                std::printf("error: the new map is kept as '%s'\n", out.temporary.c_str());
            }
        }
    }
    if (std::fclose(out.stream) != 0) out.failed = true;
    out.stream = nullptr;
    close_target(out);
    if (kept) out.temporary.clear();
    remove_new_file(out);
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
