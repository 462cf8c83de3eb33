// The disk forms in front of the FAT12 reader. The layouts, numbers little-endian:
//
// D88 header (0x2B0 bytes), then the tracks:
//   0x00  17       disk name, zero-terminated
//   0x1A  1        write protect
//   0x1B  1        media (0x00 2D, 0x10 2DD, 0x20 2HD)
//   0x1C  4        file length in bytes
//   0x20  164 x 4  file offset of each track (cylinder x heads + head); 0 for none
// D88 sector: a 16-byte header, then its data:
//   0  1  C, cylinder         1  1  H, head
//   2  1  R, sector (from 1)  3  1  N, size code: 128 << N bytes
//   4  2  sectors in this track
//   8  1  status: 0x00 good, 0x10 good with a deleted-data mark, anything else a read fault
//   14 2  data bytes following the header
//
// DIM header (256 bytes), then the stored tracks one after another:
//   0x00  1    media type (see dim_media_types)
//   0x01  170  one byte for each track (cylinder x heads + head): 1 stored, 0 absent
//   0xAB  11   "DIFC HEADER"
//
// FDI header (header-size bytes), then the disk's sectors in order:
//   0  4  zero            4  4  drive type        8  4  header size   12 4  data bytes
//   16 4  sector bytes    20 4  sectors per track 24 4  surfaces      28 4  cylinders
#include "disk_container.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bitmap/bytes.hpp"
#include "pc/pc_data.hpp"

