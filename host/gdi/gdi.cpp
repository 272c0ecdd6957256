// GDI calls on the host's objects: bitmaps (bitmap.h), device contexts and brushes
// (gdi_objects.h), with the pixel work in raster.h. A call on a handle of the wrong kind fails
// with ERROR_INVALID_HANDLE and changes nothing.
#include "platform/gdi.h"

#include <cstring>

#include "host/gdi/bitmap.h"
#include "host/kernel/device.h"
#include "host/gdi/dib_section.h"
#include "host/gdi/fonts.h"
#include "host/gdi/gdi_objects.h"
#include "host/gdi/raster.h"

namespace {

template <class T>
T FailWith(DWORD error, T result) {
    host::SetLastErrorCode(error);
    return result;
}

host::DeviceContext* FindDC(HDC dc) {
    host::DeviceContext* found = host::DCFromHandle(dc);
    if (!found) host::SetLastErrorCode(ERROR_INVALID_HANDLE);
    return found;
}

// Points a memory context at bitmap, releasing the one it held.
void PutBitmap(host::DeviceContext& dc, HBITMAP handle, host::Bitmap* bitmap) {
    if (host::Bitmap* old = host::BitmapFromHandle(dc.bitmap); old && dc.bitmap != host::StockBitmap())
        old->SetSelectedInto(nullptr);
    dc.bitmap = handle;
    dc.surface = bitmap;
    if (handle != host::StockBitmap()) bitmap->SetSelectedInto(&dc);
}

void PutBrush(host::DeviceContext& dc, HBRUSH handle, host::Brush* brush) {
    if (host::Brush* old = host::BrushFromHandle(dc.brush)) --old->selections;
    dc.brush = handle;
    ++brush->selections;
}

}  // namespace

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
    if (const host::Font* font = host::FontFromHandle(static_cast<HFONT>(object))) {
        if (!buffer) return static_cast<int>(sizeof(LOGFONTW));
        if (size < static_cast<int>(sizeof(LOGFONTW))) return FailWith(ERROR_INVALID_PARAMETER, 0);
        std::memcpy(buffer, &font->logical, sizeof(LOGFONTW));
        return static_cast<int>(sizeof(LOGFONTW));
    }
    host::Bitmap* bitmap = host::BitmapFromHandle(static_cast<HBITMAP>(object));
    if (!bitmap) return FailWith(ERROR_INVALID_HANDLE, 0);
    DIBSECTION section;
    if (host::DescribeDibSection(static_cast<HBITMAP>(object), &section)) {
        if (!buffer) return static_cast<int>(sizeof(DIBSECTION));
        const int wanted = size >= static_cast<int>(sizeof(DIBSECTION)) ? sizeof(DIBSECTION) : sizeof(BITMAP);
        if (size < static_cast<int>(sizeof(BITMAP))) return FailWith(ERROR_INVALID_PARAMETER, 0);
        std::memcpy(buffer, &section, static_cast<size_t>(wanted));
        return wanted;
    }
    if (!buffer) return static_cast<int>(sizeof(BITMAP));
    if (size < static_cast<int>(sizeof(BITMAP))) return FailWith(ERROR_INVALID_PARAMETER, 0);
    BITMAP info{};
    info.bmType = 0;
    info.bmWidth = bitmap->Width();
    info.bmHeight = bitmap->Height();
    info.bmWidthBytes = bitmap->WidthBytes();
    info.bmPlanes = 1;
    info.bmBitsPixel = static_cast<WORD>(bitmap->Depth());
    // Device bitmaps do not expose their bits.
    info.bmBits = nullptr;
    std::memcpy(buffer, &info, sizeof info);
    return static_cast<int>(sizeof info);
}

