// The skin layout readers on arbitrary bytes: layout records, the CAPS rectangle, hit-testing
// and paint planning over whatever rectangles they produce, and pressed-key toggling.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "layout_table.h"
#include "render_plan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::span<const uint8_t> bytes(data, size);
    keyboard::LayoutTable table;
    keyboard::ReadLayoutRecords(bytes, table);
    std::optional<RECT> caps = keyboard::ReadCapsRect(bytes);

    std::vector<RECT> pressed;
    size_t probes = 0;
    for (const auto& [index, entry] : table) {
        for (const RECT& r : entry.m_Rect) {
            // A rectangle always hits itself at its corners, so the walk cannot lose one.
            if (r.left <= r.right && r.top <= r.bottom &&
                (table.HitTest(r.left, r.top) == -1 || table.HitTest(r.right, r.bottom) == -1))
                __builtin_trap();
            if (!keyboard::IsEmptyRect(r)) keyboard::TogglePressedRect(pressed, r);
        }
        if (++probes > 256) break;
    }
    table.HitTest(-1, -1);

    keyboard::PaintScene scene;
    scene.width = size > 0 ? data[0] * 4 : 0;
    scene.height = size > 1 ? data[1] : 0;
    scene.capsSplit = true;
    scene.capsRect = caps.value_or(RECT{});
    scene.pressed = pressed;
    keyboard::PlanPaint(scene, [&scene](const keyboard::Blit& b) {
        if (b.rect.left < 0 || b.rect.top < 0 || b.rect.right > scene.width || b.rect.bottom > scene.height ||
            b.rect.right <= b.rect.left || b.rect.bottom <= b.rect.top)
            __builtin_trap();
    });
    return 0;
}
