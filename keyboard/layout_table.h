// Skin reading: the layout tables that say which rectangles of a keyboard image belong to which
// key, read from a skin's layout records, and hit-testing over them.
//
// Invariants: a table is ordered by ascending entry index; an entry's rectangles keep the order
// of their records; hit-testing walks exactly that order, so where rectangles overlap the lower
// entry index wins. Nothing here trusts the bytes it reads: any length is accepted and a
// trailing partial record is ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "platform/wintypes.h"

namespace keyboard {

// The CAPS status key's position in the engine's character table: a letter layout that holds
// it has a CAPS key, which changes the Shift and double-tap rules.
inline constexpr int32_t kCapsEntryIndex = 50;
inline constexpr size_t kLayoutRecordSize = 16;

struct LayoutEntry {
    // The bitmap handle number of the entry's records (the last record's wins). Carried only:
    // neither drawing nor hit-testing uses it.
    DWORD m_nBitmap = 0;
    // The key's rectangles in record order; an empty one is kept but never drawn.
    std::vector<RECT> m_Rect;
};

inline bool IsEmptyRect(const RECT& r) { return r.right == r.left || r.bottom == r.top; }
inline bool SameRect(const RECT& a, const RECT& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class LayoutTable {
public:
    using Map = std::map<int32_t, LayoutEntry>;

    void Clear();
    bool Empty() const { return m_entries.empty(); }
    size_t Size() const { return m_entries.size(); }
    Map::const_iterator begin() const { return m_entries.begin(); }
    Map::const_iterator end() const { return m_entries.end(); }

    // Appends rect to the entry of index, creating the entry when absent.
    void Add(int32_t index, DWORD bitmapNumber, const RECT& rect);
    const LayoutEntry* Find(int32_t index) const;
    // The entry index of the first rectangle holding (x, y), all four bounds inclusive; -1 when
    // none does.
    int32_t HitTest(LONG x, LONG y) const;

private:
    struct HitRect {
        RECT rect;
        int32_t index;
    };
    void RebuildHits() const;

    Map m_entries;
    // The rectangles flattened in hit-test order, rebuilt after a change, so that a hit test
    // walks one array instead of the map's nodes.
    mutable std::vector<HitRect> m_hits;
    mutable bool m_hitsStale = false;
};

struct LayoutReadResult {
    size_t records = 0;
    bool hasCapsKey = false;  // a record named kCapsEntryIndex
};

// Reads 16-byte layout records (entry index, bitmap number, left, top, right, bottom: unsigned
// 16-bit big-endian; four reserved bytes) and adds each to table. Data shorter than one record
// adds nothing.
LayoutReadResult ReadLayoutRecords(std::span<const uint8_t> data, LayoutTable& table);

// "CAPS_RECT": left, top, right, bottom as signed 32-bit little-endian integers. Shorter than 16
// bytes counts as absent.
std::optional<RECT> ReadCapsRect(std::span<const uint8_t> data);

}  // namespace keyboard
