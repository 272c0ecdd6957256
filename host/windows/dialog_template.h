// Dialog templates as a module's resources hold them (RT_DIALOG), in both the plain and the
// extended form: the dialog's styles, rectangle in dialog units, caption, class and font, and
// one item per control. The reader takes untrusted bytes: every string and item is checked
// against the data before it is read, and a template that fails a check is refused whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/wintypes.h"

namespace host {

struct DialogItem {
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    DWORD id = 0;
    // The class by name; a predefined class given by number has its name here ("button" ...).
    std::u16string className;
    std::u16string text;
    WORD textOrdinal = 0;  // a resource number in place of a text (for images), 0 when text
};

struct DialogTemplate {
    bool extended = false;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::u16string className;  // empty: the platform's dialog class
    std::u16string caption;
    // With DS_SETFONT (or an extended template's font fields).
    bool hasFont = false;
    WORD pointSize = 0;
    WORD weight = 0;
    bool italic = false;
    std::u16string faceName;
    std::vector<DialogItem> items;
};

// A template refuses more controls than any dialog of the device holds.
inline constexpr size_t kMaxDialogItems = 255;

// False with a short reason when data is not a complete, well-formed template.
bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate* result, std::string* reason);

}  // namespace host
