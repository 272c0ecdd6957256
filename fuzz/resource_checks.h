// Shared by the resource fuzz targets: walks everything a parsed resource tree holds the way the
// platform calls would (lookups, string tables, bitmaps, version queries) and aborts when an
// answer breaks an invariant: data outside the buffer, an entry its own key cannot find, a
// bitmap whose pixels do not match its size.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>

#include "host/gdi/bitmap.h"
#include "host/modules/resource_tree.h"
#include "host/modules/version_info.h"

namespace fuzzcheck {

inline bool Inside(const uint8_t* p, size_t n, std::span<const uint8_t> span) {
    auto begin = reinterpret_cast<uintptr_t>(span.data()), at = reinterpret_cast<uintptr_t>(p);
    return at >= begin && at - begin <= span.size() && n <= span.size() - (at - begin);
}

inline void ExerciseTree(const host::ResourceTree& tree, bool parsed, const std::string& error) {
    if (!parsed) {
        if (error.empty()) abort();
        return;
    }
    const std::span<const uint8_t> all(tree.Bytes());
    for (const host::ResourceEntry& entry : tree.Entries()) {
        auto data = tree.Data(entry);
        if (!Inside(data.data(), data.size(), all)) abort();
        const host::ResourceEntry* found = tree.Find(entry.type, entry.name);
        if (!found || !tree.Owns(found)) abort();
        if (!entry.type.isNumber) continue;
        switch (entry.type.number) {
        case 6:
            for (unsigned i = 0; i < 16; ++i) {
                std::u16string_view text;
                if (host::StringFromBlock(data, i, &text) &&
                    !Inside(reinterpret_cast<const uint8_t*>(text.data()), text.size() * 2, data))
                    abort();
            }
            break;
        case 2: {
            std::string why;
            auto bitmap = host::DecodeDib(data, &why);
            if (!bitmap && why.empty()) abort();
            if (bitmap && bitmap->Pixels().size() != static_cast<size_t>(bitmap->Width()) * bitmap->Height()) abort();
            break;
        }
        case 16: {
            size_t declared = host::VersionBlockLength(data);
            if (declared > data.size()) break;
            auto block = data.first(declared);
            for (const char16_t* path : {u"\\", u"\\VarFileInfo\\Translation", u"\\StringFileInfo\\040904B0\\FileDescription",
                                         u"\\StringFileInfo", u"\\a\\b\\c\\d"}) {
                const uint8_t* value = nullptr;
                UINT length = 0;
                if (host::QueryVersionValue(block, path, &value, &length) && !Inside(value, 0, block)) abort();
            }
            break;
        }
        default: break;
        }
    }
}

}  // namespace fuzzcheck
