#include "host/windows/dialog_template.h"

namespace host {

namespace {

constexpr WORD kExtendedSignature = 0xFFFF;
constexpr DWORD kSetFont = 0x0040;  // DS_SETFONT
constexpr DWORD kShellFont = 0x0048;  // DS_SHELLFONT: DS_SETFONT | DS_FIXEDSYS

// Reads little-endian fields and strings from a bounded buffer; once a read fails, every later
// read fails too, so a parse checks ok() once at the end of a step.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    bool ok() const { return m_ok; }
    size_t position() const { return m_pos; }

    WORD Word() {
        if (!Need(2)) return 0;
        const WORD value = static_cast<WORD>(m_data[m_pos] | m_data[m_pos + 1] << 8);
        m_pos += 2;
        return value;
    }
    DWORD Dword() {
        const DWORD low = Word();
        return low | static_cast<DWORD>(Word()) << 16;
    }
    short Short() { return static_cast<short>(Word()); }
    uint8_t Byte() {
        if (!Need(1)) return 0;
        return m_data[m_pos++];
    }
    // A terminated UTF-16 string.
    std::u16string String() {
        std::u16string text;
        for (;;) {
            const WORD unit = Word();
            if (!m_ok || unit == 0) return text;
            text += static_cast<char16_t>(unit);
        }
    }
    // A string or, after 0xFFFF, a number; 0x0000 alone is neither.
    void StringOrOrdinal(std::u16string* text, WORD* ordinal) {
        text->clear();
        *ordinal = 0;
        if (!Need(2)) return;
        const WORD first = static_cast<WORD>(m_data[m_pos] | m_data[m_pos + 1] << 8);
        if (first == 0) {
            m_pos += 2;
        } else if (first == 0xFFFF) {
            m_pos += 2;
            *ordinal = Word();
        } else {
            *text = String();
        }
    }
    void AlignDword() {
        const size_t aligned = (m_pos + 3) & ~size_t(3);
        // Padding may run to the end of the data after the last item.
        m_pos = aligned <= m_size ? aligned : m_size;
    }
    void Skip(size_t count) {
        if (Need(count)) m_pos += count;
    }

private:
    bool Need(size_t count) {
        if (!m_ok || m_size - m_pos < count) m_ok = false;
        return m_ok;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

// The names of the predefined control classes by their numbers.
std::u16string PredefinedClass(WORD ordinal) {
    switch (ordinal) {
    case 0x0080: return u"button";
    case 0x0081: return u"edit";
    case 0x0082: return u"static";
    case 0x0083: return u"listbox";
    case 0x0084: return u"scrollbar";
    case 0x0085: return u"combobox";
    default: return {};
    }
}

bool Fail(std::string* reason, const char* text) {
    if (reason) *reason = text;
    return false;
}

}  // namespace

bool ParseDialogTemplate(const uint8_t* data, size_t size, DialogTemplate* result, std::string* reason) {
    if (!data || size < 18) return Fail(reason, "shorter than a dialog template");
    Reader in(data, size);
    DialogTemplate parsed;
    WORD count = 0;
    const WORD version = static_cast<WORD>(data[0] | data[1] << 8);
    const WORD signature = static_cast<WORD>(data[2] | data[3] << 8);
    parsed.extended = version == 1 && signature == kExtendedSignature;
    if (parsed.extended) {
        in.Word();
        in.Word();
        in.Dword();  // help identifier
        parsed.exStyle = in.Dword();
        parsed.style = in.Dword();
    } else {
        parsed.style = in.Dword();
        parsed.exStyle = in.Dword();
    }
    count = in.Word();
    parsed.x = in.Short();
    parsed.y = in.Short();
    parsed.cx = in.Short();
    parsed.cy = in.Short();
    std::u16string menu;
    WORD ordinal = 0;
    in.StringOrOrdinal(&menu, &ordinal);
    in.StringOrOrdinal(&parsed.className, &ordinal);
    if (ordinal) parsed.className = PredefinedClass(ordinal);
    parsed.caption = in.String();
    if ((parsed.style & kSetFont) || (parsed.style & kShellFont) == kShellFont) {
        parsed.hasFont = true;
        parsed.pointSize = in.Word();
        if (parsed.extended) {
            parsed.weight = in.Word();
            parsed.italic = in.Byte() != 0;
            in.Byte();  // character set
        }
        parsed.faceName = in.String();
    }
    if (!in.ok()) return Fail(reason, "the dialog's header runs past the data");
    if (count > kMaxDialogItems) return Fail(reason, "more controls than a dialog holds");

    for (WORD i = 0; i < count; ++i) {
        in.AlignDword();
        DialogItem item;
        if (parsed.extended) {
            in.Dword();  // help identifier
            item.exStyle = in.Dword();
            item.style = in.Dword();
        } else {
            item.style = in.Dword();
            item.exStyle = in.Dword();
        }
        item.x = in.Short();
        item.y = in.Short();
        item.cx = in.Short();
        item.cy = in.Short();
        item.id = parsed.extended ? in.Dword() : in.Word();
        WORD classOrdinal = 0;
        in.StringOrOrdinal(&item.className, &classOrdinal);
        if (classOrdinal) {
            item.className = PredefinedClass(classOrdinal);
            if (item.className.empty()) return Fail(reason, "a control of an unknown predefined class");
        }
        in.StringOrOrdinal(&item.text, &item.textOrdinal);
        const WORD extra = in.Word();
        in.Skip(extra);
        if (!in.ok()) return Fail(reason, "a control runs past the data");
        if (item.className.empty()) return Fail(reason, "a control without a class");
        parsed.items.push_back(std::move(item));
    }
    *result = std::move(parsed);
    return true;
}

}  // namespace host
