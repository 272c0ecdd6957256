// pocketsim keyboard: drives the image's input method through the device's SIP with pen events
// sent to its panel window, and prints every call that reaches the SIP callback. The SIP loads
// the registered input method (\Windows\vexor.dll after pocketsim init) and starts it as the
// device does; the run ends with Deselect and the release.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "CKeybInput.h"
#include "cli.h"
#include "commands.h"
#include "printing_callback.h"
#include "skin_report.h"
#include "typing_plan.h"
#include "host/gdi/png_writer.h"
#include "host/windows/sip.h"
#include "platform/registry.h"
#include "platform/sip.h"
#include "platform/text.h"

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
    "  show, hide             show or hide the input panel (the input method's Showing, Hiding)\n"
    "  rotate                 turn the screen (swap its width and height); the SIP tells the\n"
    "                         input method the new panel size\n"
    "  skin NAME              store NAME as the skin setting; the SIP tells the input method\n"
    "  type TEXT              tap the keys that type TEXT, with Shift, Lang and the digit page\n"
    "                         as a person would; fails for a character no key types\n"
    "The run starts the image's input method as the SIP does and shows the panel; pen events\n"
    "reach its panel window. While the panel is hidden the pen reaches nothing.\n";

enum class Kind { Down, Move, Up, Tap, DblClk, Key, Status, Render, Show, Hide, Rotate, Skin, Type };

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
        {"show", Kind::Show, Name::None},         {"hide", Kind::Hide, Name::None},
        {"rotate", Kind::Rotate, Name::None},     {"skin", Kind::Skin, Name::TextArg},
        {"type", Kind::Type, Name::TextArg},
    };
    for (size_t i = 0; i < words.size(); ++i) {
        const Name* name = nullptr;
        for (const Name& n : kNames)
            if (words[i] == n.word) name = &n;
        if (!name) {
            *error = "unknown event '" + cli::Name(words[i]) + "' (try pocketsim keyboard --help)";
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
                *error = "bad argument '" + cli::Name(arg) + "' for event '" + name->word + "'";
                return false;
            }
        }
        events->push_back(std::move(event));
    }
    return true;
}

// {0ADFAAAF-2E1A-4A75-90A8-6C1E62A3A629}: the package's input method.
const CLSID kKeybInputClsid =
    DEFINE_GUID_VALUE(0x0ADFAAAF, 0x2E1A, 0x4A75, 0x90, 0xA8, 0x6C, 0x1E, 0x62, 0xA3, 0xA6, 0x29);

