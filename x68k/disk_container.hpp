// The disk a program is given with -d, in whatever form it comes: a folder of the disk's
// files, or an image file recognised by its content. Each image form is turned into what the
// FAT12 reader takes (see fat12.hpp): the disk's sectors in order behind a header it skips.
//
// Forms, tried in the order of disk_recognition_order:
//   folder      a directory: the files are read from it, their names in any letter case
//   d88         D88/D68: a 0x2B0-byte header stating the file length, then tracks of sectors,
//               each sector with its own cylinder/head/sector/size header
//   dim         DIM: a 256-byte header ("DIFC HEADER" at 0xAB) with a media byte and a
//               flag for each track stored; absent tracks read as zero bytes
//   fdi         FDI: a header stating its own size and the disk's geometry
//   header_rule the file length minus the build's header size is a disk of the geometry
//               table (the FAT12 reader's own rule)
//   headerless  the file length alone is a disk of the geometry table (XDF, HDM)
// Anything else is refused with "unsupported image '%s'" and the line naming the forms read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "x68k/fat12.hpp"

// One disk, open. The caller owns the record; the record owns its buffers.
struct disk_image {
    std::string folder;  // non-empty: the disk's files are read from this folder
    fat_image image;     // otherwise the image, sector 0 at image.header_size
};

enum class disk_form { folder, d88, dim, fdi, header_rule, headerless };

// The recognition order: the first form that recognises the file decides.
inline constexpr disk_form disk_recognition_order[] = {
    disk_form::folder, disk_form::d88, disk_form::dim, disk_form::fdi, disk_form::header_rule, disk_form::headerless,
};

// The longest file any form can be; a longer one is refused unread.
constexpr int64_t largest_disk_file = 0x400000;

// Opens the disk at `path`; header_size is the build's header size for the header rule.
// 0, or -1 with the record cleared after the FAT12 reader's lines ("open error '%s'", "seek
// error ...", "memory exhausted!", "read error '%s'", "unsupported image '%s'", "can't get
// fat ...") or a decoder's "error: " line.
int open_disk_image(disk_image& disk, const char* path, int header_size);
// Releases the buffers and clears the record.
void close_disk_image(disk_image& disk);

// Copies the disk's file `name` (any letter case) into `buffer`, with the FAT12 reader's
// size rules and lines; a folder's file that cannot be opened is "can't find '%s'", one that
// cannot be read "read error '%s'". 0 or -1.
int read_disk_file(const disk_image& disk, const char* name, uint8_t* buffer, int buffer_size);

// Opens the disk at `path` into `disk` unless it is open already, so that a run reads its
// image once. 0, or -1 after open_disk_image's lines and "error: read disk image '%s'".
int open_disk_once(disk_image& disk, const char* path, int header_size);
// Reads `name` from the disk at `image_path`, opened into `disk` first unless it is open
// already (a caller reading several files keeps the record, and the image is read once).
// 0 or -1, adding "error: read disk image '%s'" or "error: read disk image '%s/%s'" to the
// lines above.
int read_file_from_image(disk_image& disk, const char* image_path, const char* name, uint8_t* buffer,
                         int buffer_size, int header_size);

// The decoders. Each recognises its form (is_*), then turns a file it recognised into the
// disk's sectors in order with the row of the geometry table they fill. decode_* give 0, or
// -1 after an "error: " line naming the file (and for D88 the track and sector).
bool is_d88(const uint8_t* file, size_t size);
int decode_d88(const uint8_t* file, size_t size, const char* path, std::vector<uint8_t>& sectors,
               const fat_geometry*& geometry);
bool is_dim(const uint8_t* file, size_t size);
int decode_dim(const uint8_t* file, size_t size, const char* path, std::vector<uint8_t>& sectors,
               const fat_geometry*& geometry);
// An FDI header that states its own size and a disk of the geometry table filling the rest
// of the file: the header size, with `geometry` set; else -1.
int fdi_header_size(const uint8_t* file, size_t size, const fat_geometry*& geometry);
