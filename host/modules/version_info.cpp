#include "host/modules/version_info.h"

#include <algorithm>
#include <string>

#include "platform/text.h"
#include "host/modules/resource_tree.h"

namespace host {

namespace {

constexpr size_t kNodeHeader = 6;  // wLength, wValueLength, wType
constexpr uint16_t kTextValue = 1;

size_t AlignUp4(size_t value) { return (value + 3) & ~static_cast<size_t>(3); }

// One node of the tree: a key, an optional value and child nodes up to its end. Offsets are
// relative to the start of the block, which the version resource aligns on 4 bytes.
struct Node {
    size_t end = 0;
    std::u16string key;
    size_t valueOffset = 0;
    size_t valueBytes = 0;
    UINT valueLength = 0;  // as reported: units for text, bytes otherwise
    size_t childrenOffset = 0;
};

bool ParseNode(std::span<const uint8_t> block, size_t offset, size_t limit, Node* node) {
    if (offset > limit || limit - offset < kNodeHeader) return false;
    const uint8_t* p = block.data() + offset;
    size_t length = ReadLe16(p);
    size_t valueLength = ReadLe16(p + 2);
    bool text = ReadLe16(p + 4) == kTextValue;
    if (length < kNodeHeader || length > limit - offset) return false;
    node->end = offset + length;
    node->key.clear();
    size_t pos = offset + kNodeHeader;
    for (;; pos += 2) {
        if (node->end - pos < 2) return false;
        char16_t c = ReadLe16(block.data() + pos);
        if (c == 0) break;
        node->key.push_back(c);
    }
    pos += 2;
    // A value that claims more than the node holds is cut to what is there.
    node->valueOffset = std::min(AlignUp4(pos), node->end);
    size_t available = node->end - node->valueOffset;
    size_t claimed = text ? valueLength * 2 : valueLength;
    node->valueBytes = std::min(claimed, available);
    node->valueLength = static_cast<UINT>(text ? node->valueBytes / 2 : node->valueBytes);
    node->childrenOffset = std::min(AlignUp4(node->valueOffset + node->valueBytes), node->end);
    return true;
}

}  // namespace

size_t VersionBlockLength(std::span<const uint8_t> block) {
    if (block.size() < kNodeHeader) return 0;
    return ReadLe16(block.data());
}

bool QueryVersionValue(std::span<const uint8_t> block, std::u16string_view path, const uint8_t** value,
                       UINT* length) {
    Node node;
    if (!ParseNode(block, 0, block.size(), &node)) return false;
    bool root = true;
    size_t start = 0;
    while (start <= path.size()) {
        size_t stop = path.find(u'\\', start);
        if (stop == std::u16string_view::npos) stop = path.size();
        std::u16string_view component = path.substr(start, stop - start);
        start = stop + 1;
        if (component.empty()) continue;
        root = false;
        // Each child takes at least a header's bytes, so the scan ends.
        bool found = false;
        Node child;
        for (size_t at = node.childrenOffset; at < node.end; at = AlignUp4(child.end)) {
            if (!ParseNode(block, at, node.end, &child)) return false;
            if (EqualsNoCase(child.key, component)) {
                found = true;
                break;
            }
        }
        if (!found) return false;
        node = std::move(child);
    }
    if (root && node.valueBytes == 0) return false;
    *value = block.data() + node.valueOffset;
    *length = node.valueLength;
    return true;
}

}  // namespace host
