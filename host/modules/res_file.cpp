#include "host/modules/res_file.h"

#include <algorithm>

namespace host {

namespace {

constexpr size_t kFixedHeaderPrefix = 8;   // DataSize, HeaderSize
constexpr size_t kFixedHeaderSuffix = 16;  // DataVersion, MemoryFlags, LanguageId, Version, Characteristics

size_t AlignUp4(size_t value) { return (value + 3) & ~static_cast<size_t>(3); }

// A type or name field: 0xFFFF and a number, or a terminated UTF-16 string. pos advances past it.
bool ReadKey(const std::vector<uint8_t>& bytes, size_t* pos, size_t end, ResourceKey* key) {
    if (end - *pos < 2) return false;
    if (ReadLe16(bytes.data() + *pos) == 0xFFFF) {
        if (end - *pos < 4) return false;
        *key = ResourceKey::Number(ReadLe16(bytes.data() + *pos + 2));
        *pos += 4;
        return true;
    }
    std::u16string name;
    for (size_t p = *pos; end - p >= 2; p += 2) {
        char16_t c = ReadLe16(bytes.data() + p);
        if (c == 0) {
            *key = ResourceKey::Name(name);
            *pos = p + 2;
            return true;
        }
        if (name.size() == ResourceTree::kMaxNameLength) return false;
        name.push_back(c);
    }
    return false;
}

}  // namespace

bool ReadResFile(std::vector<uint8_t> bytes, ResourceTree* tree, std::string* error) {
    auto fail = [error](const char* reason) {
        if (error) *error = reason;
        return false;
    };
    ResourceTree result(std::move(bytes));
    const std::vector<uint8_t>& data = result.Bytes();
    size_t pos = 0;
    while (pos < data.size()) {
        size_t remaining = data.size() - pos;
        if (remaining < kFixedHeaderPrefix) {
            // Alignment padding after the last entry is all that may follow it.
            for (size_t i = pos; i < data.size(); ++i)
                if (data[i] != 0) return fail("trailing bytes after the last resource");
            break;
        }
        size_t dataSize = ReadLe32(data.data() + pos);
        size_t headerSize = ReadLe32(data.data() + pos + 4);
        if (headerSize < kFixedHeaderPrefix + 4 + kFixedHeaderSuffix || headerSize > remaining)
            return fail("a resource header is cut short");
        if (dataSize > remaining - headerSize) return fail("a resource's data is cut short");
        size_t headerEnd = pos + headerSize;
        size_t field = pos + kFixedHeaderPrefix;
        ResourceKey type, name;
        if (!ReadKey(data, &field, headerEnd, &type) || !ReadKey(data, &field, headerEnd, &name))
            return fail("a resource's type or name is malformed");
        field = pos + AlignUp4(field - pos);
        if (field > headerEnd || headerEnd - field < kFixedHeaderSuffix) return fail("a resource header is cut short");
        WORD language = ReadLe16(data.data() + field + 6);
        // The file starts with an empty entry of type 0 that only marks the format.
        if (!(type.isNumber && type.number == 0)) {
            if (!result.Add(ResourceEntry{type, name, language, headerEnd, dataSize})) return fail("too many resources");
        }
        pos = std::min(AlignUp4(headerEnd + dataSize), data.size());
    }
    *tree = std::move(result);
    return true;
}

}  // namespace host
