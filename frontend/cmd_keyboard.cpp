// pocketsim keyboard: drives the keyboard engine with pen events as the panel window delivers
// them, and prints every call that reaches the SIP callback. The engine runs on the image's
// screen size and configured skin, started with Init as the input method starts it, and paints
// into a host window of the input panel's size.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "CKeyboard.h"
#include "cli.h"
#include "commands.h"
#include "host/png_writer.h"
#include "host/window.h"
#include "platform/modules.h"
#include "platform/sip.h"
#include "platform/text.h"
#include "skin_catalogue.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim keyboard IMAGE EVENT... [--answer ok|cancel|yes|no]...\n"
    "Drives the keyboard with pen events and prints each call that reaches the SIP callback:\n"
    "  SendVirtualKey 0xVK 0xFLAGS  and  SendCharEvents 0xVK 0xFLAGS U+XXXX\n"
    "A point P is X,Y (either may be negative, -32768 to 32767), @N (the centre of entry N's first\n"
    "key rectangle in the layout shown) or @N+DX,-DY (that centre moved; each offset with its own\n"
    "sign).\n"
    "Events:\n"
    "  down P, move P, up P   pen messages\n"
    "  tap P                  down and up at P\n"
    "  dblclk P               a double click at P, as the panel window handles it\n"
    "  key N                  tap @N\n"
    "  status                 print shift=. caps=. ctrl=. lng1=. digital=. uml=.\n"
    "  render FILE.png        write the panel as drawn now\n"
    "  rotate                 swap the screen's width and height, then start the keyboard again\n"
    "  skin NAME              store NAME as the skin setting, then start the keyboard again\n";

enum class Kind { Down, Move, Up, Tap, DblClk, Key, Status, Render, Rotate, Skin };

struct Point {
    bool entry = false;  // the centre of entry `index`, moved by (x, y)
    int index = 0;
    long x = 0;
    long y = 0;
};

struct Event {
    Kind kind;
    Point point;
    std::string text;  // render's file, skin's name
};

bool ParseLong(std::string_view text, bool signRequired, long* out) {
    if (text.empty()) return false;
    if (signRequired && text[0] != '+' && text[0] != '-') return false;
    bool negative = text[0] == '-';
    if (text[0] == '+' || text[0] == '-') text.remove_prefix(1);
    if (text.empty() || text[0] == '+' || text[0] == '-') return false;
    long value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    // A pen message carries 16-bit signed coordinates.
    if (ec != std::errc() || end != text.data() + text.size() || value > 32768) return false;
    if (!negative && value == 32768) return false;
    *out = negative ? -value : value;
    return true;
}

bool ParsePair(std::string_view text, bool signRequired, long* x, long* y) {
    size_t comma = text.find(',');
    if (comma == std::string_view::npos) return false;
    return ParseLong(text.substr(0, comma), signRequired, x) && ParseLong(text.substr(comma + 1), signRequired, y);
}

// An entry index as layout records hold it: 0 to 65535, digits only.
bool ParseEntry(std::string_view text, int* index) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > 0xFFFF) return false;
    *index = static_cast<int>(value);
    return true;
}

bool ParsePoint(std::string_view text, Point* point) {
    if (text.empty() || text[0] != '@') return ParsePair(text, false, &point->x, &point->y);
    text.remove_prefix(1);
    size_t offset = text.find_first_of("+-");
    point->entry = true;
    if (!ParseEntry(text.substr(0, offset), &point->index)) return false;
    return offset == std::string_view::npos || ParsePair(text.substr(offset), true, &point->x, &point->y);
}

