// Reading files out of XDF (X68000) and FDI (PC-98) floppy images with a FAT12 file system.
//
// An image file is `header_size` bytes of header (0 for XDF, 4096 for FDI), skipped unread,
// followed by the disk's sectors. The format is known by the length alone (length minus
// header, see fat_geometries); the boot sector is never read. Every format lays the disk
// out the same way:
//
//   sector 0                      boot sector
//   fat_start ..                  FAT copy 1, fat_sectors sectors (the only one read)
//   fat_start + fat_sectors ..    FAT copy 2
//   root_start ..                 root directory, root_entries entries of 32 bytes
//   first_data_sector ..          data clusters 2 .. N+1, sectors_per_cluster sectors each
//
// FAT12 packing: the bytes b0 b1 b2 at FAT byte 3k hold entry 2k = b0 | (b1 & 0x0F) << 8 and
// entry 2k+1 = b1 >> 4 | b2 << 4. Entry c is the next cluster after c; 0 is free and any
// value of 0xFF0 or more ends a chain.
//
// Directory entry (32 bytes, numbers little-endian):
//   0   8  name, padded with spaces (a real first byte 0xE5 is stored as 0x05; 0xE5 = deleted)
//   8   3  extension, padded with spaces
//   11  1  attributes
//   22  2  time
//   24  2  date
//   26  2  first cluster
//   28  4  file size, bytes
//
// The reader's own lines carry no "error: " prefix; its callers add their own lines.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

// One known disk format, keyed by the image length minus the header size.
struct fat_geometry {
    uint32_t image_bytes;          // length of the image minus its header
    const char* disk;
    uint32_t cylinders;
    int32_t heads;
    int32_t sectors_per_track;
    int32_t bytes_per_sector;
    int32_t total_sectors;
    int32_t fat_start;             // first sector of FAT copy 1
    int32_t fat_sectors;           // sectors per FAT copy
    int32_t root_start;            // first sector of the root directory
    uint32_t root_entries;
    uint32_t root_sectors;
    int32_t first_data_sector;     // sector of cluster 2
    int32_t sectors_per_cluster;
};

// The formats, tested in this order.
inline constexpr fat_geometry fat_geometries[] = {
    {0x134000, "2HD 1232 KB", 77, 2, 8, 1024, 1232, 1, 2, 5, 192, 6, 11, 1},
    {0xB4000, "2DD 720 KB", 80, 2, 9, 512, 1440, 1, 3, 7, 112, 7, 14, 2},
    {0xA0000, "2DD 640 KB", 80, 2, 8, 512, 1280, 1, 2, 5, 112, 7, 12, 2},
};

constexpr int dir_entry_bytes = 32;
constexpr int dir_name_bytes = 11;  // 8 name bytes and 3 extension bytes

// One image loaded whole. The caller owns the record; the record owns its buffers.
struct fat_image {
    int32_t header_size = 0;
    uint32_t image_size = 0;              // bytes of the image file, header included
    std::vector<uint8_t> image_data;      // the whole file
    int32_t cluster_count = 0;            // N: data clusters are 2 .. N+1
    std::vector<int32_t> cluster_links;   // the decoded FAT, entries 0 .. N+1 (even count)
    fat_geometry geometry{};
};

// The table row whose key is length - header_size; nullptr for none (also for a negative
// header size, which would put sectors before the start of the file).
const fat_geometry* geometry_of(int64_t length, int header_size);

// Opens `path` for reading and finds its length: the stream, or nullptr after "open error
// '%s'" or "seek error '%s' (SEEK_END)"/"(SEEK_SET)".
std::FILE* open_image_stream(const char* path, int64_t& length);
// Reads the `length` bytes of `stream` into `data` with one request and closes the stream.
// 0, or -1 after "memory exhausted!" or "read error '%s'".
int read_image_stream(std::FILE* stream, const char* path, size_t length, std::vector<uint8_t>& data);
// Makes `data` (a whole image file, header_size bytes ahead of sector 0; taken over, left
// empty) the open image of `geometry` and decodes its FAT. 0, or -1 after "can't get fat
// '%s' offset=%08X" with the record released and cleared.
int adopt_fat_image(fat_image& image, std::vector<uint8_t>& data, int header_size, const fat_geometry& geometry,
                    const char* path);

// Loads the image at `path` and decodes its FAT. 0, or -1 with `image` released and cleared.
// Prints "open error '%s'", "seek error '%s' (SEEK_END)"/"(SEEK_SET)", "unsupported image
// '%s'", "memory exhausted!", "read error '%s'", "can't get fat '%s' offset=%08X".
int open_fat_image(fat_image& image, const char* path, int header_size);
// Releases the buffers and clears the record; closing a cleared record does nothing.
void close_fat_image(fat_image& image);

// Decodes FAT copy 1 into cluster_links and sets cluster_count. 0 or -1 (after "can't
// calculate FAT size" or "memory exhausted!", or silently without image data).
int load_fat(fat_image& image);
// The FAT entry of `cluster`, or -1 for a cluster number outside 0 .. N+1.
int next_cluster(const fat_image& image, int cluster);
// The first sector of data cluster `cluster` (2 .. N+1), else -1.
int cluster_to_sector(const fat_image& image, int cluster);
// Byte offset of sector `sector` in image_data, or -1 for a sector outside the disk.
int64_t sector_offset(const fat_image& image, int sector);

// The 11-byte directory form of `name` ("TILES.CH" -> "TILES   CH "), zero-terminated.
// 0, or -1 when characters are left over (a base over 8 or an extension over 3 characters).
int make_dir_name(const char* name, uint8_t (&dir_name)[dir_name_bytes + 1]);
// Scans every entry of the root directory for `dir_name` (exactly, or ignoring the case of
// ASCII letters). The 32-byte entry in image_data, or nullptr.
const uint8_t* find_dir_entry(const fat_image& image, const uint8_t (&dir_name)[dir_name_bytes + 1],
                              bool ignore_case);

// The size check of a file read into a buffer: 0 (after "file size mismatch '%s' %d != %d
// ... ignored" for a short file), or -1 after "file size error '%s' %u > %d".
int check_file_size(const char* name, int64_t size, int buffer_size);

// Copies the root-directory file `name` into `buffer` (buffer_size bytes). A file shorter
// than the buffer is copied with a warning; the rest of the buffer is left as it was.
// 0 or -1; prints "illegal filename '%s'", "can't find '%s'", "file size error '%s' %u > %d",
// "file size mismatch '%s' %d != %d ... ignored", "illegal cluster 0x%X", "can't get sector
// from cluster 0x%X".
int read_image_file(const fat_image& image, const char* name, uint8_t* buffer, int buffer_size, bool ignore_case);
