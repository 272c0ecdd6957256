#include "host/kernel/object_table.h"
#include "host/gdi/gdi_objects.h"

#include <array>
#include <mutex>
#include <unordered_map>

namespace host {

namespace {

// Handle ranges, apart from the bitmaps' so that a handle of one kind never finds another.
constexpr uintptr_t kStockBrushBase = 0x3F000000u;
constexpr uintptr_t kStep = 4;

ObjectTable<DeviceContext>& Contexts() {
    static ObjectTable<DeviceContext> table(0x30000000u);
    return table;
}

ObjectTable<Brush>& Brushes() {
    static ObjectTable<Brush> table(0x38000000u);
    return table;
}

// The device's default colour scheme (COLORREF order), indexed by system colour number.
constexpr std::array<COLORREF, 25> kSysColors = {
    0x00C0C0C0,  // scroll bar
    0x00808000,  // background
    0x00800000,  // active caption
    0x00808080,  // inactive caption
    0x00C0C0C0,  // menu
    0x00FFFFFF,  // window
    0x00000000,  // window frame
    0x00000000,  // menu text
    0x00000000,  // window text
    0x00FFFFFF,  // caption text
    0x00C0C0C0,  // active border
    0x00C0C0C0,  // inactive border
    0x00808080,  // application workspace
    0x00800000,  // highlight
    0x00FFFFFF,  // highlight text
    0x00C0C0C0,  // button face
    0x00808080,  // button shadow
    0x00808080,  // grey text
    0x00000000,  // button text
    0x00C0C0C0,  // inactive caption text
    0x00FFFFFF,  // button highlight
    0x00000000,  // 3D dark shadow
    0x00C0C0C0,  // 3D light
    0x00000000,  // tooltip text
    0x00E1FFFF,  // tooltip background
};
constexpr int kIndexFlag = 0x40000000;
// Stock objects WHITE_BRUSH .. BLACK_BRUSH follow the system-colour brushes.
constexpr std::array<COLORREF, 5> kStockBrushColors = {0x00FFFFFF, 0x00C0C0C0, 0x00808080, 0x00404040, 0x00000000};

struct StockBrushes {
    std::array<Brush, kSysColors.size() + kStockBrushColors.size()> brushes;
    StockBrushes() {
        for (size_t i = 0; i < kSysColors.size(); ++i) brushes[i] = Brush{kSysColors[i], true, 0};
        for (size_t i = 0; i < kStockBrushColors.size(); ++i)
            brushes[kSysColors.size() + i] = Brush{kStockBrushColors[i], true, 0};
    }
};

StockBrushes& Stock() {
    static StockBrushes stock;
    return stock;
}

HBRUSH StockHandle(size_t slot) { return reinterpret_cast<HBRUSH>(kStockBrushBase + slot * kStep); }

int PlainIndex(int index) { return (index & kIndexFlag) ? index & ~kIndexFlag : index; }

}  // namespace

HDC RegisterDC(std::unique_ptr<DeviceContext> dc) {
    if (!dc) return nullptr;
    if (Brush* brush = BrushFromHandle(dc->brush)) ++brush->selections;
    return HandleOf<HDC>(Contexts().Insert(std::move(dc)));
}

DeviceContext* DCFromHandle(HDC handle) { return Contexts().Find(HandleValue(handle)); }

bool RemoveDC(HDC handle) {
    std::unique_ptr<DeviceContext> dc = Contexts().Take(HandleValue(handle));
    if (!dc) return false;
    // What it held becomes free to delete.
    if (Bitmap* bitmap = BitmapFromHandle(dc->bitmap); bitmap && dc->bitmap != StockBitmap())
        bitmap->SetSelectedInto(nullptr);
    if (Brush* brush = BrushFromHandle(dc->brush)) --brush->selections;
    return true;
}

void DetachWindowDCs(HWND window) {
    Contexts().ForEach([window](uintptr_t, DeviceContext& dc) {
        if (dc.kind == DeviceContext::Kind::Window && dc.window == window) dc.surface = nullptr;
    });
}

HBRUSH CreateBrush(COLORREF color) {
    return HandleOf<HBRUSH>(Brushes().Insert(std::make_unique<Brush>(Brush{color & 0x00FFFFFFu, false, 0})));
}

Brush* BrushFromHandle(HBRUSH handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value >= kStockBrushBase && (value - kStockBrushBase) % kStep == 0) {
        size_t slot = (value - kStockBrushBase) / kStep;
        return slot < Stock().brushes.size() ? &Stock().brushes[slot] : nullptr;
    }
    return Brushes().Find(value);
}

bool DeleteBrush(HBRUSH handle) {
    return Brushes().Take(HandleValue(handle)) != nullptr;
}

bool SysColor(int index, COLORREF* color) {
    int plain = PlainIndex(index);
    if (plain < 0 || static_cast<size_t>(plain) >= kSysColors.size()) return false;
    *color = kSysColors[static_cast<size_t>(plain)];
    return true;
}

HBRUSH SysColorBrush(int index) {
    int plain = PlainIndex(index);
    if (plain < 0 || static_cast<size_t>(plain) >= kSysColors.size()) return nullptr;
    return StockHandle(static_cast<size_t>(plain));
}

HBRUSH StockBrush(int object) {
    if (object < 0 || static_cast<size_t>(object) >= kStockBrushColors.size()) return nullptr;
    return StockHandle(kSysColors.size() + static_cast<size_t>(object));
}

HBRUSH DefaultBrush() { return StockBrush(0); }

}  // namespace host
