// Colour renderings of a drawn hi-res image, whose pixels are still dots (0 off, 1 or any
// other non-zero value on, 255 a marker at columns that are multiples of 14). Rows are
// taken in pairs: the even row holds the dots, the odd row receives the colours, and then
// both rows are equal. Of an odd height the last row is left as it is by the 16-colour
// rendering and converted on its own by the 24-bit one.
//
// 16 colours: pixel column j stands for the colour bit P[j mod 4], P = {4, 8, 1, 2}; a
// pixel's colour index is the or of the bits of the lit dots around it.
// Colour television: two 4-bit dot patterns per pixel give luma (set bits / 4) and a hue
// (degrees, or none), turned into red, green and blue through I and Q.
#pragma once

#include "bitmap/bitmap.hpp"

// A pattern without hue; any value below -1 is recognised as none.
constexpr double no_hue = -99.9;
constexpr bool is_no_hue(double hue) { return hue < -1; }

// Converts the dots of `image` in place to 16-colour indices (the image keeps its bit count
// and palette). Dots beyond the row ends are unlit, or with join_ends taken from the other
// end of the row. Both rows of each pair come out equal. A 4-bit image of an even height
// at least 4 pixels wide comes out in the file's row form (stored_form), packed as it is
// coloured; others keep one index a byte.
void colour_hires_image(bitmap_image& image, bool join_ends, bool blur);

// The 16-colour rendering of `rows` dot rows of `width` pixels at `dots` (rows 0, 2, 4, ...
// hold the dots, an odd last row is left out), stored at `stored` as rows of 4-bit indices
// in the file's form, hires_stored_stride(width) bytes each, both rows of a pair equal.
// `stored` may be `dots` itself when the stride is at most the width: each pair is stored
// after its dots are read and before those of the next pair.
void colour_hires_rows(uint8_t* dots, size_t width, size_t rows, uint8_t* stored, bool join_ends, bool blur);
size_t hires_stored_stride(size_t width);

// Turns the dots of `image` into a 24-bit colour-television picture: afterwards the image
// is 24-bit, without a palette, with a buffer of its own. 0, or -1 after
// "ERROR: memory exhausted!" with the image unchanged. Join-ends on an image narrower than
// 10 pixels prints "WARNING: too narrow width ... set join_ends to 0" and is turned off.
int retouch_bitmap(bitmap_image& image, bool join_ends, int start_phase);

// The hue of the dot patterns a and b (0-15) together, or no_hue.
double average_hue(int a, int b);
