// The atlas pages: index.html with a thumbnail of every map, grouped by map folder, then
// world maps and settlement groups; one viewer page per map with links to the location's
// other levels and hours; and the files the pages use.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "atlas.hpp"
#include "bitmap/output.hpp"
#include "embedded_files.hpp"

namespace {

constexpr const char* group_titles[] = {"Castles", "Dwellings", "Keeps", "Townes", "Other settlements"};

// Text for HTML, with the underscores of file names as spaces when `spaces` is set.
std::string html(const std::string& text, bool spaces = false)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        case '_': out += spaces ? ' ' : '_'; break;
        default: out += c;
        }
    }
    return out;
}

// A string in a script: quoted, with the characters that could end it escaped.
std::string script_string(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || static_cast<unsigned char>(c) < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned char>(c));
            out += code;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

__attribute__((format(printf, 1, 2))) std::string format(const char* pattern, ...)
{
    char text[512];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(text, sizeof text, pattern, arguments);
    va_end(arguments);
    return text;
}

// "B1F 12:00", "1F default placement", or "Britannia".
std::string caption(const map_name& name)
{
    if (name.kind == map_kind::world) return name.location;
    if (name.hour < 0) return name.level + " default placement";
    return format("%s %02d:00", name.level.c_str(), name.hour);
}

std::string thumbnail_path(const atlas_map& map)
{
    return map.stem + "_files/" + std::to_string(pyramid_shape_of(map.width, map.height).bottom_level) + "/0_0." +
           tile_extension;
}

bool same_place(const atlas_map& a, const atlas_map& b)
{
    return a.written && b.written && a.folder == b.folder && a.name.kind == b.name.kind &&
           (a.name.kind == map_kind::world || a.name.location == b.name.location);
}

std::string page_link(const atlas_map& to, const atlas_map& current, const std::string& text)
{
    if (&to == &current) return "<b>" + html(text) + "</b> ";
    return "<a class=\"keep-view\" href=\"" + html(to.stem) + ".html\">" + html(text) + "</a> ";
}

// Links to the location's other levels (at the same hour where there is one) and to the
// level's other hours; for world maps, to the folder's other world map. Maps are in level
// order, hours within levels.
std::string sibling_links(const atlas_catalog& catalog, const atlas_map& map)
{
    const bool world = map.name.kind == map_kind::world;
    std::string levels, hours, last_level = "-";
    int level_count = 0, hour_count = 0;
    for (const atlas_map& other : catalog.maps) {
        if (!same_place(map, other)) continue;
        const std::string& level = world ? other.name.location : other.name.level;
        if (level != last_level) {
            const atlas_map* target = &other;
            for (const atlas_map& candidate : catalog.maps)
                if (same_place(map, candidate) && candidate.name.level == other.name.level &&
                    candidate.name.location == other.name.location && candidate.name.hour == map.name.hour)
                    target = other.name.level == map.name.level && !world ? &map : &candidate;
            levels += page_link(*target, map, level);
            ++level_count;
            last_level = level;
        }
        if (!world && other.name.level == map.name.level) {
            hours += page_link(other, map, other.name.hour < 0 ? "default" : format("%02d:00", other.name.hour));
            ++hour_count;
        }
    }
    std::string out;
    if (level_count > 1) out += std::string("<span class=\"links\">") + (world ? "Maps" : "Levels") + ": " + levels + "</span>";
    if (hour_count > 1) out += "<span class=\"links\">Hours: " + hours + "</span>";
    return out;
}

