// The output folder, chosen locations, kept files and --version in all seven programs, run
// end to end on the sample data set.
#include <algorithm>

#include "program_support.hpp"

namespace {

struct workflow_case {
    std::string program;
    std::vector<std::string> arguments;  // a leading '@' stands for the sample data folder
    std::vector<std::string> existing;   // files made beforehand, holding "old"
    int status;
    std::string console;                 // a part of what the run prints
    std::vector<std::string> files;      // files afterwards ("=old": still the earlier one)
    size_t count = 0;                    // how many in all, when more than those listed
};

// Every file under `dir`, relative, with "=old" after those that still hold "old".
std::vector<std::string> files_under(const std::filesystem::path& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        if (!entry.is_regular_file()) continue;
        const std::vector<uint8_t> bytes = read_file(entry.path().string());
        names.push_back(entry.path().lexically_relative(dir).string() +
                        (std::string(bytes.begin(), bytes.end()) == "old" ? "=old" : ""));
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(Workflow, OutputFolderLocationsSkippingAndVersion)
{
    const std::string tiles = "@/pc/TILES.16", pc = "@/pc", xdf = "@/x68k/zk-britannia.xdf",
                      fdi = "@/x68k/ZK_Britania.fdi";
    std::vector<workflow_case> cases = {
        {"garvik", {"--ega", tiles, "-n", "-L", "castle britannia", "-o", "a/b", "--location", "YEW", pc}, {}, 0,
         "[Yew]\n",
         {"a/b/zk.Castle_Britannia.1F.12.bmp", "a/b/zk.Castle_Britannia.2F.12.bmp", "a/b/zk.Castle_Britannia.3F.12.bmp",
          "a/b/zk.Castle_Britannia.4F.12.bmp", "a/b/zk.Castle_Britannia.B1F.12.bmp", "a/b/zk.Yew.1F.12.bmp",
          "a/b/zk.Yew.B1F.12.bmp"}},
        {"garvik", {"-o", "d", "-L", "Nowhere", "-L", "Yew"}, {}, 1,
         "error: no location 'Nowhere'\nlocations:\n Castle_Britannia Blackthorn's_Palace", {}},
        {"calvik", {"-d", xdf, "-n", "-h", "7", "-L", "Serpent's Hold", "-L", "new_magincia"}, {}, 0, "",
         {"zk.New_Magincia.1F.07.bmp", "zk.New_Magincia.2F.07.bmp", "zk.Serpent's_Hold.1F.07.bmp",
          "zk.Serpent's_Hold.2F.07.bmp", "zk.Serpent's_Hold.B1F.07.bmp"}},
        {"dunvik", {"-d", fdi, "-n", "-L", "serpent's_hold", "-T"}, {}, 0, "",
         {"zk.Moonglow.1F.12.bmp", "zk.Serpent's_Hold.B1F.12.bmp"}, 19},
        {"brevik", {"-n", "-L", "yew", "-o", "o", "--skip-existing", "-d1", "@/apple2/zk-program.dsk", "-d5",
                    "@/apple2/zk-towne.dsk"}, {"o/zk.Yew.1F.12.bmp"}, 0,
         "skip 'o/zk.Yew.1F.12.bmp' (exists)\n", {"o/zk.Yew.1F.12.bmp=old", "o/zk.Yew.B1F.12.bmp"}},
        {"holvik", {"--ega", tiles, "-o", "out/", "-b", "b.bmp", pc}, {}, 0, "", {"b.bmp", "out/zk.Underworld.bmp"}},
        {"holvik", {"--ega", tiles, "-o", "file/x", pc}, {"file"}, 1, "error: can't create directory 'file/x'\n",
         {"file=old"}},
        {"eskvik", {"-d", xdf, "--skip-existing"}, {"zk.Britannia.bmp"}, 0, "skip 'zk.Britannia.bmp' (exists)\n",
         {"zk.Britannia.bmp=old", "zk.Underworld.bmp"}},
        {"felvik", {"-d", fdi, "--skip-existing", "--overwrite"}, {"zk.Britannia.bmp"}, 0, "",
         {"zk.Britannia.bmp", "zk.Underworld.bmp"}},
        {"felvik", {"-d", fdi, "--overwrite", "--skip-existing", "-o", "o"}, {"o/zk.Underworld.bmp"}, 0,
         "skip 'o/zk.Underworld.bmp' (exists)\n", {"o/zk.Britannia.bmp", "o/zk.Underworld.bmp=old"}},
    };
    for (const char* name : {"garvik", "holvik", "brevik", "calvik", "dunvik", "eskvik", "felvik"})
        cases.push_back({name, {"-o", "never", "--version", "--bad"}, {}, 0, name + std::string(" " ZK_VERSION "\n"), {}});

    const std::string data = sample_data(ZK_MAKE_SAMPLE_DATA);
    for (workflow_case& c : cases) {
        SCOPED_TRACE(c.program + " " + testing::PrintToString(c.arguments));
        scratch_dir dir;
        for (const std::string& name : c.existing) {
            std::filesystem::create_directories((dir.path / name).parent_path());
            write_file(dir / name, {'o', 'l', 'd'});
        }
        for (std::string& argument : c.arguments)
            if (argument[0] == '@') argument = data + argument.substr(1);
        const program_run run = run_program(std::string(ZK_PROGRAMS "/") + c.program, c.arguments, dir.path.string());
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.output.find(c.console), std::string::npos) << run.output;
        const std::vector<std::string> files = files_under(dir.path);
        EXPECT_EQ(files.size(), c.count ? c.count : c.files.size()) << testing::PrintToString(files);
        for (const std::string& name : c.files) EXPECT_TRUE(std::binary_search(files.begin(), files.end(), name)) << name;
    }
}

} // namespace
