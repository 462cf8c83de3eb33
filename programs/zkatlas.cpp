// zkatlas: an atlas of the maps the mappers wrote. Finds the maps in the folders given by
// their default names, cuts each into a tile pyramid and writes pages to browse them
// offline: DIR/index.html with a thumbnail of every map, and a zoomable viewer per map.
//
// The atlas is made in a new folder beside DIR and put in DIR's place when complete, or,
// with --overwrite, written into DIR as it stands.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "atlas/atlas.hpp"
#include "bitmap/command_line.hpp"
#include "bitmap/output.hpp"
#include "bitmap/png.hpp"

namespace fs = std::filesystem;

namespace {

enum atlas_option_id : option_id { option_output = 400 };

constexpr option_spec atlas_options[] = {
    {{"-?", "--help"}, option_help, nullptr},
    {{"-o", "--output"}, option_output, "error: no output folder"},
    {{"--overwrite"}, option_overwrite, nullptr},
};
constexpr const char* atlas_usage[] = {
    "usage: %s [-o DIR] [--overwrite] MAP-FOLDER...\n",
    "option:",
    "        -o|--output DIR         write the atlas into DIR (default: atlas)",
    "           --overwrite          write into DIR as it stands, without asking",
    "        -?|--help               print usage",
    "the maps are found by their default names in the MAP-FOLDERs and the folders inside them",
};

struct atlas_settings {
    std::string output = "atlas";
    bool overwrite = false;
    std::vector<std::string> folders;
};

int parse_command_line(int argc, char** argv, atlas_settings& settings)
{
    const option_table tables[] = {atlas_options};
    const usage_text usage[] = {atlas_usage};
    const char* name[] = {program_name(argc, argv, "zkatlas")};
    argument_cursor cursor{argc, argv, 1};
    parsed_argument argument;
    int status;
    while ((status = next_argument(cursor, tables, argument)) > 0) {
        switch (argument.id) {
        case option_help: print_usage(usage, name); return -1;
        case option_output: settings.output = argument.argument; break;
        case option_overwrite: settings.overwrite = true; break;
        default: settings.folders.push_back(argument.text);
        }
    }
    if (status < 0) return -1;
    if (settings.folders.empty() || settings.output.empty()) {
        print_usage(usage, name);
        return -1;
    }
    while (settings.output.size() > 1 && settings.output.back() == '/') settings.output.pop_back();
    return 0;
}

// An existing DIR is replaced only when it is an atlas (it holds index.html) or empty, and
// only after the overwrite question.
int may_replace(const std::string& folder)
{
    std::error_code error;
    if (!fs::exists(fs::symlink_status(folder, error))) return 0;
    if (!fs::is_directory(folder, error) || (!fs::is_empty(folder, error) && !fs::exists(folder + "/index.html", error))) {
        std::printf("error: '%s' is not an atlas folder\n", folder.c_str());
        return -1;
    }
    std::printf("'%s' already exists\n", folder.c_str());
    return ask_yes_no("overwrite ?") ? 0 : -1;
}

// A new folder beside `folder`, named after it: "" when none can be made.
std::string folder_beside(const std::string& folder, const char* kind)
{
    std::string name = folder + kind + "-XXXXXX";
    return ::mkdtemp(name.data()) ? name : std::string();
}

// Puts the complete atlas `made` in the place of `folder`, and removes the folder it replaces.
int put_in_place(const std::string& made, const std::string& folder)
{
    std::error_code error;
    if (!fs::exists(fs::symlink_status(folder, error))) {
        fs::rename(made, folder, error);
        return error ? -1 : 0;
    }
    const std::string old = folder_beside(folder, ".zkatlas-old");
    if (old.empty()) return -1;
    fs::rename(folder, old, error);
    if (error) {
        fs::remove(old, error);
        return -1;
    }
    fs::rename(made, folder, error);
    if (error) {
        fs::rename(old, folder, error);
        return -1;
    }
    fs::remove_all(old, error);
    return 0;
}

int run(int argc, char** argv)
{
    atlas_settings settings;
    if (parse_command_line(argc, argv, settings) < 0) return 1;
    atlas_catalog catalog;
    int status = find_maps(settings.folders, settings.output, catalog) < 0 ? 1 : 0;
    if (!settings.overwrite && may_replace(settings.output) < 0) return 1;

    std::string target = settings.output;
    if (!settings.overwrite) {
        target = folder_beside(settings.output, ".zkatlas");
        if (target.empty()) {
            std::printf("error: make folder beside '%s'\n", settings.output.c_str());
            return 1;
        }
    }
    output_file out;
    png_writer png;
    int written = 0;
    bool failed = false;
    for (atlas_map& map : catalog.maps) {
        map_picture picture;
        if (read_map_picture(map.path, map.name.png, picture) < 0) {
            std::printf("error: read map '%s'\n", map.path.c_str());
            status = 1;
            continue;
        }
        map.width = picture.image.width;
        map.height = picture.image.height;
        const std::string folder = target + "/" + atlas_folder_name(catalog, map.folder) + "/" + map.stem + "_files";
        if (write_pyramid(picture.image, folder, out, png) < 0) {
            failed = true;
            break;
        }
        map.written = true;
        ++written;
    }
    if (failed || write_atlas_pages(catalog, target, out) < 0 ||
        (!settings.overwrite && put_in_place(target, settings.output) < 0)) {
        std::printf("error: write atlas '%s'\n", settings.output.c_str());
        std::error_code error;
        if (!settings.overwrite) fs::remove_all(target, error);
        return 1;
    }
    std::printf("atlas of %d maps: '%s/index.html'\n", written, settings.output.c_str());
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    return finish_console(run(argc, argv));
}
