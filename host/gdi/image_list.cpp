// Image lists: equal-sized images kept as host bitmaps, each with a mask of its transparent
// pixels. Handles are entries of a process-wide table, never reused.
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "host/kernel/object_table.h"
#include "host/gdi/bitmap.h"
#include "host/kernel/device.h"
#include "host/gdi/dib_section.h"
#include "host/gdi/gdi_objects.h"
#include "platform/gdi.h"

namespace {

struct Image {
    std::unique_ptr<host::Bitmap> pixels;
    std::vector<bool> transparent;
};

struct ImageList {
    int cx = 0;
    int cy = 0;
    UINT flags = 0;
    std::vector<Image> images;
};

using ListTable = host::ObjectTable<ImageList>;

ListTable& Lists() {
    static ListTable table(0x00C00000u);
    return table;
}

constexpr int kMaxImageSide = 4096;

ImageList* Find(ListTable& table, HIMAGELIST list) {
    ImageList* found = table.FindLocked(host::HandleValue(list));
    if (!found) host::SetLastErrorCode(ERROR_INVALID_HANDLE);
    return found;
}

}  // namespace

HIMAGELIST ImageList_Create(int cx, int cy, UINT flags, int initial, int grow) {
    if (cx <= 0 || cy <= 0 || cx > kMaxImageSide || cy > kMaxImageSide || initial < 0 || grow < 0) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto list = std::make_unique<ImageList>();
    list->cx = cx;
    list->cy = cy;
    list->flags = flags;
    return host::HandleOf<HIMAGELIST>(Lists().Insert(std::move(list)));
}

BOOL ImageList_Destroy(HIMAGELIST list) {
    auto& table = Lists();
    std::lock_guard guard(table.Lock());
    if (!Find(table, list)) return FALSE;
    table.TakeLocked(host::HandleValue(list));
    return TRUE;
}

int ImageList_AddMasked(HIMAGELIST list, HBITMAP bitmap, COLORREF mask) {
    host::PullDibSection(bitmap);
    const host::Bitmap* source = host::BitmapFromHandle(bitmap);
    auto& table = Lists();
    std::lock_guard guard(table.Lock());
    ImageList* found = Find(table, list);
    if (!found) return -1;
    if (!source || source->Width() < found->cx || source->Height() < found->cy) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return -1;
    }
    const int first = static_cast<int>(found->images.size());
    const uint32_t key = host::ColorToPixel(mask);
    const bool masked = found->flags & ILC_MASK;
    for (int left = 0; left + found->cx <= source->Width(); left += found->cx) {
        Image image;
        image.pixels = host::Bitmap::Create(found->cx, found->cy, 32);
        if (!image.pixels) return -1;
        image.transparent.assign(static_cast<size_t>(found->cx) * found->cy, false);
        for (int y = 0; y < found->cy; ++y) {
            for (int x = 0; x < found->cx; ++x) {
                uint32_t pixel = source->Pixel(left + x, y);
                // Transparent pixels are blackened so that the image can be drawn over its mask.
                if (masked && mask != CLR_NONE && pixel == key) {
                    image.transparent[static_cast<size_t>(y) * found->cx + x] = true;
                    pixel = 0;
                }
                image.pixels->SetPixel(x, y, pixel);
            }
        }
        found->images.push_back(std::move(image));
    }
    return first;
}

int ImageList_GetImageCount(HIMAGELIST list) {
    auto& table = Lists();
    std::lock_guard guard(table.Lock());
    ImageList* found = Find(table, list);
    return found ? static_cast<int>(found->images.size()) : 0;
}

BOOL ImageList_GetIconSize(HIMAGELIST list, int* cx, int* cy) {
    auto& table = Lists();
    std::lock_guard guard(table.Lock());
    ImageList* found = Find(table, list);
    if (!found) return FALSE;
    if (!cx || !cy) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *cx = found->cx;
    *cy = found->cy;
    return TRUE;
}
