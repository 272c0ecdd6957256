// DIB sections: the buffer table and the conversions between stored rows and host pixels.
#include "host/gdi/dib_section.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "host/gdi/bitmap.h"
#include "host/kernel/device.h"
#include "host/gdi/gdi_objects.h"

namespace host {

namespace {

struct Section {
    BITMAPINFOHEADER header{};
    std::vector<uint8_t> bits;
    int stride = 0;
};

struct SectionTable {
    std::mutex lock;
    std::unordered_map<HBITMAP, Section> live;
};

SectionTable& Sections() {
    static SectionTable table;
    return table;
}

// Stored row of host row y: the last stored row is the top one for a bottom-up section.
size_t RowOffset(const Section& s, int y) {
    const int height = std::abs(s.header.biHeight);
    const int stored = s.header.biHeight > 0 ? height - 1 - y : y;
    return static_cast<size_t>(stored) * static_cast<size_t>(s.stride);
}

}  // namespace

bool IsDibSection(HBITMAP bitmap) {
    auto& table = Sections();
    std::lock_guard guard(table.lock);
    return table.live.count(bitmap) != 0;
}

bool DescribeDibSection(HBITMAP bitmap, DIBSECTION* out) {
    auto& table = Sections();
    std::lock_guard guard(table.lock);
    auto it = table.live.find(bitmap);
    if (it == table.live.end()) return false;
    const Section& s = it->second;
    *out = DIBSECTION{};
    out->dsBm.bmType = 0;
    out->dsBm.bmWidth = s.header.biWidth;
    out->dsBm.bmHeight = std::abs(s.header.biHeight);
    out->dsBm.bmWidthBytes = s.stride;
    out->dsBm.bmPlanes = 1;
    out->dsBm.bmBitsPixel = s.header.biBitCount;
    out->dsBm.bmBits = const_cast<uint8_t*>(s.bits.data());
    out->dsBmih = s.header;
    return true;
}

void PullDibSection(HBITMAP bitmap) {
    auto& table = Sections();
    std::lock_guard guard(table.lock);
    auto it = table.live.find(bitmap);
    Bitmap* target = BitmapFromHandle(bitmap);
    if (it == table.live.end() || !target) return;
    const Section& s = it->second;
    const int bytes = s.header.biBitCount / 8;
    for (int y = 0; y < target->Height(); ++y) {
        const uint8_t* row = s.bits.data() + RowOffset(s, y);
        for (int x = 0; x < target->Width(); ++x) {
            const uint8_t* p = row + static_cast<size_t>(x) * bytes;
            target->SetPixel(x, y, uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
        }
    }
}

void PushDibSection(HBITMAP bitmap) {
    auto& table = Sections();
    std::lock_guard guard(table.lock);
    auto it = table.live.find(bitmap);
    const Bitmap* source = BitmapFromHandle(bitmap);
    if (it == table.live.end() || !source) return;
    Section& s = it->second;
    const int bytes = s.header.biBitCount / 8;
    for (int y = 0; y < source->Height(); ++y) {
        uint8_t* row = s.bits.data() + RowOffset(s, y);
        for (int x = 0; x < source->Width(); ++x) {
            uint8_t* p = row + static_cast<size_t>(x) * bytes;
            const uint32_t rgb = source->Pixel(x, y);
            p[0] = static_cast<uint8_t>(rgb);
            p[1] = static_cast<uint8_t>(rgb >> 8);
            p[2] = static_cast<uint8_t>(rgb >> 16);
        }
    }
}

void ForgetDibSection(HBITMAP bitmap) {
    auto& table = Sections();
    std::lock_guard guard(table.lock);
    table.live.erase(bitmap);
}

}  // namespace host

HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD /*offset: only used with a file mapping, which is refused*/) {
    if (bits) *bits = nullptr;
    if (dc && !host::DCFromHandle(dc)) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!info || usage != DIB_RGB_COLORS || section || info->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) ||
        info->bmiHeader.biPlanes != 1 || info->bmiHeader.biCompression != BI_RGB ||
        (info->bmiHeader.biBitCount != 24 && info->bmiHeader.biBitCount != 32) || info->bmiHeader.biWidth <= 0 ||
        info->bmiHeader.biHeight == 0 || info->bmiHeader.biHeight == INT32_MIN) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int width = info->bmiHeader.biWidth;
    const int height = std::abs(info->bmiHeader.biHeight);
    auto bitmap = host::Bitmap::Create(width, height, info->bmiHeader.biBitCount);
    if (!bitmap) {
        host::SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    host::Section s;
    s.header = info->bmiHeader;
    s.header.biSize = sizeof(BITMAPINFOHEADER);
    s.stride = ((width * info->bmiHeader.biBitCount / 8) + 3) / 4 * 4;
    s.header.biSizeImage = static_cast<DWORD>(s.stride) * static_cast<DWORD>(height);
    s.bits.assign(s.header.biSizeImage, 0);
    HBITMAP handle = host::RegisterBitmap(std::move(bitmap));
    if (!handle) {
        host::SetLastErrorCode(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto& table = host::Sections();
    std::lock_guard guard(table.lock);
    auto& stored = table.live[handle] = std::move(s);
    if (bits) *bits = stored.bits.data();
    return handle;
}
