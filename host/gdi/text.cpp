// The text calls of fonts: creating fonts, the screen's resolution, the background mode, text
// metrics and extents, and DrawTextW's lines, wrapping, alignment and clipping.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "host/gdi/dib_section.h"
#include "host/gdi/fonts.h"
#include "host/gdi/raster.h"
#include "host/kernel/device.h"
#include "platform/gdi.h"
#include "platform/text.h"

namespace {

host::DeviceContext* FindDC(HDC dc) {
    host::DeviceContext* found = host::DCFromHandle(dc);
    if (!found) host::SetLastErrorCode(ERROR_INVALID_HANDLE);
    return found;
}

// The context's font, or the system font when none is selected (or the selected one is gone).
const LOGFONTW& FontOf(const host::DeviceContext& dc) {
    const host::Font* font = dc.font ? host::FontFromHandle(dc.font) : nullptr;
    if (!font) font = host::FontFromHandle(host::SystemFont());
    return font->logical;
}

// The text a person sees: "&x" shows x, "&&" shows one "&".
std::u16string WithoutPrefixes(std::u16string_view text) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        out += text[i];
    }
    return out;
}

// Lines of text as DrawTextW lays them out: broken at line ends, and with wordBreak also where a
// word would pass width (a word longer than the width stands alone on its line).
std::vector<std::u16string> LayOut(const LOGFONTW& font, std::u16string_view text, bool singleLine, bool wordBreak,
                                   int width) {
    std::vector<std::u16string> lines;
    if (singleLine) {
        std::u16string line;
        for (char16_t c : text)
            if (c != u'\r' && c != u'\n') line += c;
        lines.push_back(line);
        return lines;
    }
    std::vector<std::u16string_view> paragraphs;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == u'\n') {
            std::u16string_view part = text.substr(start, i - start);
            if (!part.empty() && part.back() == u'\r') part.remove_suffix(1);
            paragraphs.push_back(part);
            start = i + 1;
        }
    }
    for (std::u16string_view paragraph : paragraphs) {
        if (!wordBreak) {
            lines.emplace_back(paragraph);
            continue;
        }
        std::u16string line;
        size_t at = 0;
        while (at < paragraph.size()) {
            size_t end = paragraph.find(u' ', at);
            if (end == std::u16string_view::npos) end = paragraph.size();
            const std::u16string word(paragraph.substr(at, end - at));
            const std::u16string joined = line.empty() ? word : line + u' ' + word;
            if (!line.empty() && host::TextWidth(font, joined) > width) {
                lines.push_back(line);
                line = word;
            } else {
                line = joined;
            }
            at = end + 1;
        }
        lines.push_back(line);
    }
    return lines;
}

}  // namespace

HFONT CreateFontIndirectW(const LOGFONTW* font) {
    if (!font) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return host::RegisterFont(*font);
}

int GetDeviceCaps(HDC dc, int index) {
    if (dc && !FindDC(dc)) return 0;
    const host::Device* device = host::CurrentDevice();
    switch (index) {
    case HORZRES: return device ? device->ScreenWidth() : 0;
    case VERTRES: return device ? device->ScreenHeight() : 0;
    case BITSPIXEL: return 16;
    case LOGPIXELSX:
    case LOGPIXELSY: return host::ScreenPixelsPerInch();
    default: return 0;
    }
}

int SetBkMode(HDC dc, int mode) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return 0;
    if (mode != TRANSPARENT && mode != OPAQUE) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    return std::exchange(found->bkMode, mode);
}

BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return FALSE;
    if (!metrics) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    host::FontMetrics measured;
    if (!host::MeasureFont(FontOf(*found), &measured)) {
        host::SetLastErrorCode(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    *metrics = TEXTMETRICW{measured.height,         measured.ascent,       measured.descent,
                           measured.internalLeading, 0,                     measured.aveCharWidth,
                           measured.maxCharWidth,    measured.weight};
    return TRUE;
}

BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, SIZE* size) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return FALSE;
    if (!size || count < 0 || (count > 0 && !text)) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    host::FontMetrics measured;
    if (!host::MeasureFont(FontOf(*found), &measured)) return FALSE;
    size->cx = host::TextWidth(FontOf(*found), std::u16string_view(text ? text : u"", static_cast<size_t>(count)));
    size->cy = measured.height;
    return TRUE;
}

int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format) {
    host::DeviceContext* found = FindDC(dc);
    if (!found) return 0;
    if (!rect || (!text && count != 0)) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::u16string_view given(text ? text : u"", count < 0 ? wcslen(text) : static_cast<size_t>(count));
    const std::u16string shown = format & DT_NOPREFIX ? std::u16string(given) : WithoutPrefixes(given);
    const LOGFONTW& font = FontOf(*found);
    host::FontMetrics metrics;
    if (!host::MeasureFont(font, &metrics)) {
        host::SetLastErrorCode(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    const bool single = format & DT_SINGLELINE;
    const int boxWidth = std::max<LONG>(0, rect->right - rect->left);
    std::vector<std::u16string> lines = LayOut(font, shown, single, format & DT_WORDBREAK, boxWidth);
    const int height = static_cast<int>(lines.size()) * metrics.height;
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const std::u16string& line : lines) widest = std::max(widest, host::TextWidth(font, line));
        if (!(format & DT_WORDBREAK) || widest > boxWidth) rect->right = rect->left + widest;
        rect->bottom = rect->top + height;
        return height;
    }
    if (!found->surface) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (single && (format & DT_END_ELLIPSIS) && host::TextWidth(font, lines[0]) > boxWidth) {
        std::u16string cut = lines[0];
        while (!cut.empty() && host::TextWidth(font, cut + u"...") > boxWidth) cut.pop_back();
        lines[0] = cut + u"...";
    }
    int top = rect->top;
    if (single && (format & DT_VCENTER))
        top = rect->top + (rect->bottom - rect->top - metrics.height) / 2;
    else if (single && (format & DT_BOTTOM))
        top = rect->bottom - metrics.height;
    const RECT* clip = format & DT_NOCLIP ? nullptr : rect;
    if (found->kind == host::DeviceContext::Kind::Memory) host::PullDibSection(found->bitmap);
    for (const std::u16string& line : lines) {
        const int width = host::TextWidth(font, line);
        int left = rect->left;
        if (format & DT_CENTER)
            left = rect->left + (boxWidth - width) / 2;
        else if (format & DT_RIGHT)
            left = rect->right - width;
        if (found->bkMode == OPAQUE) {
            RECT cell{left, top, left + width, top + metrics.height};
            if (clip)
                cell = RECT{std::max(cell.left, clip->left), std::max(cell.top, clip->top),
                            std::min(cell.right, clip->right), std::min(cell.bottom, clip->bottom)};
            host::FillSolid(*found, cell, found->bkColor);
        }
        host::DrawFontText(*found, font, left, top, line, found->textColor, clip);
        top += metrics.height;
    }
    if (found->kind == host::DeviceContext::Kind::Memory) host::PushDibSection(found->bitmap);
    return height;
}
