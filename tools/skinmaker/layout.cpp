#include "layout.h"

#include <numeric>

namespace skinmaker {
namespace {

bool Touch(const PixelRect& a, const PixelRect& b) {
    bool sideBySide = (a.right == b.left || b.right == a.left) && a.top < b.bottom && b.top < a.bottom;
    bool stacked = (a.bottom == b.top || b.bottom == a.top) && a.left < b.right && b.left < a.right;
    return sideBySide || stacked;
}

void PutBigEndian(std::vector<uint8_t>& out, int value) {
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

}  // namespace

std::vector<PlacedRect> PlaceKeys(const Keyboard& board) {
    std::vector<PlacedRect> placed;
    int y = 0;
    for (const Row& row : board.rows) {
        int x = 0;
        for (const KeyCell& cell : row.keys) {
            if (cell.entry >= 0) placed.push_back({cell.entry, {x, y, x + cell.width, y + row.height}});
            x += cell.width;
        }
        y += row.height;
    }
    return placed;
}

std::vector<KeyCap> GroupKeyCaps(const std::vector<PlacedRect>& rects) {
    std::vector<size_t> parent(rects.size());
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&](size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    };
    for (size_t i = 0; i < rects.size(); ++i)
        for (size_t j = i + 1; j < rects.size(); ++j)
            if (rects[i].entry == rects[j].entry && Touch(rects[i].rect, rects[j].rect)) parent[root(j)] = root(i);

    std::vector<KeyCap> caps;
    std::vector<int> capOfRoot(rects.size(), -1);
    for (size_t i = 0; i < rects.size(); ++i) {
        size_t r = root(i);
        if (capOfRoot[r] < 0) {
            capOfRoot[r] = static_cast<int>(caps.size());
            caps.push_back({rects[i].entry, {}, rects[i].rect});
        }
        KeyCap& cap = caps[capOfRoot[r]];
        cap.rects.push_back(rects[i].rect);
        const PixelRect& best = cap.labelRect;
        if (rects[i].rect.Width() * rects[i].rect.Height() > best.Width() * best.Height()) cap.labelRect = rects[i].rect;
    }
    return caps;
}

std::vector<uint8_t> LayoutRecords(const std::vector<PlacedRect>& rects) {
    std::vector<uint8_t> out;
    out.reserve(rects.size() * 16);
    for (const PlacedRect& p : rects) {
        PutBigEndian(out, p.entry);
        PutBigEndian(out, 0);
        PutBigEndian(out, p.rect.left);
        PutBigEndian(out, p.rect.top);
        PutBigEndian(out, p.rect.right - 1);
        PutBigEndian(out, p.rect.bottom - 1);
        out.insert(out.end(), 4, 0);
    }
    return out;
}

}  // namespace skinmaker
