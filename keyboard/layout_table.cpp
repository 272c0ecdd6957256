#include "layout_table.h"

namespace keyboard {

namespace {

uint16_t ReadBe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

int32_t ReadLe32s(const uint8_t* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
                 static_cast<uint32_t>(p[3]) << 24;
    return static_cast<int32_t>(v);
}

}  // namespace

void LayoutTable::Clear() {
    m_entries.clear();
    m_hits.clear();
    m_hitsStale = false;
}

void LayoutTable::Add(int32_t index, DWORD bitmapNumber, const RECT& rect) {
    LayoutEntry& entry = m_entries[index];
    entry.m_nBitmap = bitmapNumber;
    entry.m_Rect.push_back(rect);
    m_hitsStale = true;
}

const LayoutEntry* LayoutTable::Find(int32_t index) const {
    auto it = m_entries.find(index);
    return it == m_entries.end() ? nullptr : &it->second;
}

void LayoutTable::RebuildHits() const {
    m_hits.clear();
    for (const auto& [index, entry] : m_entries)
        for (const RECT& r : entry.m_Rect) m_hits.push_back({r, index});
    m_hitsStale = false;
}

int32_t LayoutTable::HitTest(LONG x, LONG y) const {
    if (m_hitsStale) RebuildHits();
    for (const HitRect& h : m_hits)
        if (h.rect.left <= x && x <= h.rect.right && h.rect.top <= y && y <= h.rect.bottom) return h.index;
    return -1;
}

LayoutReadResult ReadLayoutRecords(std::span<const uint8_t> data, LayoutTable& table) {
    LayoutReadResult result;
    for (size_t offset = 0; data.size() - offset >= kLayoutRecordSize; offset += kLayoutRecordSize) {
        const uint8_t* p = data.data() + offset;
        int32_t index = ReadBe16(p);
        RECT rect{ReadBe16(p + 4), ReadBe16(p + 6), ReadBe16(p + 8), ReadBe16(p + 10)};
        if (index == kCapsEntryIndex) result.hasCapsKey = true;
        table.Add(index, ReadBe16(p + 2), rect);
        ++result.records;
    }
    return result;
}

std::optional<RECT> ReadCapsRect(std::span<const uint8_t> data) {
    if (data.size() < 16) return std::nullopt;
    const uint8_t* p = data.data();
    return RECT{ReadLe32s(p), ReadLe32s(p + 4), ReadLe32s(p + 8), ReadLe32s(p + 12)};
}

}  // namespace keyboard
