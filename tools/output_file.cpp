// Output directories and files of the edition writers.

#include "sample_data.hpp"

#include <cstdio>
#include <fstream>

namespace sample {

const char* const group_file_base[4] = {"CASTLE", "DWELLING", "KEEP", "TOWNE"};

int make_output_dir(const std::filesystem::path& dir)
{
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        std::printf("error: create '%s'\n", dir.string().c_str());
        return -1;
    }
    return 0;
}

int write_output_file(const std::filesystem::path& path, const std::vector<uint8_t>& bytes, size_t expected)
{
    if (bytes.size() != expected) {
        std::printf("error: '%s' would be %zu bytes, not %zu\n", path.string().c_str(), bytes.size(), expected);
        return -1;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        std::printf("error: write '%s'\n", path.string().c_str());
        return -1;
    }
    return 0;
}

}  // namespace sample
