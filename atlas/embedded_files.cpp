// The files that every atlas holds, built into the program: the deep-zoom library and its
// licence (from the npm package the build installs), and the viewer's own code and style.
// The build names each file's path in a definition (ZK_ATLAS_OPENSEADRAGON_JS and so on).
#include "embedded_files.hpp"

#define ZK_EMBED(symbol, path)                                                        \
    asm(".pushsection .rodata\n"                                                      \
        ".global " #symbol "_begin\n" #symbol "_begin:\n"                             \
        ".incbin \"" path "\"\n"                                                      \
        ".global " #symbol "_end\n" #symbol "_end:\n"                                 \
        ".byte 0\n"                                                                   \
        ".popsection\n");                                                             \
    extern "C" const char symbol##_begin[];                                           \
    extern "C" const char symbol##_end[];

ZK_EMBED(zk_atlas_openseadragon_js, ZK_ATLAS_OPENSEADRAGON_JS)
ZK_EMBED(zk_atlas_openseadragon_licence, ZK_ATLAS_OPENSEADRAGON_LICENCE)
ZK_EMBED(zk_atlas_viewer_js, ZK_ATLAS_VIEWER_JS)
ZK_EMBED(zk_atlas_css, ZK_ATLAS_CSS)

const embedded_file embedded_files[] = {
    {"openseadragon/openseadragon.min.js", zk_atlas_openseadragon_js_begin, zk_atlas_openseadragon_js_end},
    {"openseadragon/LICENSE.txt", zk_atlas_openseadragon_licence_begin, zk_atlas_openseadragon_licence_end},
    {"viewer.js", zk_atlas_viewer_js_begin, zk_atlas_viewer_js_end},
    {"atlas.css", zk_atlas_css_begin, zk_atlas_css_end},
};
const size_t embedded_file_count = sizeof embedded_files / sizeof embedded_files[0];
