// pocketsim skin check: what a skin file holds and which screens the keyboard will use it on,
// read from the host file without a device, judged by the engine's own rules (keyboard/skin_fit.h).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "host/modules/pe_image.h"
#include "keyboard/skin_fit.h"
#include "platform/text.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim skin check FILE.vxs [--screen WxH]\n"
    "Reads the skin library FILE.vxs (a host file) and prints its machine, its resources (bitmaps\n"
    "with their sizes, data with their lengths) and, for each screen, whether the keyboard offers\n"
    "and loads the skin there:\n"
    "  fits 240x320\n"
    "  does not fit 480x640: portrait image 240 wide, screen 480\n"
    "The screens are 240x320, 320x240, 480x640, 640x480, 240x240 and 480x480, or only --screen.\n"
    "Exit status 0 when the skin fits the screen asked for (without --screen: any of them), 1 when\n"
    "it does not or the file is not a skin library, 2 on bad usage.\n";

constexpr size_t kMaxSkinBytes = 64u << 20;
constexpr WORD kBitmapType = 2;

struct Screen {
    int width, height;
};

const Screen kScreens[] = {{240, 320}, {320, 240}, {480, 640}, {640, 480}, {240, 240}, {480, 480}};

bool ParseScreen(const std::string& text, Screen* screen) {
    const size_t x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size() || x > 5 || text.size() - x - 1 > 5) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i != x && (text[i] < '0' || text[i] > '9')) return false;
    screen->width = std::atoi(text.substr(0, x).c_str());
    screen->height = std::atoi(text.substr(x + 1).c_str());
    return screen->width > 0 && screen->height > 0;
}

std::string KeyText(const host::ResourceKey& key) {
    return key.isNumber ? "#" + std::to_string(key.number) : ToUtf8(key.name);
}

std::string MachineName(WORD machine) {
    switch (machine) {
    case 0x01C0: return "ARM";
    case 0x01C2: return "ARM Thumb";
    case 0x014C: return "x86";
    case 0x8664: return "x64";
    default: {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04X", machine);
        return text;
    }
    }
}

// The size a stored bitmap declares in its header (BITMAPINFOHEADER or the older core header).
bool BitmapSize(std::span<const uint8_t> bytes, LONG* width, LONG* height, int* bits) {
    auto u16 = [&](size_t at) { return LONG(bytes[at] | bytes[at + 1] << 8); };
    auto i32 = [&](size_t at) {
        return LONG(int32_t(uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                            uint32_t(bytes[at + 3]) << 24));
    };
    if (bytes.size() < 12) return false;
    const LONG header = i32(0);
    if (header == 12) {
        *width = u16(4), *height = u16(6), *bits = int(u16(10));
        return true;
    }
    if (header < 40 || bytes.size() < 16) return false;
    *width = i32(4), *height = std::labs(i32(8)), *bits = int(u16(14));
    return true;
}

struct Bitmap {
    bool found = false;
    bool readable = false;
    LONG width = 0, height = 0;
};

Bitmap FindBitmap(const host::ResourceTree& tree, const WCHAR* name) {
    Bitmap bitmap;
    const host::ResourceEntry* entry = tree.Find(host::ResourceKey::Number(kBitmapType), host::ResourceKey::Name(name));
    if (!entry) return bitmap;
    bitmap.found = true;
    int bits = 0;
    bitmap.readable = BitmapSize(tree.Data(*entry), &bitmap.width, &bitmap.height, &bits);
    return bitmap;
}

