// Option matching, the number rule and usage texts shared by every mapper.
#include "command_line.hpp"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>

namespace {

const option_spec* find_option(std::span<const option_table> tables, const char* text)
{
    for (const option_table& table : tables)
        for (const option_spec& entry : table)
            for (const char* name : entry.names)
                if (name && std::strcmp(name, text) == 0) return &entry;
    return nullptr;
}

} // namespace

int next_argument(argument_cursor& cursor, std::span<const option_table> tables, parsed_argument& out)
{
    if (cursor.next >= cursor.argc) return 0;
    const char* text = cursor.argv[cursor.next++];
    out = parsed_argument{option_positional, text, nullptr};
    if (text[0] != '-') return 1;
    if (const option_spec* entry = find_option(tables, text)) {
        out.id = entry->id;
        if (entry->missing_argument) {
            if (cursor.next >= cursor.argc) {
                std::printf("%s\n", entry->missing_argument);
                return -1;
            }
            out.argument = cursor.argv[cursor.next++];
        }
        return 1;
    }
    std::printf("error: unknown option '%s'\n", text);
    return -1;
}

int parse_number_argument(const char* text, unsigned long min, unsigned long max, unsigned& value)
{
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (*p == '-') return -1;
    char* end = nullptr;
    errno = 0;
    const unsigned long number = std::strtoul(text, &end, 0);
    if (end == text || *end != '\0' || errno == ERANGE || number < min || number > max) return -1;
    value = static_cast<unsigned>(number);
    return 0;
}

const char* program_name(int argc, char** argv, const char* fallback)
{
    return (argc > 0 && argv && argv[0] && argv[0][0]) ? argv[0] : fallback;
}

void print_usage(std::span<const usage_text> parts, std::span<const char* const> arguments)
{
    size_t next = 0;
    for (const usage_text& lines : parts) {
        for (const char* line : lines) {
            if (const char* mark = std::strstr(line, "%s")) {
                const char* argument = next < arguments.size() ? arguments[next++] : "";
                std::printf("%.*s%s%s", static_cast<int>(mark - line), line, argument, mark + 2);
            } else {
                std::printf("%s\n", line);
            }
        }
    }
}

namespace {

bool apply_tile_source_option(const parsed_argument& option, tile_source_settings& settings)
{
    switch (option.id) {
    case option_cga:
    case option_ega:
        settings.tile_file = option.argument;
        settings.cga = option.id == option_cga;
        settings.use_bitmaps = false;
        return true;
    case option_shape:
        settings.shape_bitmap = option.argument;
        settings.use_bitmaps = true;
        return true;
    case option_mask:
        settings.mask_bitmap = option.argument;
        settings.use_bitmaps = true;
        return true;
    case option_no_mask:
        settings.mask_bitmap = nullptr;
        settings.no_mask = true;
        return true;
    case option_shape_type_normal: settings.type = shape_type::normal; return true;
    case option_shape_type_dungeon: settings.type = shape_type::dungeon; return true;
    case option_shape_type_mirror_room: settings.type = shape_type::mirror_room; return true;
    case option_no_remake_water: settings.no_remake_water = true; return true;
    default: return false;
    }
}

// 1 when `option` is one every mapper shares and was applied, 0 when it is not, -1 when the
// run ends.
int apply_mapper_option(const parsed_argument& option, const mapper_program& program, int argc, char** argv,
                        mapper_settings& settings)
{
    if (apply_tile_source_option(option, settings.tiles)) return 1;
    switch (option.id) {
    case option_positional:
        if (!program.data_path_allowed || settings.data_path) {
            std::printf("error: illegal parameter '%s'\n", option.text);
            return -1;
        }
        settings.data_path = option.text;
        return 1;
    case option_help: {
        const char* arguments[8] = {program.name_from_argv ? program_name(argc, argv, program.name) : program.name};
        size_t count = 1;
        for (const char* argument : program.usage_arguments)
            if (count < std::size(arguments)) arguments[count++] = argument;
        print_usage(program.usage, std::span<const char* const>(arguments, count));
        return -1;
    }
    case option_overwrite: settings.overwrite = true; return 1;
    case option_png: settings.png = true; return 1;
    default: return 0;
    }
}

} // namespace

int next_mapper_option(argument_cursor& cursor, const mapper_program& program, mapper_settings& settings,
                       parsed_argument& out)
{
    for (;;) {
        const int status = next_argument(cursor, program.options, out);
        if (status <= 0) return status;
        const int applied = apply_mapper_option(out, program, cursor.argc, cursor.argv, settings);
        if (applied <= 0) return applied < 0 ? -1 : 1;
    }
}
