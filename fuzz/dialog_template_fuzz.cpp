// Drives the dialog template reader with arbitrary bytes: it must never crash or read past its
// input, and what it accepts holds no more controls than a dialog may.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/windows/dialog_template.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    host::DialogTemplate parsed;
    std::string reason;
    if (!host::ParseDialogTemplate(data, size, &parsed, &reason)) {
        if (reason.empty()) abort();
        return 0;
    }
    if (parsed.items.size() > host::kMaxDialogItems) abort();
    for (const host::DialogItem& item : parsed.items)
        if (item.className.empty()) abort();
    return 0;
}
