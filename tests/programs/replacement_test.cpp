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
#include <functional>
#include <thread>

#include "program_support.hpp"

namespace {

constexpr uid_t user = 54321, other_user = 54322;  // ids no account here has
constexpr gid_t shared_group = 54320;

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
// as `user` in the shared group.
program_run draw_surface(const std::string& dir, const std::string& target, bool as_user = false)
{
    std::vector<std::string> words = {"--overwrite", "--ega", tiles16(), "-b", target, "-u", "/dev/null", data_dir()};
    if (!as_user) return run_program(holvik_program, words, dir);
    words.insert(words.begin(), {"--reuid=" + std::to_string(user), "--regid=" + std::to_string(shared_group),
                                 "--groups=" + std::to_string(shared_group), holvik_program});
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

const std::vector<uint8_t> old_map = {'o', 'l', 'd', ' ', 'm', 'a', 'p'};

std::vector<std::string> names_in(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool is_root() { return ::geteuid() == 0; }

// A scratch folder that the test users can reach, with the sample data readable by them.
struct shared_dir {
    scratch_dir scratch;
    std::string path;
    shared_dir()
    {
        ::chmod(scratch.path.c_str(), 0755);
        path = scratch / "maps";
        std::filesystem::create_directory(path);
    }
};

struct replacement_case {
    const char* what;
    std::function<void(const std::string& dir)> prepare;  // makes "map.bmp" (and more) in dir
    bool as_user;
    std::string console;                                  // the run's whole output
    std::function<void(const std::string& dir)> check;
    size_t names = 1;                                     // files in dir afterwards
};

void own(const std::string& path, uid_t owner, gid_t group, mode_t mode)
{
    ASSERT_EQ(::chown(path.c_str(), owner, group), 0);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

void expect_owner(const std::string& path, uid_t owner, gid_t group)
{
    struct stat status;
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, owner);
    EXPECT_EQ(status.st_gid, group);
}

TEST(Replacement, KeepsWhatTheUserHad)
{
    if (!is_root()) GTEST_SKIP() << "needs root: other users, ownership, bind mounts";
    ASSERT_GT(new_map().size(), 8u << 20);
    const std::string refused = "error: open 'map.bmp'\nerror: write bitmap file 'map.bmp'\n";
    const std::vector<replacement_case> cases = {
        {"another member's file in a shared folder stays theirs",
         [](const std::string& dir) {
             own(dir, 0, shared_group, 02775);
             write_file(dir + "/map.bmp", old_map);
             own(dir + "/map.bmp", other_user, shared_group, 0664);
         },
         true, "",
         [](const std::string& dir) {
             expect_owner(dir + "/map.bmp", other_user, shared_group);
             EXPECT_TRUE(read_file(dir + "/map.bmp") == new_map());
         }},
        {"a file with another name: both names show the new map",
         [](const std::string& dir) {
             write_file(dir + "/map.bmp", old_map);
             ASSERT_EQ(::link((dir + "/map.bmp").c_str(), (dir + "/other.bmp").c_str()), 0);
         },
         false, "",
         [](const std::string& dir) { EXPECT_TRUE(read_file(dir + "/other.bmp") == new_map()); }, 2},
        {"extended attributes and the ACL are kept",
         [](const std::string& dir) {
             write_file(dir + "/map.bmp", old_map);
             ASSERT_EQ(::setxattr((dir + "/map.bmp").c_str(), "user.zk", "note", 4, 0), 0);
             ASSERT_EQ(std::system(("setfacl -m u:" + std::to_string(user) + ":r '" + dir + "/map.bmp'").c_str()), 0);
         },
         false, "",
         [](const std::string& dir) {
             char value[8] = {};
             EXPECT_EQ(::getxattr((dir + "/map.bmp").c_str(), "user.zk", value, sizeof value), 4);
             EXPECT_STREQ(value, "note");
             EXPECT_GT(::getxattr((dir + "/map.bmp").c_str(), "system.posix_acl_access", nullptr, 0), 0);
         }},
        {"another user's writable file in a sticky folder is written into",
         [](const std::string& dir) {
             own(dir, 0, 0, 01777);
             write_file(dir + "/map.bmp", old_map);
             own(dir + "/map.bmp", other_user, other_user, 0666);
         },
         true, "",
         [](const std::string& dir) {
             expect_owner(dir + "/map.bmp", other_user, other_user);
             EXPECT_TRUE(read_file(dir + "/map.bmp") == new_map());
         }},
        {"a file the user may not write is refused",
         [](const std::string& dir) {
             own(dir, user, shared_group, 0755);
             write_file(dir + "/map.bmp", old_map);
             own(dir + "/map.bmp", user, shared_group, 0444);
         },
         true, refused, [](const std::string&) {}},
        {"root's file in the user's folder is refused",
         [](const std::string& dir) {
             own(dir, user, shared_group, 0755);
             write_file(dir + "/map.bmp", old_map);
         },
         true, refused, [](const std::string&) {}},
    };
    for (const replacement_case& c : cases) {
        SCOPED_TRACE(c.what);
        shared_dir dir;
        c.prepare(dir.path);
        const program_run run = draw_surface(dir.path, "map.bmp", c.as_user);
        EXPECT_EQ(run.output, c.console);
        EXPECT_EQ(run.status, c.console.empty() ? 0 : 1);
        if (!c.console.empty()) {
            EXPECT_TRUE(read_file(dir.path + "/map.bmp") == old_map);
        }
        c.check(dir.path);
        EXPECT_EQ(names_in(dir.path).size(), c.names);  // no new file left behind
    }
}

// A mount that ends with the test, however it ends.
struct mounted {
    std::string at;
    bool done = false;
    mounted(const std::string& source, const std::string& target, const char* type, unsigned long flags,
            const std::string& options)
        : at(target), done(::mount(source.c_str(), target.c_str(), type, flags, options.c_str()) == 0)
    {
    }
    ~mounted() { release(); }
    void release()
    {
        if (done) ::umount(at.c_str());
        done = false;
    }
};

TEST(Replacement, FullFileSystemsAndRefusedRenames)
{
    if (!is_root()) GTEST_SKIP() << "needs root: mounts";
    shared_dir dir;

    // No inode left for the new file: the earlier map stays whole.
    const std::string small = dir.path + "/small";
    std::filesystem::create_directory(small);
    mounted small_fs("zk-test", small, "tmpfs", 0, "size=64m,nr_inodes=8");
    if (!small_fs.done) GTEST_SKIP() << "tmpfs cannot be mounted here";
    write_file(small + "/map.bmp", new_map());
    for (int n = 0; std::FILE* filler = std::fopen((small + "/f" + std::to_string(n)).c_str(), "w"); ++n) std::fclose(filler);
    program_run run = draw_surface(small, "map.bmp");
    EXPECT_EQ(run.output, "error: open 'map.bmp'\nerror: write bitmap file 'map.bmp'\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(read_file(small + "/map.bmp") == new_map());
    small_fs.release();

    // A file mounted over another (its rename is refused) is written into.
    write_file(dir.path + "/map.bmp", old_map);
    write_file(dir.path + "/source.bmp", old_map);
    mounted bound(dir.path + "/source.bmp", dir.path + "/map.bmp", nullptr, MS_BIND, "");
    ASSERT_TRUE(bound.done);
    run = draw_surface(dir.path, "map.bmp");
    EXPECT_EQ(run.output, "");
    EXPECT_EQ(run.status, 0);
    bound.release();
    EXPECT_TRUE(read_file(dir.path + "/source.bmp") == new_map());

    // The same from a file system too small for the map: the copy fails, and the complete
    // new map is kept beside the target and named.
    const std::string tiny = dir.path + "/tiny";
    std::filesystem::create_directory(tiny);
    mounted tiny_fs("zk-test", tiny, "tmpfs", 0, "size=1m");
    ASSERT_TRUE(tiny_fs.done);
    write_file(tiny + "/source.bmp", old_map);
    mounted tiny_bound(tiny + "/source.bmp", dir.path + "/map.bmp", nullptr, MS_BIND, "");
    ASSERT_TRUE(tiny_bound.done);
    run = draw_surface(dir.path, "map.bmp");
    tiny_bound.release();
    tiny_fs.release();
    EXPECT_EQ(run.status, 1);
    const std::string kept_line = "error: the new map is kept as '";
    ASSERT_EQ(run.output.compare(0, kept_line.size(), kept_line), 0) << run.output;
    const std::string kept = run.output.substr(kept_line.size(), run.output.find('\'', kept_line.size()) - kept_line.size());
    EXPECT_EQ(run.output.substr(run.output.find('\n') + 1),
              "error: write bitmap 'map.bmp'\nerror: write bitmap file 'map.bmp'\n");
    EXPECT_TRUE(read_file(dir.path + "/" + kept) == new_map());
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
            ASSERT_EQ(names_in(folder), std::vector<std::string>{"map.bmp"}) << pause_ms << " ms";
            ASSERT_EQ(read_file(folder + "/map.bmp").size(), new_map().size());
        }
    }
}

} // namespace
