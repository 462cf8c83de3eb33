// The floor the mappers are measured against: copying files safely into a folder, the way
// a careful program replaces files. Each file is read whole, written to a new file in the
// target folder and renamed over the file of the same name there, in one process.
//
//   safe_copy FILE... DIR
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::printf("usage: safe_copy FILE... DIR\n");
        return 1;
    }
    const std::string dir = argv[argc - 1];
    std::vector<char> bytes;
    for (int i = 1; i < argc - 1; ++i) {
        const std::string source = argv[i];
        const std::string name = source.substr(source.rfind('/') + 1);
        const std::string target = dir + "/" + name, temporary = dir + "/." + name + ".tmp";
        const int in = ::open(source.c_str(), O_RDONLY);
        const off_t size = in < 0 ? -1 : ::lseek(in, 0, SEEK_END);
        if (size < 0) return 1;
        bytes.resize(static_cast<size_t>(size));
        if (::pread(in, bytes.data(), bytes.size(), 0) != size) return 1;
        ::close(in);
        const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (out < 0 || ::write(out, bytes.data(), bytes.size()) != size || ::close(out) != 0) return 1;
        if (std::rename(temporary.c_str(), target.c_str()) != 0) return 1;
    }
    return 0;
}
