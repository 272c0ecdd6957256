// Shared helpers of the keyboard tests: engine-shaped character sources, layout bytes, a
// recording SIP callback and a keyboard whose platform effects are recorded instead of drawn.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "charset_table.h"
#include "keyboard_core.h"
#include "platform/sip.h"

namespace kbdtest {

inline void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

struct Record {
    uint16_t index, bitmap, left, top, right, bottom;
};

inline std::vector<uint8_t> LayoutBytes(std::initializer_list<Record> records) {
    std::vector<uint8_t> out;
    for (const Record& r : records)
        for (uint16_t v : {r.index, r.bitmap, r.left, r.top, r.right, r.bottom, uint16_t(0xDEAD), uint16_t(0xBEEF)}) {
            out.push_back(static_cast<uint8_t>(v >> 8));
            out.push_back(static_cast<uint8_t>(v));
        }
    return out;
}

// A second language of count records: record k is (0x400 + k, 0x500 + k, 0x600 + k, 0x700 + k).
inline std::vector<uint8_t> LocaleBytes(size_t count) {
    std::vector<uint8_t> out;
    PutLe16(out, 0xFFFF);
    for (size_t k = 0; k < count; ++k)
        for (uint16_t base : {0x400, 0x500, 0x600, 0x700}) PutLe16(out, static_cast<uint16_t>(base + k));
    return out;
}

// Sources shaped like the engine's: 48 digit-block characters ('0' + i % 10), the 22 function
// codes big-endian, and `english` character records, all "a A e E" except the keys the tests
// type: 70 "1 ! ¿ ¿", 80 "- _ « «", 82 "q Q à À", 107 "c C β β".
struct EngineSources {
    std::vector<uint8_t> digits, funcs, english, locale;

    explicit EngineSources(size_t records = 152) {
        for (int i = 0; i < 48; ++i) PutLe16(digits, static_cast<uint16_t>(u'0' + i % 10));
        for (uint16_t code : {0xF000, 0xF001, 0xF002, 0xF003, 0xF004, 0xF005, 0xF010, 0xF011, 0xF012, 0xF013, 0xF014,
                              0xF015, 0xF016, 0xF017, 0xF018, 0xF019, 0xF020, 0xF021, 0xF022, 0xF023, 0xF024, 0xF025}) {
            funcs.push_back(static_cast<uint8_t>(code >> 8));
            funcs.push_back(static_cast<uint8_t>(code));
        }
        for (size_t k = 0; k < records; ++k) {
            std::array<uint16_t, 4> words = {u'a', u'A', u'e', u'E'};
            switch (70 + k) {
            case 70: words = {u'1', u'!', 0xBF, 0xBF}; break;
            case 80: words = {u'-', u'_', 0xAB, 0xAB}; break;
            case 82: words = {u'q', u'Q', 0xE0, 0xC0}; break;
            case 107: words = {u'c', u'C', 0x3B2, 0x3B2}; break;
            }
            for (uint16_t w : words) PutLe16(english, w);
        }
    }
    keyboard::CharsetSources Spans() const { return {digits, funcs, english, locale}; }
};

// Records every call as the front end prints it; a character event whose count or shift state
// differs from what the engine promises is recorded as such.
class RecordingCallback : public IIMCallback {
public:
    std::vector<std::string> calls;

    HRESULT QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT SetImInfo(IMINFO*) override { return S_OK; }
    HRESULT SendVirtualKey(BYTE vk, DWORD flags) override {
        char line[64];
        std::snprintf(line, sizeof line, "SendVirtualKey 0x%02X 0x%08X", vk, flags);
        calls.push_back(line);
        return S_OK;
    }
    HRESULT SendCharEvents(UINT vk, UINT keyFlags, UINT count, UINT* shiftStates, UINT* chars) override {
        if (count != 1 || !shiftStates || !chars || *shiftStates != keyFlags) {
            calls.push_back("malformed SendCharEvents");
            return E_INVALIDARG;
        }
        char line[64];
        std::snprintf(line, sizeof line, "SendCharEvents 0x%02X 0x%08X U+%04X", vk, keyFlags, *chars);
        calls.push_back(line);
        return S_OK;
    }
    HRESULT SendString(BSTR, DWORD) override { return E_NOTIMPL; }
    std::vector<std::string> Take() { return std::exchange(calls, {}); }
};

class TestKeyboard : public KeyboardCore {
public:
    bool captureHeld = false;
    int captures = 0;
    int wholeInvalidations = 0;
    int maskSelections = 0;
    std::vector<RECT> invalidated;

    BOOL Init(int width, int height) {
        ReleaseEngine();
        return StartEngine(width, height);
    }

protected:
    void CapturePen(HWND) override {
        captureHeld = true;
        ++captures;
    }
    void ReleasePen() override { captureHeld = false; }
    void InvalidateWindow(HWND, const RECT* rect) override {
        if (rect)
            invalidated.push_back(*rect);
        else
            ++wholeInvalidations;
    }
    void SelectMasks() override { ++maskSelections; }
};

}  // namespace kbdtest