namespace {

constexpr size_t d88_header_bytes = 0x2B0;
constexpr size_t d88_file_length = 0x1C;
constexpr size_t d88_track_table = 0x20;
constexpr int d88_tracks = 164;
constexpr size_t d88_sector_header_bytes = 16;
constexpr size_t d88_cylinder = 0;
constexpr size_t d88_head = 1;
constexpr size_t d88_sector = 2;
constexpr size_t d88_size_code = 3;
constexpr size_t d88_track_sectors = 4;
constexpr size_t d88_status = 8;
constexpr size_t d88_data_bytes = 14;
constexpr uint8_t d88_good = 0x00;
constexpr uint8_t d88_good_deleted = 0x10;
constexpr int d88_largest_size_code = 7;  // 16384 bytes
constexpr int d88_most_sectors = 64;      // sector counts above this are counted as this

constexpr size_t dim_header_bytes = 256;
constexpr size_t dim_media = 0x00;
constexpr size_t dim_track_flags = 0x01;
constexpr int dim_tracks = 170;
constexpr size_t dim_signature_at = 0xAB;
constexpr char dim_signature[] = "DIFC HEADER";

// The DIM media types read: the media byte and the disk length it stands for.
struct dim_media_type {
    uint8_t media;
    uint32_t image_bytes;
};
constexpr dim_media_type dim_media_types[] = {{0x00, 0x134000}};  // 2HD 1232 KB

constexpr size_t fdi_fields_bytes = 32;
constexpr size_t fdi_header_size_at = 8;
constexpr size_t fdi_data_bytes = 12;
constexpr size_t fdi_sector_bytes = 16;
constexpr size_t fdi_sectors = 20;
constexpr size_t fdi_surfaces = 24;
constexpr size_t fdi_cylinders = 28;

// What is known of a disk before its form is: the file, read whole when it can be a disk.
struct disk_probe {
    const char* path;
    int header_size;      // the build's
    bool folder;
    int64_t length;       // of the file
    std::vector<uint8_t> file;  // the whole file, or empty when too long to be a disk
};

bool read_whole(const disk_probe& probe) { return probe.length == static_cast<int64_t>(probe.file.size()); }

bool recognises(disk_form form, const disk_probe& probe)
{
    const fat_geometry* geometry = nullptr;
    switch (form) {
    case disk_form::folder: return probe.folder;
    case disk_form::d88: return is_d88(probe.file.data(), probe.file.size());
    case disk_form::dim: return is_dim(probe.file.data(), probe.file.size());
    case disk_form::fdi: return fdi_header_size(probe.file.data(), probe.file.size(), geometry) >= 0;
    case disk_form::header_rule: return read_whole(probe) && geometry_of(probe.length, probe.header_size);
    case disk_form::headerless: return read_whole(probe) && geometry_of(probe.length, 0);
    }
    return false;
}

// Opens the recognised disk in `form`. 0 or -1 after the lines.
int open_as(disk_form form, disk_probe& probe, disk_image& disk)
{
    const fat_geometry* geometry = nullptr;
    std::vector<uint8_t> sectors;
    int status = 0;
    switch (form) {
    case disk_form::folder:
        disk.folder = probe.path;
        return 0;
    case disk_form::d88:
        status = decode_d88(probe.file.data(), probe.file.size(), probe.path, sectors, geometry);
        break;
    case disk_form::dim:
        status = decode_dim(probe.file.data(), probe.file.size(), probe.path, sectors, geometry);
        break;
    case disk_form::fdi: {
        const int header = fdi_header_size(probe.file.data(), probe.file.size(), geometry);
        return adopt_fat_image(disk.image, probe.file, header, *geometry, probe.path);
    }
    case disk_form::header_rule:
        return adopt_fat_image(disk.image, probe.file, probe.header_size, *geometry_of(probe.length, probe.header_size),
                               probe.path);
    case disk_form::headerless:
        return adopt_fat_image(disk.image, probe.file, 0, *geometry_of(probe.length, 0), probe.path);
    }
    if (status < 0) return -1;
    return adopt_fat_image(disk.image, sectors, 0, *geometry, probe.path);
}

int read_folder_file(const std::string& folder, const char* name, uint8_t* buffer, int buffer_size)
{
    std::string path;
    std::FILE* stream = nullptr;
    if (open_data_file(folder.c_str(), name, path, stream) < 0) return -1;
    if (!stream) {
        std::printf("can't find '%s'\n", name);
        return -1;
    }
    off_t length = -1;
    if (fseeko(stream, 0, SEEK_END) != 0 || (length = ftello(stream)) < 0 || fseeko(stream, 0, SEEK_SET) != 0) {
        std::fclose(stream);
        std::printf("read error '%s'\n", path.c_str());
        return -1;
    }
    if (check_file_size(name, static_cast<int64_t>(length), buffer_size) < 0) {
        std::fclose(stream);
        return -1;
    }
    const size_t size = static_cast<size_t>(length);
    const size_t read = size ? std::fread(buffer, 1, size, stream) : 0;
    std::fclose(stream);
    if (read != size) {
        std::printf("read error '%s'\n", path.c_str());
        return -1;
    }
    return 0;
}

const fat_geometry* geometry_of_sectors(int bytes_per_sector, int sectors_per_track)
{
    for (const fat_geometry& row : fat_geometries)
        if (row.bytes_per_sector == bytes_per_sector && row.sectors_per_track == sectors_per_track) return &row;
    return nullptr;
}

uint32_t d88_track_offset(const uint8_t* file, int track) { return get_u32_le(file + d88_track_table + 4 * track); }

} // namespace

bool is_d88(const uint8_t* file, size_t size)
{
    if (size < d88_header_bytes || get_u32_le(file + d88_file_length) != size) return false;
    bool any = false;
    for (int t = 0; t < d88_tracks; ++t) {
        const uint32_t offset = d88_track_offset(file, t);
        if (offset == 0) continue;
        if (offset < d88_header_bytes || offset > size - d88_sector_header_bytes) return false;
        any = true;
    }
    return any;
}

