// GDI object calls on the host's device bitmaps (bitmap.h).
#include "platform/gdi.h"

#include <cstring>

#include "bitmap.h"
#include "device.h"

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
    host::Bitmap* bitmap = host::BitmapFromHandle(static_cast<HBITMAP>(object));
    if (!bitmap) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (!buffer) return static_cast<int>(sizeof(BITMAP));
    if (size < static_cast<int>(sizeof(BITMAP))) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
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
    if (!host::DeleteBitmap(static_cast<HBITMAP>(object))) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

DWORD GetObjectType(HGDIOBJ object) {
    if (host::IsBitmapHandle(object)) return OBJ_BITMAP;
    host::SetLastErrorCode(ERROR_INVALID_HANDLE);
    return 0;
}
