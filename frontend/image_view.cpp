#include "image_view.h"

#include <string>

#include "host/registry/regfile.h"
#include "platform/files.h"
#include "platform/text.h"

namespace view {

namespace {

std::string AttributeFlags(DWORD attributes) {
    std::string flags;
    if (attributes & FILE_ATTRIBUTE_READONLY) flags += 'R';
    if (attributes & FILE_ATTRIBUTE_HIDDEN) flags += 'H';
    if (attributes & FILE_ATTRIBUTE_SYSTEM) flags += 'S';
    if (attributes & FILE_ATTRIBUTE_TEMPORARY) flags += 'T';
    return flags.empty() ? std::string() : "  [" + flags + "]";
}

void Walk(const std::u16string& folder, FILE* out) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + u"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        std::u16string path = folder + u"\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            std::fprintf(out, "%s\\%s\n", ToUtf8(path).c_str(), AttributeFlags(data.dwFileAttributes).c_str());
            Walk(path, out);
        } else {
            std::fprintf(out, "%s  %u bytes%s\n", ToUtf8(path).c_str(), data.nFileSizeLow,
                         AttributeFlags(data.dwFileAttributes).c_str());
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
}

}  // namespace

void PrintTree(FILE* out) { Walk(u"", out); }

bool PrintRegistry(host::Device& device, FILE* out, std::string* error) {
    std::string text;
    if (!host::ExportRegistry(device, u"", &text, error)) return false;
    std::fwrite(text.data(), 1, text.size(), out);
    return true;
}

}  // namespace view
