#include "image_view.h"

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "host/db/database_store.h"
#include "host/db/db_text.h"
#include "host/kernel/device.h"
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

template <class Print>
std::vector<std::string> Capture(Print print) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    if (!out) return {};
    print(out);
    std::fclose(out);
    std::vector<std::string> lines;
    std::istringstream in(std::string(text, size));
    std::free(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

}  // namespace

void PrintTree(FILE* out) { Walk(u"", out); }

bool PrintRegistry(host::Device& device, FILE* out, std::string* error) {
    std::string text;
    if (!host::ExportRegistry(device, u"", &text, error)) return false;
    std::fwrite(text.data(), 1, text.size(), out);
    return true;
}

bool Snapshot(host::Device& device, std::vector<std::string>* lines, std::string* error) {
    *lines = Capture([](FILE* out) { PrintTree(out); });
    bool registryRead = true;
    std::vector<std::string> registry = Capture([&](FILE* out) { registryRead = PrintRegistry(device, out, error); });
    if (!registryRead) return false;
    // A value line alone does not say which key it is in, so each carries its key. The export
    // writes every value on one line.
    std::string key;
    for (std::string line : registry) {
        if (!line.empty() && line[0] == '[') key = line;
        else if (!line.empty() && !key.empty()) line = key + " " + line;
        lines->push_back(line);
    }
    host::DatabaseStore& store = device.Databases();
    CEOID oid = 0;
    for (;;) {
        DWORD failure = store.NextDatabase(oid, 0, &oid);
        if (failure == ERROR_NO_MORE_ITEMS) return true;
        host::DatabaseStore::Info info;
        std::vector<std::string> records;
        if (!failure) failure = store.FindByOid(oid, &info);
        if (!failure) failure = store.ListRecords(oid, &records);
        if (failure) {
            *error = "cannot read the databases (error " + std::to_string(failure) + ")";
            return false;
        }
        const std::string prefix = "db " + ToUtf8(info.name) + ": ";
        std::string line;
        for (const std::string& record : records) {
            if (!host::cedb::FormatRecord(record, &line)) {
                *error = "a record of database " + ToUtf8(info.name) + " is damaged";
                return false;
            }
            lines->push_back(prefix + line);
        }
    }
}

void PrintChanges(const std::vector<std::string>& before, const std::vector<std::string>& after, FILE* out) {
    const std::set<std::string> old(before.begin(), before.end()), now(after.begin(), after.end());
    for (const std::string& line : before)
        if (!now.count(line)) std::fprintf(out, "- %s\n", line.c_str());
    for (const std::string& line : after)
        if (!old.count(line)) std::fprintf(out, "+ %s\n", line.c_str());
}

}  // namespace view
