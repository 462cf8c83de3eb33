// The atlas of a run's maps: which files in the map folders are maps (by the names the
// mappers give them), reading them (BMP or PNG), cutting each into a tile pyramid, and the
// pages that browse them offline.
//
// An atlas folder:
//   index.html                      thumbnails grouped by map folder
//   atlas.css, viewer.js            the pages' style and the viewer's code
//   openseadragon/                  the deep-zoom library and its licence
//   NN-FOLDER/STEM.html             one viewer page per map
//   NN-FOLDER/STEM_files/L/X_Y.png  its pyramid: level L (the library's numbering, the map's
//                                   own size at the highest), tile column X, tile row Y
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bitmap/bitmap.hpp"

struct output_file;
struct png_writer;

enum class map_kind { world, settlement };

// What a map's default name tells: zk.Britannia.EXT and zk.Underworld.EXT are world maps;
// zk.LOCATION.LEVEL.HH.EXT (or without the hour) a settlement level.
struct map_name {
    map_kind kind = map_kind::world;
    std::string location;  // "Britannia", "Underworld", or the settlement location
    std::string level;     // "B1F", "1F" to "4F"; empty for world maps
    int level_order = 0;   // -1 basement, 0 ground floor, 1-3 upper floors
    int hour = -1;         // 0-23, or -1 when the name has none
    bool png = false;      // the file is PNG, else BMP
};

constexpr int other_settlement_group = 4;  // locations of no known group

struct atlas_map {
    std::string path;      // the file as found
    int folder = 0;        // index into the folder list
    map_name name;
    int group = 0;         // settlement group 0-3, or other_settlement_group
    std::string stem;      // the file name of its page and pyramid, without extension
    uint32_t width = 0;
    uint32_t height = 0;
    bool written = false;  // its pyramid is in the atlas
};

struct atlas_catalog {
    std::vector<std::string> folders;  // the folders that hold maps, as found
    std::vector<atlas_map> maps;       // by folder, then world maps, then groups, locations, levels, hours
};

// 0 with `name` filled when `file_name` is a map's default name, else -1.
int parse_map_name(const std::string& file_name, map_name& name);

// Walks the folders (and the folders inside them, but not `skipped`, the atlas being written)
// for maps. Every other file is printed as "ignored '%s'\n". 0, or -1 after an error line
// for a folder that cannot be read (the maps of the others are still found).
int find_maps(const std::vector<std::string>& roots, const std::string& skipped, atlas_catalog& catalog);

// A map picture as read: an image of 1 byte per pixel with its palette (from indexed
// files), or of 2, 3 or 4 bytes per pixel.
struct map_picture {
    bitmap_image image;
    std::vector<palette_entry> palette;
};

// Reads a BMP or PNG map. 0, or -1 after the reader's line.
int read_map_picture(const std::string& path, bool png, map_picture& picture);

// The pyramid of a map: tiles of tile_size pixels; level `top_level` is the map itself,
// each level below half the one above (rounded up), down to `bottom_level`, the first
// that fits in one tile (the thumbnail).
constexpr uint32_t tile_size = 256;
struct pyramid_shape {
    int top_level = 0;
    int bottom_level = 0;
};
pyramid_shape pyramid_shape_of(uint32_t width, uint32_t height);

// Writes the pyramid of `picture` as PNG tiles into the folder `folder` (made here), through
// `out` and `png`, which keep their buffers from map to map. 0, or -1 after an error line
// naming the file that could not be written.
int write_pyramid(const bitmap_image& picture, const std::string& folder, output_file& out, png_writer& png);

// The file extension of the tiles.
extern const char* const tile_extension;

// Writes index.html, the viewer pages and the files they use into `atlas_folder`.
// 0, or -1 after an error line.
int write_atlas_pages(const atlas_catalog& catalog, const std::string& atlas_folder, output_file& out);

// The folder of a map inside the atlas, relative to the atlas folder ("03-out_pc_world").
std::string atlas_folder_name(const atlas_catalog& catalog, int folder);

// Writes `bytes` to `path` whole or not at all. 0, or -1 after "error: write '%s'\n".
int write_whole_file(output_file& out, const std::string& path, const void* bytes, size_t size);