int decode_d88(const uint8_t* file, size_t size, const char* path, std::vector<uint8_t>& sectors,
               const fat_geometry*& geometry)
{
    // The geometry: the size of the first sector, and the sector count that most tracks
    // state (so that one track short of a sector, or with one too many, is named below).
    int size_code = -1;
    int tracks_stating[d88_most_sectors + 1] = {};
    for (int t = 0; t < d88_tracks; ++t) {
        const uint32_t offset = d88_track_offset(file, t);
        if (offset == 0) continue;
        if (size_code < 0) size_code = file[offset + d88_size_code];
        ++tracks_stating[std::min<int>(get_u16_le(file + offset + d88_track_sectors), d88_most_sectors)];
    }
    const int stated = static_cast<int>(std::max_element(tracks_stating, tracks_stating + d88_most_sectors) - tracks_stating);
    const int sector_bytes = size_code >= 0 && size_code <= d88_largest_size_code ? 128 << size_code : 0;
    geometry = geometry_of_sectors(sector_bytes, stated);
    if (!geometry) {
        std::printf("error: '%s' has sectors of %d bytes, %d a track: no disk format this program reads\n", path,
                    sector_bytes, stated);
        return -1;
    }
    const fat_geometry& g = *geometry;
    sectors.assign(g.image_bytes, 0);
    std::vector<bool> filled(static_cast<size_t>(g.total_sectors), false);
    for (int t = 0; t < d88_tracks; ++t) {
        size_t at = d88_track_offset(file, t);
        if (at == 0) continue;
        // Every sector read moves on by at least its header, within the file.
        const int count = get_u16_le(file + at + d88_track_sectors);
        for (int k = 0; k < count; ++k) {
            if (at + d88_sector_header_bytes > size) {
                std::printf("error: track %d of '%s' is cut short\n", t, path);
                return -1;
            }
            const uint8_t* header = file + at;
            const int cylinder = header[d88_cylinder], head = header[d88_head], r = header[d88_sector];
            const uint8_t status = header[d88_status];
            const size_t data = get_u16_le(header + d88_data_bytes);
            at += d88_sector_header_bytes;
            if (data > size - at) {
                std::printf("error: track %d sector %d of '%s' is cut short\n", t, r, path);
                return -1;
            }
            if (status != d88_good && status != d88_good_deleted) {
                std::printf("error: track %d sector %d unreadable in '%s' (status 0x%02X)\n", t, r, path, status);
                return -1;
            }
            if (data != static_cast<size_t>(g.bytes_per_sector) || header[d88_size_code] != size_code) {
                std::printf("error: track %d sector %d of '%s' has %d bytes, not %d\n", t, r, path,
                            static_cast<int>(data), g.bytes_per_sector);
                return -1;
            }
            const int place = (cylinder * g.heads + head) * g.sectors_per_track + r - 1;
            if (cylinder >= static_cast<int>(g.cylinders) || head >= g.heads || r < 1 || r > g.sectors_per_track ||
                filled[static_cast<size_t>(place)]) {
                std::printf("error: track %d sector %d of '%s' is extra (cylinder %d head %d)\n", t, r, path,
                            cylinder, head);
                return -1;
            }
            std::memcpy(sectors.data() + static_cast<size_t>(place) * data, file + at, data);
            filled[static_cast<size_t>(place)] = true;
            at += data;
        }
    }
    const auto missing = std::find(filled.begin(), filled.end(), false);
    if (missing != filled.end()) {
        const int place = static_cast<int>(missing - filled.begin());
        std::printf("error: track %d sector %d missing in '%s'\n", place / g.sectors_per_track,
                    place % g.sectors_per_track + 1, path);
        return -1;
    }
    return 0;
}

bool is_dim(const uint8_t* file, size_t size)
{
    if (size < dim_header_bytes ||
        std::memcmp(file + dim_signature_at, dim_signature, sizeof dim_signature - 1) != 0)
        return false;
    return std::all_of(file + dim_track_flags, file + dim_track_flags + dim_tracks, [](uint8_t f) { return f <= 1; });
}