bool ParseEvents(const std::vector<std::string>& words, std::vector<Event>* events, std::string* error) {
    struct Name {
        const char* word;
        Kind kind;
        enum { None, PointArg, EntryArg, TextArg } arg;
    };
    static const Name kNames[] = {
        {"down", Kind::Down, Name::PointArg},     {"move", Kind::Move, Name::PointArg},
        {"up", Kind::Up, Name::PointArg},         {"tap", Kind::Tap, Name::PointArg},
        {"dblclk", Kind::DblClk, Name::PointArg}, {"key", Kind::Key, Name::EntryArg},
        {"status", Kind::Status, Name::None},     {"render", Kind::Render, Name::TextArg},
        {"rotate", Kind::Rotate, Name::None},     {"skin", Kind::Skin, Name::TextArg},
    };
    for (size_t i = 0; i < words.size(); ++i) {
        const Name* name = nullptr;
        for (const Name& n : kNames)
            if (words[i] == n.word) name = &n;
        if (!name) {
            *error = "unknown event '" + words[i] + "' (try pocketsim keyboard --help)";
            return false;
        }
        Event event{name->kind, {}, {}};
        if (name->arg != Name::None) {
            if (i + 1 >= words.size()) {
                *error = "event '" + words[i] + "' needs an argument";
                return false;
            }
            const std::string& arg = words[++i];
            bool ok = true;
            if (name->arg == Name::PointArg) ok = ParsePoint(arg, &event.point);
            if (name->arg == Name::EntryArg) {
                event.point.entry = true;
                ok = ParseEntry(arg, &event.point.index);
            }
            if (name->arg == Name::TextArg) {
                event.text = arg;
                ok = !arg.empty();
            }
            if (!ok) {
                *error = "bad argument '" + arg + "' for event '" + name->word + "'";
                return false;
            }
        }
        events->push_back(std::move(event));
    }
    return true;
}

// The SIP's callback as the front end shows it: one line per call.
class PrintingCallback : public IIMCallback {
public:
    HRESULT QueryInterface(REFIID, void** object) override {
        if (object) *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT SetImInfo(IMINFO*) override { return S_OK; }
    HRESULT SendVirtualKey(BYTE vk, DWORD flags) override {
        std::printf("SendVirtualKey 0x%02X 0x%08X\n", vk, flags);
        return S_OK;
    }
    HRESULT SendCharEvents(UINT vk, UINT keyFlags, UINT count, UINT*, UINT* chars) override {
        // The engine sends one character per call.
        std::printf("SendCharEvents 0x%02X 0x%08X U+%04X\n", vk, keyFlags, count > 0 && chars ? chars[0] : 0u);
        return S_OK;
    }
    HRESULT SendString(BSTR, DWORD) override { return E_NOTIMPL; }
};

// The engine and the panel window it draws into, with the window's double-press state.
class Panel {
public:
    explicit Panel(host::Device& device) : m_device(device) {
        m_kbd.m_hInstance = GetModuleHandleW(nullptr);
        m_kbd.m_pIMCallback = &m_callback;
    }
    ~Panel() {
        m_kbd.ReleaseSkin();
        if (m_window) host::DestroyHostWindow(m_window);
    }

    bool Start(std::string* error) {
        const int width = m_device.ScreenWidth(), height = m_device.ScreenHeight();
        // The input panel is a quarter of the screen high in portrait, a third in landscape.
        const int panelHeight = width <= height ? height / 4 : height / 3;
        if (m_window) host::DestroyHostWindow(m_window);
        m_window = host::CreateHostWindow(width, panelHeight);
        if (!m_window) {
            *error = "the screen size " + std::to_string(width) + "x" + std::to_string(height) + " is not usable";
            return false;
        }
        if (!m_kbd.Init(width, height)) {
            *error = "the keyboard could not start with skin '" + ToUtf8(m_kbd.m_SkinPath) + "'";
            return false;
        }
        return true;
    }

    // Entry N's centre in the layout shown, moved by the point's offsets.
    bool Resolve(const Point& point, POINT* out, std::string* error) const {
        if (!point.entry) {
            *out = POINT{static_cast<LONG>(point.x), static_cast<LONG>(point.y)};
            return true;
        }
        const keyboard::LayoutTable& shown = m_kbd.m_stKbStatus.m_bDigital ? m_kbd.m_DigitLayout : m_kbd.m_CharLayout;
        if (const keyboard::LayoutEntry* entry = shown.Find(point.index))
            for (const RECT& r : entry->m_Rect)
                if (!keyboard::IsEmptyRect(r)) {
                    *out = POINT{static_cast<LONG>((r.left + r.right) / 2 + point.x),
                                 static_cast<LONG>((r.top + r.bottom) / 2 + point.y)};
                    return true;
                }
        *error = "entry " + std::to_string(point.index) + " has no key in the layout shown";
        return false;
    }