// Why the skin does not serve the screen, or empty when it does.
std::string Misfit(const Bitmap& portrait, const Bitmap& landscape, const Screen& screen) {
    const std::string portraitName = ToUtf8(keyboard::kPortraitImage);
    if (!portrait.found) return "no portrait image (" + portraitName + ")";
    if (!portrait.readable) return "the portrait image (" + portraitName + ") cannot be read";
    const LONG offered = keyboard::OfferedWidth(screen.width, screen.height);
    if (portrait.width != offered)
        return "portrait image " + std::to_string(portrait.width) + " wide, screen " + std::to_string(offered);
    if (!keyboard::IsLandscape(screen.width, screen.height)) return {};
    const std::string landscapeName = ToUtf8(keyboard::kLandscapeImage);
    if (!landscape.found) return "no landscape image (" + landscapeName + ")";
    if (!landscape.readable) return "the landscape image (" + landscapeName + ") cannot be read";
    if (!keyboard::ImageLoads(landscape.width, screen.width, screen.height))
        return "landscape image " + std::to_string(landscape.width) + " wide, screen " + std::to_string(screen.width) +
               "x" + std::to_string(screen.height);
    return {};
}

int SkinCheck(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {"screen"}, {}, kUsage, &args, &code)) return code;
    if (args.positional.size() != 1) return cli::Fail(cli::kUsage, "skin check takes FILE.vxs (see --help)");
    std::vector<Screen> screens(std::begin(kScreens), std::end(kScreens));
    if (args.Has("screen")) {
        Screen screen{};
        if (!ParseScreen(args.Value("screen"), &screen))
            return cli::Fail(cli::kUsage, "--screen takes WxH (240x320), not '" + cli::Name(args.Value("screen")) + "'");
        screens = {screen};
    }

    const std::string& path = args.positional[0];
    std::string bytes;
    if (!cli::ReadInputFile(path, kMaxSkinBytes, "skin file", &bytes, &error))
        return cli::Fail(cli::kFailure, cli::NameIn(error, path));
    std::vector<uint8_t> file(bytes.begin(), bytes.end());
    if (!host::HasDosSignature(file))
        return cli::Fail(cli::kFailure, cli::Name(path) + " is not a skin library (no PE image)");
    host::ResourceTree tree;
    host::PeHeaders headers;
    if (!host::ReadPeResources(std::move(file), &tree, &headers, &error))
        return cli::Fail(cli::kFailure, cli::Name(path) + " is not a skin library: " + error);

    cli::PrintLine(cli::Name(path) + ": " + (headers.pe32Plus ? "PE32+ " : "PE32 ") + MachineName(headers.machine) +
                   (headers.subsystem == 9 ? ", Windows CE" : ", subsystem " + std::to_string(headers.subsystem)));
    for (const host::ResourceEntry& entry : tree.Entries()) {
        std::string line = "  " + KeyText(entry.type) + " " + KeyText(entry.name);
        LONG width = 0, height = 0;
        int bits = 0;
        if (entry.type.isNumber && entry.type.number == kBitmapType) {
            line = "  bitmap " + KeyText(entry.name);
            if (BitmapSize(tree.Data(entry), &width, &height, &bits))
                line += "  " + std::to_string(width) + "x" + std::to_string(height) + ", " + std::to_string(bits) + " bits";
            else
                line += "  (unreadable header)";
        } else {
            line += "  " + std::to_string(entry.size) + " bytes";
        }
        cli::PrintLine(line);
    }

    const Bitmap portrait = FindBitmap(tree, keyboard::kPortraitImage);
    const Bitmap landscape = FindBitmap(tree, keyboard::kLandscapeImage);
    bool fits = false;
    for (const Screen& screen : screens) {
        const std::string size = std::to_string(screen.width) + "x" + std::to_string(screen.height);
        const std::string why = Misfit(portrait, landscape, screen);
        cli::PrintLine(why.empty() ? "fits " + size : "does not fit " + size + ": " + why);
        fits = fits || why.empty();
    }
    return fits ? cli::kOk : cli::kFailure;
}

}  // namespace

int Skin(const std::vector<std::string>& argv) {
    if (!argv.empty() && argv[0] == "check") return SkinCheck({argv.begin() + 1, argv.end()});
    if (!argv.empty() && (argv[0] == "--help" || argv[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return cli::kOk;
    }
    return cli::Fail(cli::kUsage, "skin takes check FILE.vxs (see pocketsim skin --help)");
}

}  // namespace commands