std::string viewer_page(const atlas_catalog& catalog, const atlas_map& map)
{
    const bool world = map.name.kind == map_kind::world;
    const pyramid_shape shape = pyramid_shape_of(map.width, map.height);
    const std::string title = world ? map.name.location : map.name.location + " " + caption(map.name);
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>" + html(title, true) +
                       "</title>\n<link rel=\"stylesheet\" href=\"../atlas.css\">\n</head>\n<body class=\"viewer\">\n";
    page += "<nav><a href=\"../index.html#" + atlas_folder_name(catalog, map.folder) + "\">Atlas</a> <span class=\"title\">" +
            html(title, true) + "</span> <span class=\"folder\">" + html(catalog.folders[map.folder]) + "</span> " +
            sibling_links(catalog, map) +
            "<button id=\"grid\" type=\"button\" title=\"Cell grid (G)\">Grid</button></nav>\n"
            "<main><div id=\"view\"></div><div id=\"readout\"><span id=\"cell\"></span> <span id=\"pixel\"></span></div></main>\n";
    page += "<script src=\"../openseadragon/openseadragon.min.js\"></script>\n<script>\nconst atlas_map = {";
    page += "name: " + script_string(map.path) + ", tiles: " + script_string(map.stem + "_files") +
            ", extension: " + script_string(tile_extension) +
            format(", width: %u, height: %u, cells_across: %d, cells_down: %d, top_level: %d, bottom_level: %d, tile_size: %u};\n",
                   map.width, map.height, world ? 256 : 32, world ? 256 : 32, shape.top_level, shape.bottom_level, tile_size);
    page += "</script>\n<script src=\"../viewer.js\"></script>\n</body></html>\n";
    return page;
}

std::string thumbnail(const atlas_catalog& catalog, const atlas_map& map, const std::string& text)
{
    const std::string folder = atlas_folder_name(catalog, map.folder) + "/";
    return "<a class=\"map\" href=\"" + html(folder + map.stem) + ".html\"><img src=\"" + html(folder + thumbnail_path(map)) +
           "\" alt=\"" + html(map.stem) + "\"><span>" + html(text, true) + "</span></a>\n";
}

std::string index_page(const atlas_catalog& catalog)
{
    std::string page = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">\n<title>Atlas</title>\n"
                       "<link rel=\"stylesheet\" href=\"atlas.css\">\n</head>\n<body class=\"index\">\n<h1>Atlas</h1>\n";
    for (int folder = 0; folder < static_cast<int>(catalog.folders.size()); ++folder) {
        page += "<section id=\"" + atlas_folder_name(catalog, folder) + "\">\n<h2>" + html(catalog.folders[folder]) + "</h2>\n";
        std::string open_heading, open_location;
        for (const atlas_map& map : catalog.maps) {
            if (map.folder != folder || !map.written) continue;
            const std::string heading = map.name.kind == map_kind::world ? "World maps" : group_titles[map.group];
            const std::string location = map.name.kind == map_kind::world ? "" : map.name.location;
            if (heading != open_heading || location != open_location) {
                if (!open_heading.empty()) page += "</div></div>\n";
                if (heading != open_heading) page += "<h3>" + heading + "</h3>\n";
                page += "<div class=\"location\"><h4>" + html(location, true) + "</h4><div class=\"maps\">\n";
                open_heading = heading;
                open_location = location;
            }
            page += thumbnail(catalog, map, caption(map.name));
        }
        if (!open_heading.empty()) page += "</div></div>\n";
        page += "</section>\n";
    }
    return page + "</body></html>\n";
}

} // namespace

int write_whole_file(output_file& out, const std::string& path, const void* bytes, size_t size)
{
    if (open_output_file(out, path.c_str(), true) < 0) return -1;
    uint8_t* space = reserve_output(out, size);
    if (space) {
        std::memcpy(space, bytes, size);
        commit_output(out, size);
    }
    if (!space) {
        discard_output_file(out);
    } else if (close_output_file(out) == 0) {
        return 0;
    }
    std::printf("error: write '%s'\n", path.c_str());
    return -1;
}

int write_atlas_pages(const atlas_catalog& catalog, const std::string& atlas_folder, output_file& out)
{
    std::error_code error;
    std::filesystem::create_directories(atlas_folder + "/openseadragon", error);
    if (error) {
        std::printf("error: make folder '%s/openseadragon'\n", atlas_folder.c_str());
        return -1;
    }
    for (size_t i = 0; i < embedded_file_count; ++i) {
        const embedded_file& file = embedded_files[i];
        if (write_whole_file(out, atlas_folder + "/" + file.name, file.begin, static_cast<size_t>(file.end - file.begin)) < 0)
            return -1;
    }
    for (const atlas_map& map : catalog.maps) {
        if (!map.written) continue;
        const std::string page = viewer_page(catalog, map);
        const std::string path = atlas_folder + "/" + atlas_folder_name(catalog, map.folder) + "/" + map.stem + ".html";
        if (write_whole_file(out, path, page.data(), page.size()) < 0) return -1;
    }
    const std::string index = index_page(catalog);
    return write_whole_file(out, atlas_folder + "/index.html", index.data(), index.size());
}
