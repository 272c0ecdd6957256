// Key geometry of one keyboard: the rectangles the rows give, the key caps they form (the
// rectangles of one entry that touch are one cap, such as an L-shaped Enter), and the layout
// records the engine reads.
#pragma once

#include <cstdint>
#include <vector>

#include "description.h"

namespace skinmaker {

struct PlacedRect {
    int entry = -1;
    PixelRect rect;
};

struct KeyCap {
    int entry = -1;
    std::vector<PixelRect> rects;
    PixelRect labelRect;  // the largest of rects: where the label goes
};

// The rectangles of the keys in row order, left to right; gaps give none.
std::vector<PlacedRect> PlaceKeys(const Keyboard& board);
// Rectangles of one entry that share an edge form one cap; the others are separate caps.
std::vector<KeyCap> GroupKeyCaps(const std::vector<PlacedRect>& rects);
// 16-byte records, all fields unsigned 16-bit big-endian: entry index, bitmap handle number
// (written as 0), left, top, right, bottom (inclusive pixels, as the engine hit-tests them),
// then four reserved bytes.
std::vector<uint8_t> LayoutRecords(const std::vector<PlacedRect>& rects);

}  // namespace skinmaker
