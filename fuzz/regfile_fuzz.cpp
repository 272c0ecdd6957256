// Drives the .reg parser with arbitrary bytes (read in either ANSI code page): it must never
// crash, hang or grow without bound, and every value it accepts must come back unchanged through
// the exporter's value line, in both of the exporter's forms (UTF-8 with LF, UTF-16LE with CR LF).
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/registry/regfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int codePage = size % 2 ? 1251 : 1252;
    std::vector<host::RegOperation> ops;
    std::string error;
    if (!host::ParseRegText(std::string_view(reinterpret_cast<const char*>(data), size), &ops, &error, codePage)) {
        if (error.empty() || !ops.empty()) abort();
        return 0;
    }
    for (const host::RegOperation& op : ops) {
        if (op.kind != host::RegOperation::Kind::SetValue) continue;
        // The version 5.00 header: the exporter's hex(2) and hex(7) data are UTF-16.
        const std::string text = "Windows Registry Editor Version 5.00\n[HKEY_CURRENT_USER\\K]\n" +
                                 host::FormatRegValue(op.name, op.type, op.data.data(), op.data.size()) + "\n";
        for (const std::string& form : {text, host::RegTextToUtf16(text)}) {
            std::vector<host::RegOperation> again;
            if (!host::ParseRegText(form, &again, &error, codePage) || again.size() != 2) abort();
            const host::RegOperation& back = again[1];
            if (back.name != op.name || back.type != op.type || back.data != op.data) abort();
        }
    }
    return 0;
}
