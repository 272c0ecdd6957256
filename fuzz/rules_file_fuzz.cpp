// Rules files of BaseUpdate from outside: every line through the rule parser, and the whole file
// through the update of a small database on a real image. Nothing may crash or hang; the parser
// returns only its codes and accepted types; a file the update refuses as a file leaves the
// database as it was; otherwise every record keeps its identifier and every property a rule does
// not set, stays well-formed, and at most one record per rule is added.
//
// Input: a first byte 0 means the rest is the file's bytes as they are; anything else is UTF-8
// text that becomes the file as UTF-16LE with its mark (so seeds are readable text).
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/temp_dir.h"
#include "host/db/database_store.h"
#include "host/db/record_blob.h"
#include "host/kernel/device.h"
#include "platform/files.h"
#include "platform/text.h"
#include "script/database_update.h"

namespace fs = std::filesystem;

namespace {


bool Accepted(CEPROPID propid) {
    switch (TypeFromPropID(propid)) {
    case CEVT_I2:
    case CEVT_UI2:
    case CEVT_I4:
    case CEVT_UI4:
    case CEVT_LPWSTR: return true;
    default: return false;
    }
}

void CheckParser(std::u16string units) {
    // As the update reads them: lines of at most 2 047 units.
    for (size_t at = 0; at < units.size();) {
        size_t end = units.find(u'\n', at);
        end = end == std::u16string::npos ? units.size() : end + 1;
        end = std::min(end, at + 2047);
        std::u16string line = units.substr(at, end - at);
        at = end;
        line.push_back(0);
        CEPROPVAL match, set;
        const DWORD code = ParseRuleLine(line.data(), &match, &set);
        if (code != 0 && code != kUpdateMissingSeparator && code != kUpdateBadMatchType && code != kUpdateBadSetType)
            abort();
        if (code) continue;
        for (const CEPROPVAL* p : {&match, &set}) {
            if (!Accepted(p->propid)) abort();
            if (TypeFromPropID(p->propid) != CEVT_LPWSTR) continue;
            const WCHAR* text = p->val.lpwstr;
            if (text < line.data() || text >= line.data() + line.size()) abort();
            for (; *text; ++text)
                if (*text == u'?' || *text == u'\\') abort();
        }
    }
}

std::vector<std::string> Blobs(host::DatabaseStore& store, CEOID db, std::vector<CEOID>* oids) {
    std::vector<std::string> blobs;
    if (store.ListRecords(db, &blobs)) abort();
    const std::vector<host::DatabaseStore::OrderEntry>* order = nullptr;
    if (store.Order(db, -1, &order) || order->size() != blobs.size()) abort();
    oids->clear();
    for (const auto& entry : *order) oids->push_back(entry.oid);
    return blobs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The image lives as long as the run and goes with it (the device first, then its folder).
    static const FuzzTempDir dir("vx-rules-fuzz");
    static std::unique_ptr<host::Device> device = [] {
        std::string error;
        auto made = host::Device::Create(dir.path / "image", true, &error);
        if (!made) abort();
        return made;
    }();
    host::ScopedDevice scope(device.get());
    host::DatabaseStore& store = device->Databases();

    std::string file;
    if (size && data[0] == 0) {
        file.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
    } else {
        file = "\xFF\xFE";
        for (char16_t c : FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size))) {
            file += char(c & 0xFF);
            file += char(c >> 8);
        }
    }
    std::u16string units;
    for (size_t i = 2; i + 1 < file.size(); i += 2) units.push_back(char16_t(uint8_t(file[i]) | uint8_t(file[i + 1]) << 8));
    CheckParser(units);

    // The database as every run starts it.
    std::vector<std::string> initial;
    {
        std::string blob;
        const std::pair<CEPROPID, std::u16string> records[][2] = {
            {{PROPID_FROM(2, CEVT_LPWSTR), u"Old"}, {PROPID_FROM(3, CEVT_LPWSTR), u"Was"}},
            {{PROPID_FROM(2, CEVT_LPWSTR), u"Other"}, {PROPID_FROM(1, CEVT_UI2), u"\x0002"}},
            {{PROPID_FROM(4, CEVT_I4), u"\xFFFB\xFFFF"}, {PROPID_FROM(2, CEVT_LPWSTR), u"Old"}},
        };
        for (const auto& record : records) {
            blob.clear();
            for (const auto& [propid, value] : record) {
                std::string bytes;
                for (char16_t c : value) {
                    bytes += char(c & 0xFF);
                    bytes += char(c >> 8);
                }
                host::cedb::AppendProperty(&blob, propid, bytes);
            }
            initial.push_back(blob);
        }
    }
    bool created = false;
    if (store.ReplaceRecords(u"Items", initial, &created)) abort();
    host::DatabaseStore::Info info;
    if (store.FindByName(u"Items", &info)) abort();
    std::vector<CEOID> before;
    Blobs(store, info.oid, &before);

    HANDLE handle = CreateFileW(u"\\rules.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    if (handle == INVALID_HANDLE_VALUE || !WriteFile(handle, file.data(), DWORD(file.size()), &written, nullptr)) abort();
    CloseHandle(handle);

    const DWORD code = UpdateDatabase(u"\\rules.txt");

    std::vector<CEOID> after;
    const std::vector<std::string> blobs = Blobs(store, info.oid, &after);
    const bool fileRefused = code == kUpdateNoMark || code == kUpdateWrongMark || code == kUpdateNoName ||
                             code == kUpdateNoRules;
    if (fileRefused && (after != before || blobs != initial)) abort();
    if (!fileRefused && code != 0 && code < 9000000 && code != ERROR_FILE_NOT_FOUND && code != ERROR_INVALID_PARAMETER)
        abort();
    if (code >= 9000000 && !fileRefused && ((code - 9000000) % 100 < 6 || (code - 9000000) % 100 > 8)) abort();
    // Every record kept its place and identifier; what was added came after them, at most one per
    // rule (a line, or a piece of 2 047 units of a longer one).
    const size_t lines = size_t(std::count(units.begin(), units.end(), u'\n')) + units.size() / 2047 + 1;
    if (after.size() < before.size() || after.size() - before.size() > lines) abort();
    if (!std::equal(before.begin(), before.end(), after.begin())) abort();
    // A rule changes only the property it sets: every property of a record is still there, or was
    // a property some rule of the file could set.
    std::vector<host::cedb::PropertyView> now, then;
    for (size_t i = 0; i < blobs.size(); ++i) {
        if (!host::cedb::DecodeRecord(blobs[i], &now) || now.empty()) abort();
        if (i >= initial.size()) continue;
        host::cedb::DecodeRecord(initial[i], &then);
        for (size_t k = 0; k < then.size(); ++k) {
            if (k >= now.size() || now[k].propid != then[k].propid) abort();
            if (now[k].value != then[k].value && !Accepted(now[k].propid)) abort();
        }
    }
    return 0;
}