    void Down(POINT p) {
        m_dblClk = false;
        m_kbd.PressKey(p, &m_window, TRUE);
    }
    void Up(POINT p) {
        if (!m_dblClk) m_kbd.PressKey(p, &m_window, FALSE);
    }
    void Move(POINT p) {
        if (!m_dblClk) m_kbd.MoveMouse(p, &m_window);
    }
    void DoubleClick(POINT p) {
        if (m_kbd.DblPressKey(p, &m_window))
            m_dblClk = true;
        else
            Down(p);
    }

    void PrintStatus() const {
        const keyboard::KbStatus& s = m_kbd.m_stKbStatus;
        std::printf("shift=%d caps=%d ctrl=%d lng1=%d digital=%d uml=%d\n", s.m_bShift, s.m_bCAPS, s.m_bCtrl, s.m_bLng1,
                    s.m_bDigital, s.m_bUml);
    }

    bool Render(const std::string& file, std::string* error) {
        InvalidateRect(m_window, nullptr, TRUE);
        PAINTSTRUCT ps{};
        HDC dc = BeginPaint(m_window, &ps);
        if (!dc) {
            *error = "cannot paint the panel";
            return false;
        }
        m_kbd.Paint(dc, &m_window);
        EndPaint(m_window, &ps);
        return host::WritePng(host::WindowFromHandle(m_window)->Surface(), file, error);
    }

private:
    host::Device& m_device;
    PrintingCallback m_callback;
    CKeyboard m_kbd;
    HWND m_window = nullptr;
    bool m_dblClk = false;
};

}  // namespace

int Keyboard(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (!cli::Parse(argv, {"answer"}, {}, &args, &error)) return cli::Fail(cli::kUsage, error);
    if (args.help) {
        std::fputs(kUsage, stdout);
        return cli::kOk;
    }
    if (args.positional.empty()) return cli::Fail(cli::kUsage, "keyboard needs an IMAGE folder");
    std::vector<int> answers;
    if (!cli::ParseAnswers(args, &answers, &error)) return cli::Fail(cli::kUsage, error);
    std::vector<std::string> words(args.positional.begin() + 1, args.positional.end());
    std::vector<Event> events;
    if (!ParseEvents(words, &events, &error)) return cli::Fail(cli::kUsage, error);

    cli::Session session;
    if (!cli::OpenSession(args.positional[0], args, &session)) return cli::kFailure;
    return RunKeyboardEvents(*session.device, words);
}

int RunKeyboardEvents(host::Device& device, const std::vector<std::string>& words) {
    std::string error;
    std::vector<Event> events;
    if (!ParseEvents(words, &events, &error)) return cli::Fail(cli::kUsage, error);
    Panel panel(device);
    if (!panel.Start(&error)) return cli::Fail(cli::kFailure, error);

    for (const Event& event : events) {
        POINT p{};
        const bool needsPoint = event.kind == Kind::Down || event.kind == Kind::Move || event.kind == Kind::Up ||
                                event.kind == Kind::Tap || event.kind == Kind::DblClk || event.kind == Kind::Key;
        if (needsPoint && !panel.Resolve(event.point, &p, &error)) return cli::Fail(cli::kFailure, error);
        switch (event.kind) {
        case Kind::Down: panel.Down(p); break;
        case Kind::Move: panel.Move(p); break;
        case Kind::Up: panel.Up(p); break;
        case Kind::Tap:
        case Kind::Key:
            panel.Down(p);
            panel.Up(p);
            break;
        case Kind::DblClk: panel.DoubleClick(p); break;
        case Kind::Status: panel.PrintStatus(); break;
        case Kind::Render:
            if (!panel.Render(event.text, &error)) return cli::Fail(cli::kFailure, error);
            break;
        case Kind::Rotate: {
            const int width = device.ScreenWidth(), height = device.ScreenHeight();
            device.SetSetting("screen.width", std::to_string(height));
            device.SetSetting("screen.height", std::to_string(width));
            if (!panel.Start(&error)) return cli::Fail(cli::kFailure, error);
            break;
        }
        case Kind::Skin:
            if (!keyboard::SettingsKey(keyboard::SettingsKey::Mode::Create)
                     .WriteString(keyboard::kSkinValue, FromUtf8(event.text))) {
                return cli::Fail(cli::kFailure, "cannot store the skin setting");
            }
            if (!panel.Start(&error)) return cli::Fail(cli::kFailure, error);
            break;
        }
        std::fflush(stdout);
    }
    return cli::kOk;
}

}  // namespace commands