std::string HresultText(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

// The input method object and its engine come from the input method library, whose type
// information is its own; the sanitizer's dynamic type checks cannot follow them there, so the
// few functions that read them go without those checks.
#define VX_READS_INPUT_METHOD __attribute__((no_sanitize("vptr")))

// The device's SIP running the image's input method, shown, with the printing callback.
class Panel {
public:
    explicit Panel(host::Device& device) : m_device(device), m_sip(*host::DeviceSip(&device)) {
        m_sip.SetCallback(&m_callback);
    }
    // A run ends as the SIP ends an input method, with Deselect and the release but no Hiding,
    // so that nothing is printed after the last event.
    ~Panel() { host::ReleaseDeviceSip(&m_device); }

    bool Start(std::string* error) {
        const HRESULT hr = m_sip.Show();
        if (FAILED(hr)) *error = "the keyboard input method did not start (" + HresultText(hr) + ")";
        return SUCCEEDED(hr);
    }

    // Entry N's centre in the layout shown, moved by the point's offsets.
    VX_READS_INPUT_METHOD bool Resolve(const Point& point, POINT* out, std::string* error) {
        if (!point.entry) {
            *out = POINT{static_cast<LONG>(point.x), static_cast<LONG>(point.y)};
            return true;
        }
        const CKeyboard* kbd = Engine(error);
        if (!kbd) return false;
        const keyboard::LayoutTable& shown = kbd->m_stKbStatus.m_bDigital ? kbd->m_DigitLayout : kbd->m_CharLayout;
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

    void Pen(host::Sip::Pen kind, POINT p) { m_sip.PenMessage(kind, p.x, p.y); }

    VX_READS_INPUT_METHOD bool PrintStatus(std::string* error) {
        const CKeyboard* kbd = Engine(error);
        if (!kbd) return false;
        const keyboard::KbStatus& s = kbd->m_stKbStatus;
        std::printf("shift=%d caps=%d ctrl=%d lng1=%d digital=%d uml=%d\n", s.m_bShift, s.m_bCAPS, s.m_bCtrl, s.m_bLng1,
                    s.m_bDigital, s.m_bUml);
        return true;
    }

    bool Render(const std::string& file, std::string* error) {
        const host::Bitmap* pixels = m_sip.RenderPanel();
        if (!pixels) {
            *error = "the input method has no panel to draw";
            return false;
        }
        if (host::WritePng(*pixels, file, error)) return true;
        *error = cli::NameIn(*error, file);
        return false;
    }

    // Each character: the taps PlanCharacter finds from the status the engine is in now.
    VX_READS_INPUT_METHOD bool Type(const std::string& text, std::string* error) {
        const std::u16string units = FromUtf8(text);
        for (char16_t c : units) {
            const CKeyboard* kbd = Engine(error);
            if (!kbd) return false;
            std::vector<int> entries;
            if (!cli::PlanCharacter(*kbd, c, &entries)) {
                char code[16];
                std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
                *error = std::string("cannot type ") + code + " '" + cli::Name(ToUtf8(std::u16string(1, c))) +
                         "': no key of the skin types it";
                return false;
            }
            for (int entry : entries) {
                Point point;
                point.entry = true;
                point.index = entry;
                POINT p{};
                if (!Resolve(point, &p, error)) return false;
                Pen(host::Sip::Pen::Down, p);
                Pen(host::Sip::Pen::Up, p);
            }
        }
        return true;
    }

    bool Show(std::string* error) { return Check(m_sip.Show(), "the keyboard could not be shown", error); }
    bool Hide(std::string* error) { return Check(m_sip.Hide(), "the keyboard could not be hidden", error); }
    bool Rotate(std::string* error) {
        return Check(m_sip.Rotate(), "the keyboard could not follow the rotation", error);
    }

    // Stores the skin setting the input method reads, then lets it notice the change as it
    // does on the device: through the SIP's ReceiveSipInfo.
    bool Skin(const std::string& name, std::string* error) {
        HKEY key = nullptr;
        const std::u16string value = FromUtf8(name);
        LONG rc = RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Vexor\\7.0", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                  &key, nullptr);
        if (rc == ERROR_SUCCESS) {
            rc = RegSetValueExW(key, u"Skin", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                static_cast<DWORD>((value.size() + 1) * sizeof(WCHAR)));
            RegCloseKey(key);
        }
        if (rc != ERROR_SUCCESS) {
            *error = "cannot store the skin setting";
            return false;
        }
        if (!Check(m_sip.SettingsChanged(), "the keyboard could not start with skin '" + cli::Name(name) + "'", error))
            return false;
        std::string ignored;
        if (const CKeyboard* kbd = Engine(&ignored))
            cli::ReportSkinChoice(value, kbd->m_SkinPath, kbd->m_bNoSkin ? std::u16string() : kbd->m_SkinFile);
        return true;
    }

private:
    static bool Check(HRESULT hr, const std::string& what, std::string* error) {
        if (FAILED(hr)) *error = what + " (" + HresultText(hr) + ")";
        return SUCCEEDED(hr);
    }

    // The engine of the running input method, for the status line and the layout's keys. The
    // object lives in this process, and the interface the SIP holds is the IInputMethod2 base of
    // CKeybInput; only the package's own class is read this way.
    VX_READS_INPUT_METHOD const CKeyboard* Engine(std::string* error) {
        CLSID current{};
        IInputMethod* im = m_sip.InputMethod();
        if (!im || !m_sip.CurrentIM(&current) || !(current == kKeybInputClsid)) {
            *error = "the running input method is not the package's keyboard";
            return nullptr;
        }
        return &static_cast<const CKeybInput*>(static_cast<IInputMethod2*>(im))->m_Kbd;
    }

    host::Device& m_device;
    host::Sip& m_sip;
    PrintingCallback m_callback;
};

}  // namespace

int Keyboard(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"answer"}, {}, kUsage, &args, &code)) return code;
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
        bool ok = true;
        switch (event.kind) {
        case Kind::Down: panel.Pen(host::Sip::Pen::Down, p); break;
        case Kind::Move: panel.Pen(host::Sip::Pen::Move, p); break;
        case Kind::Up: panel.Pen(host::Sip::Pen::Up, p); break;
        case Kind::Tap:
        case Kind::Key:
            panel.Pen(host::Sip::Pen::Down, p);
            panel.Pen(host::Sip::Pen::Up, p);
            break;
        case Kind::DblClk: panel.Pen(host::Sip::Pen::DoubleClick, p); break;
        case Kind::Status: ok = panel.PrintStatus(&error); break;
        case Kind::Render: ok = panel.Render(event.text, &error); break;
        case Kind::Show: ok = panel.Show(&error); break;
        case Kind::Hide: ok = panel.Hide(&error); break;
        case Kind::Rotate: ok = panel.Rotate(&error); break;
        case Kind::Skin: ok = panel.Skin(event.text, &error); break;
        case Kind::Type: ok = panel.Type(event.text, &error); break;
        }
        cli::Flush();
        if (!ok) return cli::Fail(cli::kFailure, error);
    }
    return cli::kOk;
}

}  // namespace commands