BOOL DeleteObject(HGDIOBJ object) {
    if (host::Bitmap* bitmap = host::BitmapFromHandle(static_cast<HBITMAP>(object))) {
        // Stock objects survive deletion; an object still selected into a context is refused.
        if (object == host::StockBitmap()) return TRUE;
        if (bitmap->SelectedInto()) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
        host::ForgetDibSection(static_cast<HBITMAP>(object));
        return host::DeleteBitmap(static_cast<HBITMAP>(object)) ? TRUE : FALSE;
    }
    if (host::Brush* brush = host::BrushFromHandle(static_cast<HBRUSH>(object))) {
        if (brush->stock) return TRUE;
        if (brush->selections > 0) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
        return host::DeleteBrush(static_cast<HBRUSH>(object)) ? TRUE : FALSE;
    }
    if (const host::Font* font = host::FontFromHandle(static_cast<HFONT>(object))) {
        // A font may be deleted while selected: the context keeps drawing in the system font.
        return font->stock || host::DeleteFont(static_cast<HFONT>(object)) ? TRUE : FALSE;
    }
    return FailWith(ERROR_INVALID_HANDLE, FALSE);
}

DWORD GetObjectType(HGDIOBJ object) {
    if (host::IsBitmapHandle(object)) return OBJ_BITMAP;
    if (host::BrushFromHandle(static_cast<HBRUSH>(object))) return OBJ_BRUSH;
    if (host::FontFromHandle(static_cast<HFONT>(object))) return OBJ_FONT;
    if (const host::DeviceContext* dc = host::DCFromHandle(static_cast<HDC>(object)))
        return dc->kind == host::DeviceContext::Kind::Memory ? OBJ_MEMDC : OBJ_DC;
    return FailWith<DWORD>(ERROR_INVALID_HANDLE, 0);
}

HDC CreateCompatibleDC(HDC dc) {
    if (dc && !FindDC(dc)) return nullptr;
    HBITMAP stock = host::StockBitmap();
    host::Bitmap* bitmap = host::BitmapFromHandle(stock);
    if (!bitmap) return FailWith<HDC>(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    auto context = std::make_unique<host::DeviceContext>();
    context->kind = host::DeviceContext::Kind::Memory;
    context->bitmap = stock;
    context->surface = bitmap;
    context->brush = host::DefaultBrush();
    return host::RegisterDC(std::move(context));
}

BOOL DeleteDC(HDC dc) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return FALSE;
    // A window's context goes back through ReleaseDC.
    if (found->kind != host::DeviceContext::Kind::Memory) return FailWith(ERROR_INVALID_HANDLE, FALSE);
    return host::RemoveDC(dc) ? TRUE : FailWith(ERROR_INVALID_HANDLE, FALSE);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return nullptr;
    if (host::Bitmap* bitmap = host::BitmapFromHandle(static_cast<HBITMAP>(object))) {
        HBITMAP handle = static_cast<HBITMAP>(object);
        if (found->kind != host::DeviceContext::Kind::Memory) return FailWith<HGDIOBJ>(ERROR_INVALID_PARAMETER, nullptr);
        if (found->bitmap == handle) return handle;
        // A bitmap lives in one context at a time.
        if (handle != host::StockBitmap() && bitmap->SelectedInto())
            return FailWith<HGDIOBJ>(ERROR_INVALID_PARAMETER, nullptr);
        HBITMAP previous = found->bitmap;
        PutBitmap(*found, handle, bitmap);
        return previous;
    }
    if (host::Brush* brush = host::BrushFromHandle(static_cast<HBRUSH>(object))) {
        HBRUSH previous = found->brush;
        PutBrush(*found, static_cast<HBRUSH>(object), brush);
        return previous;
    }
    if (host::FontFromHandle(static_cast<HFONT>(object))) {
        HFONT previous = found->font ? found->font : host::SystemFont();
        found->font = static_cast<HFONT>(object);
        return previous;
    }
    return FailWith<HGDIOBJ>(ERROR_INVALID_HANDLE, nullptr);
}

