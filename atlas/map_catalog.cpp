// Finding the maps in the map folders by their default names, and their order in the atlas.
#include <algorithm>
#include <tuple>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "atlas.hpp"
#include "settlement/settlement_data.hpp"

namespace fs = std::filesystem;

namespace {

// The level names in file names, lowest first; the position less one is the level order.
constexpr const char* level_names[] = {"B1F", "1F", "2F", "3F", "4F"};

bool ends_with_extension(const std::string& name, const char* extension)
{
    const size_t length = std::char_traits<char>::length(extension);
    if (name.size() <= length) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = name[name.size() - length + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != extension[i]) return false;
    }
    return true;
}

std::vector<std::string> split_dots(const std::string& text)
{
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == '.')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

int settlement_group_of(const std::string& location)
{
    for (int group = 0; group < settlement_group_count; ++group)
        for (const char* name : settlement_groups[group].locations)
            if (location == name) return group;
    return other_settlement_group;
}

// A file name of letters, digits, '.', '-' and '_' only: the name in the atlas.
std::string plain_name(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
            c = '_';
    return out;
}

// Atlas order within a folder: world maps (Britannia first), then the groups, locations in
// their group's order, levels upward, hours.
auto sort_key(const atlas_map& map)
{
    int location = 0;
    if (map.group < other_settlement_group) {
        const auto& names = settlement_groups[map.group].locations;
        location = static_cast<int>(std::find(std::begin(names), std::end(names), map.name.location) - std::begin(names));
    }
    const int kind = map.name.kind == map_kind::world ? (map.name.location == "Britannia" ? 0 : 1) : 2;
    return std::make_tuple(map.folder, kind, map.group, location, map.name.location, map.name.level_order,
                           map.name.hour, map.path);
}

} // namespace

int parse_map_name(const std::string& file_name, map_name& name)
{
    name = map_name{};
    if (ends_with_extension(file_name, ".png"))
        name.png = true;
    else if (!ends_with_extension(file_name, ".bmp"))
        return -1;
    const std::vector<std::string> parts = split_dots(file_name.substr(0, file_name.size() - 4));
    if (parts[0] != "zk" || parts.size() < 2 || parts.size() > 4 || parts[1].empty()) return -1;
    name.location = parts[1];
    if (parts.size() == 2) {
        name.kind = map_kind::world;
        return name.location == "Britannia" || name.location == "Underworld" ? 0 : -1;
    }
    name.kind = map_kind::settlement;
    const auto level = std::find(std::begin(level_names), std::end(level_names), parts[2]);
    if (level == std::end(level_names)) return -1;
    name.level = parts[2];
    name.level_order = static_cast<int>(level - std::begin(level_names)) - 1;
    if (parts.size() == 3) return 0;
    const std::string& hour = parts[3];
    if (hour.size() != 2 || hour[0] < '0' || hour[0] > '2' || hour[1] < '0' || hour[1] > '9') return -1;
    name.hour = (hour[0] - '0') * 10 + (hour[1] - '0');
    return name.hour < 24 ? 0 : -1;
}

int find_maps(const std::vector<std::string>& roots, const std::string& skipped, atlas_catalog& catalog)
{
    int status = 0;
    std::error_code error;
    const fs::path skip = fs::weakly_canonical(skipped, error);
    for (const std::string& root : roots) {
        std::vector<fs::path> files;
        fs::recursive_directory_iterator walk(root, error), end;
        for (; !error && walk != end; walk.increment(error)) {
            if (!walk->is_directory(error))
                files.push_back(walk->path());
            else if (fs::weakly_canonical(walk->path(), error) == skip)
                walk.disable_recursion_pending();
        }
        if (error) {
            std::printf("error: read folder '%s'\n", root.c_str());
            status = -1;
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            atlas_map map;
            map.path = file.string();
            if (parse_map_name(file.filename().string(), map.name) < 0) {
                std::printf("ignored '%s'\n", map.path.c_str());
                continue;
            }
            const std::string folder = file.parent_path().string();
            const auto known = std::find(catalog.folders.begin(), catalog.folders.end(), folder);
            map.folder = static_cast<int>(known - catalog.folders.begin());
            if (known == catalog.folders.end()) catalog.folders.push_back(folder);
            map.group = map.name.kind == map_kind::world ? 0 : settlement_group_of(map.name.location);
            map.stem = plain_name(file.stem().string());
            catalog.maps.push_back(std::move(map));
        }
    }
    std::stable_sort(catalog.maps.begin(), catalog.maps.end(),
                     [](const atlas_map& a, const atlas_map& b) { return sort_key(a) < sort_key(b); });
    // A BMP and a PNG of one map in one folder would share a stem: the second gets the extension.
    for (size_t i = 1; i < catalog.maps.size(); ++i)
        for (size_t j = 0; j < i; ++j)
            if (catalog.maps[j].folder == catalog.maps[i].folder && catalog.maps[j].stem == catalog.maps[i].stem)
                catalog.maps[i].stem += catalog.maps[i].name.png ? "_png" : "_bmp";
    return status;
}

std::string atlas_folder_name(const atlas_catalog& catalog, int folder)
{
    char number[16];
    std::snprintf(number, sizeof number, "%02d-", folder + 1);
    std::string name = plain_name(catalog.folders[folder]);
    const size_t first = name.find_first_not_of("._-");
    name = first == std::string::npos ? "maps" : name.substr(first);
    if (name.size() > 64) name.erase(0, name.size() - 64);
    return number + name;
}
