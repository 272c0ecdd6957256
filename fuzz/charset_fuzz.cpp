// The character table builder on arbitrary bytes: the input is cut into the four resources
// (digits, function codes, English records, second language) by its first three bytes, the
// table is built, and every entry is classified and planned for delivery on every page.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "charset_table.h"
#include "key_delivery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    const size_t cuts[3] = {data[0], data[1] * 2u, data[2] * 8u};
    std::span<const uint8_t> rest(data + 3, size - 3);
    std::span<const uint8_t> parts[4];
    for (int i = 0; i < 3; ++i) {
        size_t n = cuts[i] < rest.size() ? cuts[i] : rest.size();
        parts[i] = rest.first(n);
        rest = rest.subspan(n);
    }
    parts[3] = rest;

    std::vector<keyboard::CharsetEntry> table(7);
    keyboard::CharsetMarks marks = keyboard::BuildCharset({parts[0], parts[1], parts[2], parts[3]}, table);
    if (marks.m_nLastChar != static_cast<int32_t>(table.size()) - 1) __builtin_trap();
    if (table.size() > keyboard::kMaxCharsetEntries) __builtin_trap();

    size_t checked = 0;
    for (const keyboard::CharsetEntry& entry : table) {
        keyboard::DeliveryState state;
        state.functional = keyboard::IsFunctionalKeyCode(table, marks, entry.Code());
        state.digitalLine = keyboard::IsDigitalLineCode(table, entry.Code());
        state.portrait = state.capsRectSet = true;
        for (uint8_t bits = 0; bits < 64; bits += 7) {
            state.status = keyboard::KbStatus{bool(bits & 1), bool(bits & 2), bool(bits & 4), bool(bits & 8),
                                              bool(bits & 16), bool(bits & 32)};
            state.mask = keyboard::ChooseMasks(state.status).main;
            keyboard::KeyCalls plan = keyboard::PlanKeyDelivery(entry.Pair(0), entry.Pair(1), entry.Pair(2),
                                                                entry.Pair(3), bits & 1, state);
            if (plan.count > plan.calls.size()) __builtin_trap();
        }
        if (++checked > 512) break;
    }
    return 0;
}
