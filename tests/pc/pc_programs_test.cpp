// holvik and garvik on compressed tile files and a data directory with lower-case names:
// the same console and the same files as on the decoded files and the original names.
#include <cctype>
#include <filesystem>
#include <map>

#include "pc_test_support.hpp"

namespace {

std::map<std::string, std::vector<uint8_t>> files_in(const scratch_dir& dir)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path))
        files[entry.path().filename().string()] = read_file(entry.path().string());
    return files;
}

std::string lower_case(std::string name)
{
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

TEST(PcPrograms, CompressedTilesAndLowerCaseNames)
{
    // The sample game folder holds the tile files compressed, as the game ships them.
    scratch_dir copy;
    for (const auto& entry : std::filesystem::directory_iterator(sample_pc_data()))
        write_file(copy / lower_case(entry.path().filename().string()), read_file(entry.path().string()));
    struct run_case {
        std::string program;
        std::string option, tiles;
        std::vector<std::string> extra;
        size_t files;
    };
    const run_case cases[] = {{ZK_HOLVIK, "--ega", "TILES.16", {}, 2}, {ZK_GARVIK, "--cga", "TILES.4", {"-T"}, 16}};
    for (const run_case& c : cases) {
        SCOPED_TRACE(c.program + " " + c.option);
        std::vector<std::string> plain = {c.option, sample_pc_data() + "/../pc-decoded/" + c.tiles, sample_pc_data()};
        std::vector<std::string> packed = {c.option, copy / lower_case(c.tiles), copy.path.string()};
        plain.insert(plain.end(), c.extra.begin(), c.extra.end());
        packed.insert(packed.end(), c.extra.begin(), c.extra.end());
        scratch_dir plain_out, packed_out;
        const program_run plain_run = run_program(c.program, plain, plain_out.path.string());
        const program_run packed_run = run_program(c.program, packed, packed_out.path.string());
        EXPECT_EQ(plain_run.status, 0);
        EXPECT_EQ(packed_run.status, 0);
        EXPECT_EQ(packed_run.output, plain_run.output);
        const auto files = files_in(packed_out);
        EXPECT_EQ(files.size(), c.files);
        EXPECT_TRUE(files == files_in(plain_out));
    }
    std::vector<uint8_t> cut = read_file(copy / "tiles.16");
    cut.resize(cut.size() / 2);
    write_file(copy / "cut.16", cut);
    scratch_dir out;
    const program_run broken = run_program(ZK_HOLVIK, {"--ega", copy / "cut.16", copy.path.string()}, out.path.string());
    EXPECT_EQ(broken.status, 1);
    EXPECT_EQ(broken.output, "error: decode '" + (copy / "cut.16") + "'\nerror: read shape data '" + (copy / "cut.16") + "'\n");
}

} // namespace
