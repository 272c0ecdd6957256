// The keyboard status and its rules as pure functions: what a status key does to the status
// (and which key event it sends), what releasing the one-shot states does, which image and
// masks show for a status, and how a pen stroke classifies as a gesture. No window, clock or
// device is involved; the engine applies the results.
//
// Invariants: Shift, Ctrl and Uml are one-shots (cleared after a typed key), CAPS, Lang and Digit
// stay until pressed again; a status key sends at most one key event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "charset_table.h"
#include "platform/wintypes.h"

namespace keyboard {

// The keyboard status record: six one-byte booleans in this order.
struct KbStatus {
    bool m_bShift = false;
    bool m_bCAPS = false;
    bool m_bCtrl = false;
    bool m_bLng1 = true;
    bool m_bDigital = false;
    bool m_bUml = false;
};
static_assert(sizeof(KbStatus) == 6, "the status record is six bytes");

inline bool operator==(const KbStatus& a, const KbStatus& b) {
    return a.m_bShift == b.m_bShift && a.m_bCAPS == b.m_bCAPS && a.m_bCtrl == b.m_bCtrl && a.m_bLng1 == b.m_bLng1 &&
           a.m_bDigital == b.m_bDigital && a.m_bUml == b.m_bUml;
}

// One SendVirtualKey call: flags 0 is a key-down, KEYEVENTF_KEYUP (2) a key-up.
struct VirtualKeyEvent {
    BYTE vk = 0;
    DWORD flags = 0;
};

struct StatusRules {
    bool hasCapsKey = false;  // the letter layout holds the CAPS key
    bool extSym = false;      // extended-symbol pages are on
};

struct StatusTransition {
    KbStatus status;
    std::optional<VirtualKeyEvent> event;
};

// One status key. Shift sends VK_SHIFT up when latched, else down; without a CAPS key a Shift
// press while CAPS is on turns CAPS off instead of latching. Ctrl sends VK_CONTROL likewise.
// Digit turning on clears Ctrl without an event. Uml does nothing while extended symbols are
// off: its pages are then not loaded, so there would be no page to show or type. Any other
// code changes nothing.
StatusTransition ApplyStatusKey(const KbStatus& status, WCHAR code, const StatusRules& rules);

struct ModifierRelease {
    KbStatus status;
    bool changed = false;  // some one-shot was set
    VirtualKeyEvent events[2];
    size_t eventCount = 0;
};

// Clears Shift, Ctrl and Uml after a typed key, with the key-ups of the latches that were sent
// down (Shift first, then Ctrl).
ModifierRelease ReleaseOneShots(const KbStatus& status);

enum class KeyboardImage : uint8_t { Letters, Digits };
// Which label mask a device context holds. Stock is the context's own bitmap: no mask.
enum class MaskId : uint8_t {
    Stock,
    Lng1Small,
    Lng1Large,
    Uml1Small,
    Uml1Large,
    Lng2Small,
    Lng2Large,
    Uml2Small,
    Uml2Large,
    Digit,
};

struct MaskSelection {
    KeyboardImage image = KeyboardImage::Letters;
    MaskId main = MaskId::Stock;  // decides what is drawn and typed
    MaskId ext = MaskId::Stock;   // the opposite case, shown inside the CAPS rectangle
};

// Ctrl shows language 1 small letters; the digit keyboard its own image and mask; otherwise the
// language or extended page, where Shift inverts CAPS.
MaskSelection ChooseMasks(const KbStatus& status);

enum class SwipeDirection : uint8_t { None, Right, Left, Up, Down };

// A move counts when longer than this many pixels.
inline constexpr LONG kSwipeThreshold = 15;

// First matching rule: right, left (each only when strictly longer than the vertical move), up,
// down. Computed in 64 bits, so extreme coordinates cannot overflow.
SwipeDirection ClassifySwipe(POINT start, POINT end);

// Entry indices 46 and 53 count as one key for pressing and releasing.
inline bool IsTwinKeyIndex(int32_t index) { return index == 46 || index == 53; }

}  // namespace keyboard