HGDIOBJ GetCurrentObject(HDC dc, UINT type) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return nullptr;
    switch (type) {
    case OBJ_BITMAP: return found->bitmap;
    case OBJ_BRUSH: return found->brush;
    case OBJ_FONT: return found->font ? found->font : host::SystemFont();
    default: return FailWith<HGDIOBJ>(ERROR_INVALID_PARAMETER, nullptr);
    }
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
    if (planes != 1 || (bitsPerPixel != 1 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32))
        return FailWith<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    auto bitmap = host::Bitmap::Create(width, height, static_cast<int>(bitsPerPixel));
    if (!bitmap) return FailWith<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    if (bits) {
        // Rows top-down, each padded to 16 bits as device bitmaps are; a set monochrome bit is
        // white; colour pixels are little-endian 5-6-5, B G R, or B G R X.
        const uint8_t* data = static_cast<const uint8_t*>(bits);
        const size_t stride = static_cast<size_t>(bitmap->WidthBytes());
        for (int y = 0; y < height; ++y) {
            const uint8_t* row = data + stride * static_cast<size_t>(y);
            for (int x = 0; x < width; ++x) {
                switch (bitsPerPixel) {
                case 1: bitmap->SetMono(x, y, (row[x / 8] >> (7 - x % 8)) & 1); break;
                case 16: {
                    uint32_t v = row[x * 2] | row[x * 2 + 1] << 8;
                    uint32_t r = (v >> 11) & 0x1F, g = (v >> 5) & 0x3F, b = v & 0x1F;
                    bitmap->SetPixel(x, y, (r * 255 / 31) << 16 | (g * 255 / 63) << 8 | (b * 255 / 31));
                    break;
                }
                case 24: {
                    const uint8_t* q = row + x * 3;
                    bitmap->SetPixel(x, y, static_cast<uint32_t>(q[2]) << 16 | q[1] << 8 | q[0]);
                    break;
                }
                case 32: {
                    const uint8_t* q = row + x * 4;
                    bitmap->SetPixel(x, y, static_cast<uint32_t>(q[2]) << 16 | q[1] << 8 | q[0]);
                    break;
                }
                }
            }
        }
    }
    return host::RegisterBitmap(std::move(bitmap));
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return nullptr;
    // As on the device: compatible with a memory context means the depth of what it holds,
    // which for a fresh context is its monochrome stock bitmap.
    int depth = 32;
    if (found->kind == host::DeviceContext::Kind::Memory && found->surface) depth = found->surface->Depth();
    auto bitmap = host::Bitmap::Create(width, height, depth);
    if (!bitmap) return FailWith<HBITMAP>(ERROR_INVALID_PARAMETER, nullptr);
    return host::RegisterBitmap(std::move(bitmap));
}

namespace {

BOOL Transfer(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, HBITMAP mask,
              int xMask, int yMask, uint8_t foreground, uint8_t background) {
    host::DeviceContext* target = FindDC(dest);
    if (!target) return FALSE;
    if (!target->surface) return FailWith(ERROR_INVALID_HANDLE, FALSE);
    host::BlitRequest request;
    request.dest = target;
    request.x = x;
    request.y = y;
    request.width = width;
    request.height = height;
    request.foreground = foreground;
    request.background = background;
    if (mask) {
        const host::Bitmap* maskBitmap = host::BitmapFromHandle(mask);
        if (!maskBitmap) return FailWith(ERROR_INVALID_HANDLE, FALSE);
        if (maskBitmap->Depth() != 1) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
        request.mask = maskBitmap;
        request.xMask = xMask;
        request.yMask = yMask;
    }
    const bool needSource = host::RopUsesSource(foreground) || (mask && host::RopUsesSource(background));
    if (needSource) {
        const host::DeviceContext* source = FindDC(src);
        if (!source) return FALSE;
        if (!source->surface) return FailWith(ERROR_INVALID_HANDLE, FALSE);
        request.source = source->surface;
        request.xSrc = xSrc;
        request.ySrc = ySrc;
        request.sourceBkColor = source->bkColor;
        // A section's caller may have written its buffer since the last call.
        if (source->kind == host::DeviceContext::Kind::Memory) host::PullDibSection(source->bitmap);
    }
    if (target->kind == host::DeviceContext::Kind::Memory) host::PullDibSection(target->bitmap);
    if (!host::Blit(request)) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
    if (target->kind == host::DeviceContext::Kind::Memory) host::PushDibSection(target->bitmap);
    return TRUE;
}

}  // namespace

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, DWORD rop) {
    const uint8_t code = static_cast<uint8_t>(rop >> 16);
    return Transfer(dest, x, y, width, height, src, xSrc, ySrc, nullptr, 0, 0, code, code);
}

