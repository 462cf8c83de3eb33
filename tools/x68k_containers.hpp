// The X68000/PC-98 floppy in the other forms players keep it in: D88, DIM, a headerless
// .hdm and a folder of the disk's files, written to OUTDIR/x68k-formats.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace sample {

// `image` is the 2HD disk's sectors in order (77 cylinders, 2 heads, 8 sectors of 1024
// bytes); `files` the disk's files by name. 0, or -1 after printing a line.
int write_x68k_containers(const std::filesystem::path& out_dir, const std::vector<uint8_t>& image,
                          const std::vector<std::pair<std::string, std::vector<uint8_t>>>& files);

}  // namespace sample
