#include "skin_build.h"

#include <algorithm>
#include <cctype>
#include <fstream>

#include "keycaps.h"
#include "layout.h"
#include "raster.h"

namespace skinmaker {
namespace {

// The label masks of the letter keyboards, in the order of the entry words they show.
constexpr const char* kMaskNames[8] = {
    "LANG1_SMALL_MASK", "LANG1_LARGE_MASK", "UML1_SMALL_MASK", "UML1_LARGE_MASK",
    "LANG2_SMALL_MASK", "LANG2_LARGE_MASK", "UML2_SMALL_MASK", "UML2_LARGE_MASK",
};
// On the digit keyboard the engine types word 7 of every key.
constexpr int kDigitWord = 7;

struct BoardNames {
    const char* what;
    const char* image;
    const char* layout;
    const char* maskSuffix;
};

constexpr BoardNames kBoardNames[kBoardCount] = {
    {"portrait", "char_keyboard_bitmap", "CHAR_LAYOUT_STRUCT", ""},
    {"landscape", "LANSCAPE_KEYBOARD_BITMAP", "LNDSCP_LAYOUT_STRUCT", "_LS"},
    {"digit", "digit_keyboard_bitmap", "DIGIT_LAYOUT_STRUCT", nullptr},
};

// A label as the warnings show it. Labels are single units of the Basic Multilingual Plane or
// short words, so a unit is a character.
std::string Utf8(std::u16string_view text) {
    std::string out;
    for (char16_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string FileName(const std::string& resource, const char* extension) {
    std::string name;
    for (char c : resource) name.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return name + extension;
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

class Builder {
public:
    Builder(const SkinDescription& skin, const CharTables& tables, LabelPainter& painter, const BuildOptions& options,
            BuildReport* report)
        : m_skin(skin), m_tables(tables), m_painter(painter), m_options(options), m_report(report) {}

    bool Run(std::string* error);

private:
    KeyKind KindOf(int entry) const {
        if (!m_tables.IsFunctionEntry(entry)) return KeyKind::Character;
        char16_t code = m_tables.FunctionCode(entry);
        return code >= 0xF000 && code <= 0xF005 ? KeyKind::Status : KeyKind::Function;
    }
    Mask DrawMask(Board board, const std::vector<KeyCap>& caps, int word);
    bool Bitmap(const std::string& resource, const RgbImage& image, std::string* error);
    bool Bitmap(const std::string& resource, const RgbImage& image, const Mask& mask, std::string* error);
    bool Data(const std::string& resource, const std::vector<uint8_t>& bytes, std::string* error);

    const SkinDescription& m_skin;
    const CharTables& m_tables;
    LabelPainter& m_painter;
    const BuildOptions& m_options;
    BuildReport* m_report;
    std::string m_rc;
};

Mask Builder::DrawMask(Board board, const std::vector<KeyCap>& caps, int word) {
    const Keyboard& kb = m_skin.Of(board);
    Mask mask(kb.width, kb.height);
    for (const KeyCap& cap : caps) {
        std::u16string text;
        LabelStyle style = LabelStyle::Character;
        if (m_tables.IsFunctionEntry(cap.entry)) {
            auto it = m_skin.labels.find(m_tables.FunctionCode(cap.entry));
            if (it == m_skin.labels.end()) continue;  // reserved codes have no label
            text = board == Board::Digits ? it->second.digits : word >= 4 ? it->second.lang2 : it->second.lang1;
            style = text.size() == 1 ? LabelStyle::Symbol : LabelStyle::Text;
        } else {
            char16_t c = m_tables.Words(cap.entry, m_skin.lang2)[word];
            if (c < 0x20) continue;  // no character (or a control code) on this page
            text.assign(1, c);
        }
        if (m_painter.Draw(mask, cap.labelRect, text, style, &m_report->missing)) continue;
        // Every mask of a board draws the same function labels: each is told once.
        const std::string line = "label \"" + Utf8(text) + "\" of entry " + std::to_string(cap.entry) + " on the " +
                                 kBoardNames[static_cast<int>(board)].what + " keyboard does not fit its key (" +
                                 std::to_string(cap.labelRect.Width()) + "x" + std::to_string(cap.labelRect.Height()) +
                                 " pixels); it is left off";
        auto& unfit = m_report->unfit;
        if (std::find(unfit.begin(), unfit.end(), line) == unfit.end()) unfit.push_back(line);
    }
    return mask;
}

bool Builder::Bitmap(const std::string& resource, const RgbImage& image, std::string* error) {
    std::string file = FileName(resource, ".bmp");
    if (!WriteBmp(m_options.outDir / file, image, error)) return false;
    if (m_options.previews && !WritePreviewPng(m_options.outDir / FileName(resource, ".png"), image, nullptr, error))
        return false;
    m_rc += resource + " BITMAP \"" + file + "\"\n";
    return true;
}

bool Builder::Bitmap(const std::string& resource, const RgbImage& image, const Mask& mask, std::string* error) {
    std::string file = FileName(resource, ".bmp");
    if (!WriteBmp(m_options.outDir / file, mask, error)) return false;
    if (m_options.previews && !WritePreviewPng(m_options.outDir / FileName(resource, ".png"), image, &mask, error))
        return false;
    m_rc += resource + " BITMAP \"" + file + "\"\n";
    return true;
}

bool Builder::Data(const std::string& resource, const std::vector<uint8_t>& bytes, std::string* error) {
    std::string file = FileName(resource, ".bin");
    if (!WriteBytes(m_options.outDir / file, bytes, error)) return false;
    // Written as a name, RC_DATA is a string-named type, which is what the engine looks up.
    m_rc += resource + " RC_DATA \"" + file + "\"\n";
    return true;
}

bool Builder::Run(std::string* error) {
    m_rc = "/* Written by skinmaker from a skin description; edit the description, not this file. */\n";
    for (int b = 0; b < kBoardCount; ++b) {
        const Board board = static_cast<Board>(b);
        const Keyboard& kb = m_skin.Of(board);
        if (!kb.present) continue;
        std::vector<PlacedRect> rects = PlaceKeys(kb);
        std::vector<KeyCap> caps = GroupKeyCaps(rects);
        RgbImage image = DrawKeyboard(kb, caps, m_skin.palette, m_skin.scale, [this](int e) { return KindOf(e); });
        const BoardNames& names = kBoardNames[b];
        if (!Bitmap(names.image, image, error)) return false;
        if (board == Board::Digits) {
            if (!Bitmap("DIGIT_MASK", image, DrawMask(board, caps, kDigitWord), error)) return false;
        } else {
            for (int word = 0; word < 8; ++word)
                if (!Bitmap(std::string(kMaskNames[word]) + names.maskSuffix, image, DrawMask(board, caps, word), error))
                    return false;
        }
        if (!Data(names.layout, LayoutRecords(rects), error)) return false;
    }
    if (m_skin.capsRect) {
        std::vector<uint8_t> bytes;
        for (int v : {m_skin.capsRect->left, m_skin.capsRect->top, m_skin.capsRect->right, m_skin.capsRect->bottom})
            Put32(bytes, static_cast<uint32_t>(v));
        if (!Data("CAPS_RECT", bytes, error)) return false;
    }
    if (m_skin.swipeOnly && !Data("SWIPE_ONLY", {1, 0, 0, 0}, error)) return false;
    if (!m_skin.lang2.empty()) {
        // A UTF-16LE byte-order mark fills the two header bytes the engine skips.
        std::vector<uint8_t> bytes = {0xFF, 0xFE};
        int first = m_tables.FirstChar(), last = m_skin.lang2.rbegin()->first;
        for (int entry = first; entry <= last; ++entry) {
            auto it = m_skin.lang2.find(entry);
            for (int i = 0; i < 4; ++i) {
                char16_t c = it == m_skin.lang2.end() ? 0 : it->second[i];
                bytes.push_back(static_cast<uint8_t>(c & 0xFF));
                bytes.push_back(static_cast<uint8_t>(c >> 8));
            }
        }
        if (!Data("LOCALE_CHARSET", bytes, error)) return false;
    }
    std::ofstream rc(m_options.outDir / (m_options.name + ".rc"), std::ios::trunc);
    rc << m_rc;
    rc.close();
    if (!rc) {
        *error = (m_options.outDir / (m_options.name + ".rc")).string() + ": cannot write the file";
        return false;
    }
    return true;
}

}  // namespace

bool BuildSkin(const SkinDescription& skin, const CharTables& tables, LabelPainter& painter,
               const BuildOptions& options, BuildReport* report, std::string* error) {
    Builder builder(skin, tables, painter, options, report);
    return builder.Run(error);
}

}  // namespace skinmaker