BOOL MaskBlt(HDC dest, int x, int y, int width, int height, HDC src, int xSrc, int ySrc, HBITMAP mask, int xMask,
             int yMask, DWORD rop) {
    const uint8_t foreground = static_cast<uint8_t>(rop >> 16);
    const uint8_t background = static_cast<uint8_t>(rop >> 24);
    // Without a mask the foreground operation applies everywhere, as a plain block transfer.
    return Transfer(dest, x, y, width, height, src, xSrc, ySrc, mask, xMask, yMask, foreground,
                    mask ? background : foreground);
}

DWORD GetSysColor(int index) {
    COLORREF color = 0;
    return host::SysColor(index, &color) ? color : 0;
}

HBRUSH GetSysColorBrush(int index) { return host::SysColorBrush(index); }

HBRUSH CreateSolidBrush(COLORREF color) { return host::CreateBrush(color); }

HGDIOBJ GetStockObject(int object) {
    if (object == SYSTEM_FONT) return host::SystemFont();
    HBRUSH brush = host::StockBrush(object);
    return brush ? brush : FailWith<HGDIOBJ>(ERROR_INVALID_PARAMETER, nullptr);
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return 0;
    if (!rect) return FailWith(ERROR_INVALID_PARAMETER, 0);
    const host::Brush* fill = host::BrushFromHandle(brush);
    if (!fill) return FailWith(ERROR_INVALID_HANDLE, 0);
    if (!found->surface) return FailWith(ERROR_INVALID_HANDLE, 0);
    if (found->kind == host::DeviceContext::Kind::Memory) host::PullDibSection(found->bitmap);
    host::FillSolid(*found, *rect, fill->color);
    if (found->kind == host::DeviceContext::Kind::Memory) host::PushDibSection(found->bitmap);
    return 1;
}

COLORREF SetTextColor(HDC dc, COLORREF color) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return CLR_INVALID;
    COLORREF previous = found->textColor;
    found->textColor = color & 0x00FFFFFFu;
    return previous;
}

COLORREF GetTextColor(HDC dc) {
    host::DeviceContext* found = FindDC(dc);
    return found ? found->textColor : CLR_INVALID;
}

COLORREF SetBkColor(HDC dc, COLORREF color) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return CLR_INVALID;
    COLORREF previous = found->bkColor;
    found->bkColor = color & 0x00FFFFFFu;
    return previous;
}

UINT SetTextAlign(HDC dc, UINT align) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return GDI_ERROR;
    UINT previous = found->textAlign;
    found->textAlign = align;
    return previous;
}

BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count, const int* dx) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return FALSE;
    if (count > 0 && !text) return FailWith(ERROR_INVALID_PARAMETER, FALSE);
    if (!found->surface) return FailWith(ERROR_INVALID_HANDLE, FALSE);
    if (const host::Font* font = found->font ? host::FontFromHandle(found->font) : nullptr) {
        host::DrawFontTextOut(*found, font->logical, x, y, options, rect, std::u16string_view(text, count));
        return TRUE;
    }
    host::DrawText(*found, x, y, options, rect, text, count, dx);
    return TRUE;
}
