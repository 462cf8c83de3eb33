// How a map replaces the user's earlier file: who owns it afterwards, its other names, its
// attributes, files the user may not write, file systems without room, refused renames, and
// signals in the middle of a write. Most cases need root (other users, mounts); they are
// skipped, saying so, without it.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "program_support.hpp"

namespace {

// The sample PC data, readable by every user.
const std::string& data_dir()
{
    static scratch_dir copy;
    static const std::string dir = [] {
        ::chmod(copy.path.c_str(), 0755);
        std::filesystem::copy(sample_pc_dir(), copy / "pc");
        return copy / "pc";
    }();
    return dir;
}

std::string tiles16() { return data_dir() + "/TILES.16"; }

// holvik drawing the surface map into `target` (the Underworld goes nowhere), as root or
// as user 54321 in group 54320 (ids no account here has).
program_run draw_surface(const std::string& dir, const std::string& target, bool as_user = false)
{
    std::vector<std::string> words = {"--overwrite", "--ega", tiles16(), "-b", target, "-u", "/dev/null", data_dir()};
    if (!as_user) return run_program(holvik_program, words, dir);
    words.insert(words.begin(), {"--reuid=54321", "--regid=54320", "--groups=54320", holvik_program});
    return run_program("/usr/bin/setpriv", words, dir);
}

const std::vector<uint8_t>& new_map()
{
    static const std::vector<uint8_t> map = [] {
        scratch_dir dir;
        draw_surface(dir.path.string(), "map.bmp");
        return read_file(dir / "map.bmp");
    }();
    return map;
}

const std::vector<uint8_t> old_map = {'o', 'l', 'd'};

std::vector<std::string> names_in(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::string owner_of(const std::string& path)
{
    struct stat status;
    return ::stat(path.c_str(), &status) == 0 ? std::to_string(status.st_uid) + ":" + std::to_string(status.st_gid) : "";
}

// A mount that ends with the test, however it ends.
struct mounted {
    std::string at;
    bool done;
    mounted(const std::string& source, const std::string& target, const char* type, unsigned long flags, const char* options)
        : at(target), done(::mount(source.c_str(), target.c_str(), type, flags, options) == 0)
    {
    }
    ~mounted() { release(); }
    void release() { done = done && ::umount(at.c_str()) != 0; }
};

TEST(Replacement, KeepsWhatTheUserHad)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: other users and ownership";
    ASSERT_GT(new_map().size(), 8u << 20);
    // Made by root in the folder with an earlier "map.bmp"; users 54321 (who runs holvik) and
    // 54322 share group 54320.
    struct replacement_case {
        const char* what;
        const char* prepare;
        bool as_user;
        bool refused;
        const char* owner;  // of map.bmp afterwards
    };
    const replacement_case cases[] = {
        {"another member's file in a shared folder stays theirs",
         "chown 0:54320 . && chmod 2775 . && chown 54322:54320 map.bmp && chmod 664 map.bmp", true, false, "54322:54320"},
        {"a file with another name: both names show the new map", "ln map.bmp other.bmp", false, false, "0:0"},
        {"a mode of the user's own is kept", "chmod 604 map.bmp", false, false, "0:0"},
        {"extended attributes and the ACL are kept", "setfacl -m u:54321:r map.bmp", false, false, "0:0"},
        {"another user's writable file in a sticky folder is written into",
         "chmod 1777 . && chown 54322:54322 map.bmp && chmod 666 map.bmp", true, false, "54322:54322"},
        {"a file the user may not write is refused", "chown 54321 . map.bmp && chmod 444 map.bmp", true, true, "54321:0"},
        {"root's file in the user's folder is refused", "chown 54321 .", true, true, "0:0"},
    };
    for (const replacement_case& c : cases) {
        SCOPED_TRACE(c.what);
        scratch_dir scratch;
        ::chmod(scratch.path.c_str(), 0755);
        const std::string dir = scratch / "maps", map = dir + "/map.bmp";
        std::filesystem::create_directory(dir);
        write_file(map, old_map);
        ASSERT_EQ(::setxattr(map.c_str(), "user.zk", "note", 4, 0), 0);
        ASSERT_EQ(run_program("/bin/sh", {"-c", c.prepare}, dir).status, 0);
        const ssize_t acl = ::getxattr(map.c_str(), "system.posix_acl_access", nullptr, 0);
        struct stat before, after;
        ASSERT_EQ(::stat(map.c_str(), &before), 0);
        const program_run run = draw_surface(dir, "map.bmp", c.as_user);
        ASSERT_EQ(::stat(map.c_str(), &after), 0);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(run.output, c.refused ? "error: open 'map.bmp'\nerror: write bitmap file 'map.bmp'\n" : "");
        EXPECT_EQ(run.status, c.refused ? 1 : 0);
        EXPECT_TRUE(read_file(map) == (c.refused ? old_map : new_map()));
        EXPECT_EQ(owner_of(map), c.owner);
        char note[8] = {};
        EXPECT_EQ(::getxattr(map.c_str(), "user.zk", note, sizeof note), 4);
        EXPECT_EQ(::getxattr(map.c_str(), "system.posix_acl_access", nullptr, 0), acl);
        const bool linked = std::filesystem::exists(dir + "/other.bmp");
        EXPECT_EQ(names_in(dir).size(), linked ? 2u : 1u);  // no new file left behind
        EXPECT_TRUE(!linked || read_file(dir + "/other.bmp") == new_map());
    }
}

TEST(Replacement, FullFileSystemsAndRefusedRenames)
{
    if (::geteuid() != 0) GTEST_SKIP() << "needs root: mounts";
    scratch_dir scratch;
    const std::string dir = scratch.path.string(), small = dir + "/small", tiny = dir + "/tiny";
    std::filesystem::create_directory(small);
    std::filesystem::create_directory(tiny);

    // No inode left for the new file: the earlier map stays whole.
    mounted small_fs("zk-test", small, "tmpfs", 0, "size=64m,nr_inodes=8");
    if (!small_fs.done) GTEST_SKIP() << "tmpfs cannot be mounted here";
    write_file(small + "/map.bmp", old_map);
    for (int n = 0; std::FILE* filler = std::fopen((small + "/f" + std::to_string(n)).c_str(), "w"); ++n) std::fclose(filler);
    program_run run = draw_surface(small, "map.bmp");
    EXPECT_EQ(run.output, "error: open 'map.bmp'\nerror: write bitmap file 'map.bmp'\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(read_file(small + "/map.bmp") == old_map);
    small_fs.release();

    // A file mounted over another (its rename is refused) is written into.
    write_file(dir + "/map.bmp", old_map);
    write_file(dir + "/source.bmp", old_map);
    mounted bound(dir + "/source.bmp", dir + "/map.bmp", nullptr, MS_BIND, "");
    run = draw_surface(dir, "map.bmp");
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.status, 0);
    bound.release();
    EXPECT_TRUE(read_file(dir + "/source.bmp") == new_map());

    // The same from a file system too small for the map: the copy fails, and the complete
    // new map is kept beside the target and named.
    mounted tiny_fs("zk-test", tiny, "tmpfs", 0, "size=1m");
    write_file(tiny + "/source.bmp", old_map);
    mounted tiny_bound(tiny + "/source.bmp", dir + "/map.bmp", nullptr, MS_BIND, "");
    ASSERT_TRUE(tiny_fs.done && tiny_bound.done);
    run = draw_surface(dir, "map.bmp");
    tiny_bound.release();
    EXPECT_EQ(run.status, 1);
    const std::string kept_line = "error: the new map is kept as '";
    ASSERT_EQ(run.output.compare(0, kept_line.size(), kept_line), 0) << run.output;
    const size_t name_end = run.output.find('\'', kept_line.size());
    EXPECT_EQ(run.output.substr(name_end), "'\nerror: write bitmap 'map.bmp'\nerror: write bitmap file 'map.bmp'\n");
    EXPECT_TRUE(read_file(dir + "/" + run.output.substr(kept_line.size(), name_end - kept_line.size())) == new_map());
}

TEST(Replacement, EmptyNameFailsBeforeAnyWork)
{
    scratch_dir dir;
    const program_run run = draw_surface(dir.path.string(), "");
    EXPECT_EQ(run.output, "error: open ''\nerror: write bitmap file ''\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(names_in(dir.path.string()).empty());
}

TEST(Replacement, SignalsLeaveNoFileBehind)
{
    scratch_dir dir;
    const std::string folder = dir.path.string();
    ASSERT_EQ(draw_surface(folder, "map.bmp").status, 0);
    for (int signal_number : {SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF, SIGKILL}) {
        SCOPED_TRACE(signal_number);
        // Stopped at moments all through the run, most of them while a map is being written.
        for (int pause_ms = 2; pause_ms < 36; pause_ms += 6) {
            const pid_t child = fork();
            if (child == 0) {
                if (chdir(folder.c_str()) != 0) _exit(127);
                execl(holvik_program.c_str(), holvik_program.c_str(), "--overwrite", "--ega", tiles16().c_str(), "-b",
                      "map.bmp", "-u", "map.bmp", data_dir().c_str(), static_cast<char*>(nullptr));
                _exit(127);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
            ::kill(child, signal_number);
            int status = 0;
            ::waitpid(child, &status, 0);
            // SIGKILL can fall between the link of the complete map under its temporary name and
            // the rename over the earlier map: then that complete map is all that is left over.
            std::vector<std::string> names = names_in(folder);
            if (signal_number == SIGKILL && names.size() == 2 && names[0].starts_with(".zk-")) {
                EXPECT_EQ(read_file(folder + "/" + names[0]).size(), new_map().size());
                std::filesystem::remove(folder + "/" + names[0]);
                names.erase(names.begin());
            }
            ASSERT_EQ(names, std::vector<std::string>{"map.bmp"}) << pause_ms << " ms";
            ASSERT_EQ(read_file(folder + "/map.bmp").size(), new_map().size());
        }
    }
}

} // namespace
