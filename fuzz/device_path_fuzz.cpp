// Drives device path checking and name matching with arbitrary UTF-16 text. Whatever a path
// check accepts must be safe to hand to the host: every component, written as UTF-8, is a
// single host name (no '/', no NUL, not "." or "..", at most 255 bytes), and joining the
// components again gives a path that splits the same way.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/store/device_path.h"
#include "platform/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string text(size / 2, u'\0');
    if (!text.empty()) memcpy(text.data(), data, text.size() * 2);

    for (host::PathKind kind : {host::PathKind::Entry, host::PathKind::Pattern}) {
        std::vector<std::u16string> parts;
        if (host::SplitDevicePath(text, kind, &parts) != 0) continue;
        std::u16string joined;
        for (size_t i = 0; i < parts.size(); ++i) {
            std::string host = ToUtf8(parts[i]);
            if (host.empty() || host.size() > 255 || host == "." || host == ".." ||
                host.find_first_of(std::string("/\0", 2)) != std::string::npos)
                abort();
            if (kind == host::PathKind::Entry && host::HasWildcards(parts[i])) abort();
            if (i + 1 < parts.size() && host::HasWildcards(parts[i])) abort();
            if (FromUtf8(host) != parts[i]) abort();
            joined += u'\\';
            joined += parts[i];
        }
        // A path given without its leading backslash is one unit longer once joined.
        std::vector<std::u16string> again;
        if (joined.size() < MAX_PATH &&
            (host::SplitDevicePath(joined.empty() ? u"\\" : joined, kind, &again) != 0 || again != parts))
            abort();
    }

    // Name matching: any cut of the input into a name and a pattern.
    size_t cut = text.find(u'|');
    std::u16string_view name = std::u16string_view(text).substr(0, cut);
    std::u16string_view pattern = cut == std::u16string::npos ? std::u16string_view() : std::u16string_view(text).substr(cut + 1);
    host::MatchesPattern(name, pattern);
    if (!host::MatchesPattern(name, u"*")) abort();
    if (!host::HasWildcards(name) && !host::MatchesPattern(name, UpperCase(name))) abort();
    return 0;
}