int decode_dim(const uint8_t* file, size_t size, const char* path, std::vector<uint8_t>& sectors,
               const fat_geometry*& geometry)
{
    geometry = nullptr;
    for (const dim_media_type& type : dim_media_types)
        if (type.media == file[dim_media]) geometry = geometry_of(type.image_bytes, 0);
    if (!geometry) {
        std::printf("error: '%s' has media type %d: no disk format this program reads\n", path, file[dim_media]);
        return -1;
    }
    const size_t track_bytes = static_cast<size_t>(geometry->sectors_per_track) * geometry->bytes_per_sector;
    const int tracks = static_cast<int>(geometry->cylinders) * geometry->heads;  // at most dim_tracks
    sectors.assign(geometry->image_bytes, 0);
    size_t at = dim_header_bytes;
    for (int t = 0; t < tracks; ++t) {
        if (!file[dim_track_flags + static_cast<size_t>(t)]) continue;
        if (track_bytes > size - at) {
            std::printf("error: track %d of '%s' is cut short\n", t, path);
            return -1;
        }
        std::memcpy(sectors.data() + static_cast<size_t>(t) * track_bytes, file + at, track_bytes);
        at += track_bytes;
    }
    return 0;
}

int fdi_header_size(const uint8_t* file, size_t size, const fat_geometry*& geometry)
{
    geometry = nullptr;
    if (size < fdi_fields_bytes) return -1;
    const uint32_t header = get_u32_le(file + fdi_header_size_at);
    const uint32_t data = get_u32_le(file + fdi_data_bytes);
    if (header < fdi_fields_bytes || header > size || size - header != data) return -1;
    for (const fat_geometry& row : fat_geometries)
        if (row.image_bytes == data && get_u32_le(file + fdi_sector_bytes) == static_cast<uint32_t>(row.bytes_per_sector) &&
            get_u32_le(file + fdi_sectors) == static_cast<uint32_t>(row.sectors_per_track) &&
            get_u32_le(file + fdi_surfaces) == static_cast<uint32_t>(row.heads) &&
            get_u32_le(file + fdi_cylinders) == row.cylinders) {
            geometry = &row;
            return static_cast<int>(header);
        }
    return -1;
}

int open_disk_image(disk_image& disk, const char* path, int header_size)
{
    close_disk_image(disk);
    disk_probe probe{path, header_size, false, -1, {}};
    struct stat status;
    probe.folder = stat(path, &status) == 0 && S_ISDIR(status.st_mode);
    if (!probe.folder) {
        std::FILE* stream = open_image_stream(path, probe.length);
        if (!stream) return -1;
        if (probe.length > largest_disk_file)
            std::fclose(stream);  // longer than any form: refused unread
        else if (read_image_stream(stream, path, static_cast<size_t>(probe.length), probe.file) < 0)
            return -1;
    }
    for (const disk_form form : disk_recognition_order) {
        if (!recognises(form, probe)) continue;
        if (open_as(form, probe, disk) < 0) {
            close_disk_image(disk);
            return -1;
        }
        return 0;
    }
    std::printf("unsupported image '%s'\n", path);
    std::printf("error: '%s' is not a disk image this program reads (XDF, HDM, FDI, D88, DIM, or a folder of the "
                "disk's files)\n", path);
    return -1;
}

void close_disk_image(disk_image& disk)
{
    disk = disk_image{};
}

int read_disk_file(const disk_image& disk, const char* name, uint8_t* buffer, int buffer_size)
{
    if (disk.folder.empty()) return read_image_file(disk.image, name, buffer, buffer_size, true);
    return read_folder_file(disk.folder, name, buffer, buffer_size);
}

int open_disk_once(disk_image& disk, const char* path, int header_size)
{
    if (!disk.folder.empty() || !disk.image.image_data.empty()) return 0;
    if (open_disk_image(disk, path, header_size) < 0) {
        std::printf("error: read disk image '%s'\n", path);
        return -1;
    }
    return 0;
}

int read_file_from_image(disk_image& disk, const char* image_path, const char* name, uint8_t* buffer,
                         int buffer_size, int header_size)
{
    if (open_disk_once(disk, image_path, header_size) < 0) return -1;
    if (read_disk_file(disk, name, buffer, buffer_size) < 0) {
        std::printf("error: read disk image '%s/%s'\n", image_path, name);
        return -1;
    }
    return 0;
}
