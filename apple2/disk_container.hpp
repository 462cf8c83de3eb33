// Apple II disk images as players keep them, made ready for the readers of disk_image.hpp
// and prodos.hpp: a container is decoded into the linear image of 35 tracks of 16 sectors,
// and each disk's sector order is chosen by itself.
//
// Recognition, in this order (the first that matches wins):
//   1. 2MG    "2IMG" at 0; the header gives the data's offset, length and order
//   2. WOZ 1  "WOZ1" FF 0A 0D 0A at 0
//   3. WOZ 2  "WOZ2" FF 0A 0D 0A at 0
//   4. NIB    a file of 35 tracks of 6656 or of 6384 nibble bytes
//   5. a raw sector image, read from its file as it stands
//
// Sector order (1: blocks one after another; 2: the interleave table), unless --do or
// --po forces one for every disk:
//   - 2MG: its format field (0 the DOS order, i.e. order 2; 1 the ProDOS order, order 1;
//     2 nibbles, decoded as NIB);
//   - NIB and WOZ: the decoder places every sector by its address field, so the image is
//     always in order 2 and the options do not apply;
//   - a raw program disk: the order under which block 2 is a volume directory key block,
//     order 2 when both orders or neither pass;
//   - a raw settlement disk: a name ending ".po" means order 1, ".do" order 2, otherwise
//     the program disk's order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "apple2/disk_image.hpp"

enum class disk_role { program, settlement };

// Recognises the file `name` and fills `disk`: a container decoded into memory, or a raw
// image with its order. forced_order is 0 when neither --do nor --po was given;
// program_order is the program disk's order, for raw settlement disks without an order in
// their names. 0, or -1 after a line naming the file ("error: damaged %s image '%s'\n",
// "error: CRC32 mismatch in '%s'\n", or for a program disk the unreadable-sector line).
// A file that cannot be opened or read is left to the readers and their messages.
int open_apple2_disk(const char* name, disk_role role, int forced_order, int program_order, apple2_disk& disk);

// The decoders, from a container's bytes. Each fills disk.sectors (143360 bytes) and
// disk.order and marks the sectors it could not decode; 0, or -1 after the damaged-image
// line when the container itself is broken.
int decode_2mg(const std::vector<uint8_t>& file, apple2_disk& disk);
int decode_nib(const std::vector<uint8_t>& file, apple2_disk& disk);
int decode_woz(const std::vector<uint8_t>& file, apple2_disk& disk);
