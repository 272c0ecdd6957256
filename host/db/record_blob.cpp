#include "host/db/record_blob.h"

#include <cstring>

#include "platform/text.h"

namespace host::cedb {

bool IsKnownType(WORD type) {
    switch (type) {
    case CEVT_I2:
    case CEVT_UI2:
    case CEVT_I4:
    case CEVT_UI4:
    case CEVT_BOOL:
    case CEVT_R8:
    case CEVT_FILETIME:
    case CEVT_LPWSTR:
    case CEVT_BLOB: return true;
    default: return false;
    }
}

size_t FixedSize(WORD type) {
    switch (type) {
    case CEVT_I2:
    case CEVT_UI2: return 2;
    case CEVT_I4:
    case CEVT_UI4:
    case CEVT_BOOL: return 4;
    case CEVT_R8:
    case CEVT_FILETIME: return 8;
    default: return 0;
    }
}

size_t PlatformSize(CEPROPID propid, std::string_view value) {
    return TypeFromPropID(propid) == CEVT_LPWSTR ? value.size() + sizeof(WCHAR) : value.size();
}

bool DecodeRecord(std::string_view blob, std::vector<PropertyView>* properties) {
    properties->clear();
    size_t at = 0, total = 0;
    while (at < blob.size()) {
        if (blob.size() - at < 8) return false;
        const CEPROPID propid = ReadLe32(blob.data() + at);
        const uint32_t size = ReadLe32(blob.data() + at + 4);
        at += 8;
        if (size > blob.size() - at) return false;
        const WORD type = TypeFromPropID(propid);
        if (!IsKnownType(type)) return false;
        const size_t fixed = FixedSize(type);
        if (fixed ? size != fixed : (type == CEVT_LPWSTR && size % 2 != 0)) return false;
        const std::string_view value = blob.substr(at, size);
        total += PlatformSize(propid, value);
        if (PlatformSize(propid, value) > CEDB_MAXPROPDATASIZE || total > CEDB_MAXRECORDSIZE) return false;
        // A text holds no terminator of its own.
        if (type == CEVT_LPWSTR)
            for (size_t i = 0; i < size; i += 2)
                if (value[i] == 0 && value[i + 1] == 0) return false;
        for (const PropertyView& earlier : *properties)
            if (earlier.propid == propid) return false;
        properties->push_back({propid, value});
        at += size;
    }
    return true;
}

void AppendProperty(std::string* blob, CEPROPID propid, std::string_view value) {
    AppendLe32(blob, propid);
    AppendLe32(blob, uint32_t(value.size()));
    blob->append(value);
}

bool FindProperty(std::string_view blob, CEPROPID propid, std::string_view* value) {
    size_t at = 0;
    while (blob.size() - at >= 8) {
        const CEPROPID id = ReadLe32(blob.data() + at);
        const uint32_t size = ReadLe32(blob.data() + at + 4);
        at += 8;
        if (size > blob.size() - at) return false;
        if (id == propid) {
            *value = blob.substr(at, size);
            return true;
        }
        at += size;
    }
    return false;
}

namespace {

void AppendBigEndian(std::string* out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out->push_back(char((v >> (8 * i)) & 0xFF));
}

uint64_t ReadLe(std::string_view value) {
    uint64_t v = 0;
    for (size_t i = value.size(); i-- > 0;) v = v << 8 | uint8_t(value[i]);
    return v;
}

}  // namespace

// Present values sort between the two places a record without the property may take. Numbers
// are stored big-endian with the sign bit flipped, so that bytes compare as the numbers do; a
// double's bits are flipped whole when it is negative. Texts and blobs end with two zero bytes,
// below any unit a text holds (a text has no zero unit) and below a blob's zero byte, which is
// written as 00 FF: so no key is a prefix of another, and inverting the bytes of a descending
// order reverses it exactly.
std::string SortKey(std::string_view blob, const SORTORDERSPEC& spec) {
    std::string_view value;
    if (!FindProperty(blob, spec.propid, &value))
        return std::string(1, (spec.dwFlags & CEDB_SORT_UNKNOWNFIRST) ? '\x00' : '\x02');
    std::string key(1, '\x01');
    const WORD type = TypeFromPropID(spec.propid);
    switch (type) {
    case CEVT_I2: AppendBigEndian(&key, ReadLe(value) ^ 0x8000, 2); break;
    case CEVT_UI2: AppendBigEndian(&key, ReadLe(value), 2); break;
    case CEVT_I4:
    case CEVT_BOOL: AppendBigEndian(&key, ReadLe(value) ^ 0x80000000u, 4); break;
    case CEVT_UI4:
    case CEVT_FILETIME: AppendBigEndian(&key, ReadLe(value), int(value.size())); break;
    case CEVT_R8: {
        uint64_t bits = ReadLe(value);
        bits = (bits >> 63) ? ~bits : bits ^ (uint64_t(1) << 63);
        AppendBigEndian(&key, bits, 8);
        break;
    }
    case CEVT_LPWSTR:
        for (size_t i = 0; i + 1 < value.size(); i += 2) {
            WCHAR unit = WCHAR(uint8_t(value[i]) | uint8_t(value[i + 1]) << 8);
            if (spec.dwFlags & CEDB_SORT_CASEINSENSITIVE) unit = towupper16(unit);
            AppendBigEndian(&key, unit, 2);
        }
        key.append(2, '\0');
        break;
    default:
        for (char c : value) {
            key.push_back(c);
            if (c == 0) key.push_back('\xFF');
        }
        key.append(2, '\0');
        break;
    }
    if (spec.dwFlags & CEDB_SORT_DESCENDING)
        for (size_t i = 1; i < key.size(); ++i) key[i] = char(~key[i]);
    return key;
}

}  // namespace host::cedb
