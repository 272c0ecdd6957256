// The keyboard engine on the shipped skins: a tap delivered to a callback (target under 10 µs),
// hit-testing on the 60-key layout (under 300 ns), a full paint of the 480-wide panel (under
// 0.5 ms) and Init with a skin (under 10 ms).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench_image.h"
#include "host/store/object_store.h"
#include "host/windows/window.h"
#include "keyboard/CKeyboard.h"
#include "platform/files.h"
#include "platform/gdi.h"
#include "platform/modules.h"
#include "platform/sip.h"
#include "platform/text.h"
#include "platform/windows.h"

namespace {

// Counts what reaches the application, as the SIP would pass it on.
class CountingCallback : public IIMCallback {
public:
    size_t events = 0;
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT SetImInfo(IMINFO*) override { return S_OK; }
    HRESULT SendVirtualKey(BYTE, DWORD) override { return ++events, S_OK; }
    HRESULT SendCharEvents(UINT, UINT, UINT, UINT*, UINT*) override { return ++events, S_OK; }
    HRESULT SendString(BSTR, DWORD) override { return E_NOTIMPL; }
};

// An image with the sample skins and a keyboard started on a screen of the given size.
class KeyboardImage : public BenchImage {
public:
    KeyboardImage(int width, int height) : m_width(width), m_height(height) {
        if (!CreateDirectoryW(u"\\Windows", nullptr)) abort();
        for (const char* skin : {"Classic.vxs", "Grande.vxs"}) {
            DWORD error = 0;
            if (!Device().Files().ImportHostFile(std::filesystem::path(VX_SKINS_DIR) / skin,
                                                 u"\\Windows\\" + FromUtf8(skin), &error))
                abort();
        }
        Device().SetSetting("screen.width", std::to_string(width));
        Device().SetSetting("screen.height", std::to_string(height));
        kbd.m_hInstance = GetModuleHandleW(nullptr);
        kbd.m_pIMCallback = &callback;
        if (!kbd.Init(width, height) || kbd.m_bNoSkin) abort();
        window = host::CreateHostWindow(width, height / 4);
    }
    ~KeyboardImage() {
        kbd.ReleaseSkin();
        host::DestroyHostWindow(window);
    }
    POINT Centre(int entry) const {
        const keyboard::LayoutEntry* e = kbd.m_CharLayout.Find(entry);
        if (!e) abort();
        const RECT& r = e->m_Rect.front();
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    }

    int m_width, m_height;
    CountingCallback callback;
    CKeyboard kbd;
    HWND window = nullptr;
};

void BM_KeyboardTap(benchmark::State& state) {
    KeyboardImage image(240, 320);
    const POINT q = image.Centre(82);
    for (auto _ : state) {
        image.kbd.PressKey(q, &image.window, TRUE);
        image.kbd.PressKey(q, &image.window, FALSE);
    }
    if (image.callback.events != 2 * static_cast<size_t>(state.iterations()))
        state.SkipWithError("a tap did not type one key");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyboardTap);

void BM_KeyboardHitTest(benchmark::State& state) {
    KeyboardImage image(240, 320);
    int x = 0, y = 0, found = 0;
    for (auto _ : state) {
        found += image.kbd.GetKeyIndex(x, y, TRUE) >= 0;
        x = (x + 37) % 240;
        y = (y + 11) % 80;
    }
    benchmark::DoNotOptimize(found);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyboardHitTest);

void BM_KeyboardPaintVga(benchmark::State& state) {
    KeyboardImage image(480, 640);
    HDC dc = GetDC(image.window);
    image.kbd.PressKey(image.Centre(82), &image.window, TRUE);  // one key drawn pressed
    for (auto _ : state) image.kbd.Paint(dc, &image.window);
    ReleaseDC(image.window, dc);
}
BENCHMARK(BM_KeyboardPaintVga)->Unit(benchmark::kMicrosecond);

void BM_KeyboardInit(benchmark::State& state) {
    KeyboardImage image(240, 320);
    for (auto _ : state)
        if (!image.kbd.Init(240, 320)) state.SkipWithError("Init failed");
}
BENCHMARK(BM_KeyboardInit)->Unit(benchmark::kMillisecond);

}  // namespace
