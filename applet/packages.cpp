// The installed language packages: each \Windows\vl_*.xml whose description element names a
// language, read through a read-only stream over the file.
#include <cstring>
#include <string>

#include "lingo.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/text.h"
#include "platform/xmldom.h"
#include "script/script_engine.h"
#include "script/command_table.h"
#include "script/script_source.h"
#include "script/showmessage.h"

namespace {

// The package file as the DOM reads it: a stream whose Read is ReadFile on the open file.
class PackageFileStream final : public ScriptStream {
public:
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
        DWORD got = 0;
        const BOOL ok = m_file != INVALID_HANDLE_VALUE && ReadFile(m_file, buffer, size, &got, nullptr);
        if (read) *read = got;
        if (!ok) return E_FAIL;
        return got < size ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG* written) override {
        if (written) *written = 0;
        return STG_E_ACCESSDENIED;
    }
    int Open(const WCHAR* source, int) override {
        m_file = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return m_file != INVALID_HANDLE_VALUE;
    }
    int Close() override {
        if (m_file == INVALID_HANDLE_VALUE) return 0;
        const BOOL closed = CloseHandle(m_file);
        m_file = INVALID_HANDLE_VALUE;
        return closed ? 1 : 0;
    }

private:
    ~PackageFileStream() override { Close(); }

    HANDLE m_file = INVALID_HANDLE_VALUE;
};

// Copies text into a record field of capacity units, cut to fit with its terminator.
void CopyField(WCHAR* field, size_t capacity, const std::u16string& text) {
    const size_t units = std::min(text.size(), capacity - 1);
    std::memcpy(field, text.data(), units * sizeof(WCHAR));
    field[units] = 0;
}

// A string of the applet's table, or fallback when it cannot be loaded.
std::u16string StringOr(UINT id, const char16_t* fallback) {
    WCHAR text[260] = {};
    return LoadStringW(Applet().instance, id, text, 260) > 0 ? std::u16string(text) : std::u16string(fallback);
}

// An attribute that is present: getAttribute answers S_OK (an absent one answers S_FALSE).
bool Attribute(IXmlElement* element, const char16_t* name, std::u16string* value) {
    value->clear();
    return element->getAttribute(name, value) == S_OK;
}

}  // namespace

void ReadPackage(const WCHAR* path) {
    AppletState& applet = Applet();
    IXmlDocument* document = nullptr;
    if (FAILED(CreateXmlDocument(&document)) || !document) {
        WCHAR text[256] = {};
        if (LoadStringW(applet.instance, IDS_XML_INIT_ERROR, text, 256) > 0) ShowMessage(text);
        return;
    }
    auto* stream = new PackageFileStream;
    VARIANT_BOOL success = VARIANT_FALSE;
    const bool opened = stream->Open(path, 1);
    const HRESULT loaded = opened ? document->loadStream(stream, &success) : E_FAIL;
    stream->Close();
    stream->Release();
    if (FAILED(loaded) || success != VARIANT_TRUE) {
        document->Release();
        return;
    }
    IXmlNode* node = nullptr;
    IXmlElement* description = nullptr;
    if (document->selectSingleNode(u"//description", &node) == S_OK && node &&
        SUCCEEDED(node->QueryElement(&description)) && description) {
        std::u16string id, name, info, reboot, yes, no;
        Attribute(description, u"ID", &id);
        Attribute(description, u"NAME", &name);
        Attribute(description, u"INFO", &info);
        Attribute(description, u"REBOOT", &reboot);
        Attribute(description, u"YES", &yes);
        Attribute(description, u"NO", &no);
        // The identifier is hexadecimal as "%x" reads it: leading digits count, the rest is not.
        DWORD value = 0;
        size_t at = 0;
        while (at < id.size() && (id[at] == u' ' || id[at] == u'\t')) ++at;
        if (at + 1 < id.size() && id[at] == u'0' && (id[at + 1] == u'x' || id[at + 1] == u'X')) at += 2;
        for (; at < id.size(); ++at) {
            const char16_t c = id[at];
            const int digit = c >= u'0' && c <= u'9'   ? c - u'0'
                              : c >= u'a' && c <= u'f' ? c - u'a' + 10
                              : c >= u'A' && c <= u'F' ? c - u'A' + 10
                                                       : -1;
            if (digit < 0) break;
            value = value * 16 + static_cast<DWORD>(digit);
        }
        if (value != 0 && applet.packageCount < kMaxPackages) {
            LanguagePackage& record = applet.packages[applet.packageCount];
            record = LanguagePackage{};
            record.id = value;
            CopyField(record.path, 260, path);
            CopyField(record.name, 260, name);
            CopyField(record.idText, 30, id);
            CopyField(record.info, 260, info);
            CopyField(record.yesText, 260, yes.empty() ? StringOr(IDS_DEFAULT_YES, u"Select") : yes);
            CopyField(record.noText, 260, no.empty() ? StringOr(IDS_DEFAULT_NO, u"This language is current.") : no);
            CopyField(record.rebootText, 260,
                      reboot.empty() ? StringOr(IDS_DEFAULT_REBOOT, u"This device will be soft resetting now.") : reboot);
            ++applet.packageCount;
        }
    }
    if (description) description->Release();
    if (node) node->Release();
    document->Release();
}

void EnumeratePackages() {
    AppletState& applet = Applet();
    applet.packageCount = 0;
    applet.currentIndex = kNoPackage;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(u"\\Windows\\vl_*.xml", &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::u16string path = std::u16string(u"\\Windows\\") + found.cFileName;
        ReadPackage(path.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

int FindCurrentPackage() {
    const AppletState& applet = Applet();
    for (int i = 0; i < applet.packageCount; ++i)
        if (applet.packages[i].id == g_dwCurrentLanguage) return i;
    return kNoPackage;
}
