// Arbitrary bytes as a language script: loaded as the main document and as its own companion,
// merged, If elements resolved and every command walked into a sink that checks what it is
// handed. Nothing may crash or leak, and every Data list must be the full buffer with a double
// zero inside it, whatever the document holds.
#include <cstdint>
#include <cstdlib>

#include "platform/text.h"
#include "platform/xmldom.h"
#include "script/rename_log.h"
#include "script/script_engine.h"

namespace {

class CheckingSink : public CommandSink {
public:
    int Execute(const WCHAR* commandName, AttributeMap* attributes, DWORD* result, int skip) override {
        if (!commandName || !attributes || !result || skip != 0) abort();
        for (size_t i = 0; i < attributes->Count(); ++i) {
            const AttributeEntry& entry = attributes->At(i);
            if (entry.key != NameHash(u"Data") || entry.value.size() != kDataListUnits) continue;
            const WCHAR* p = entry.value.c_str();
            size_t at = 0;
            while (at < kDataListUnits && p[at]) at += wcslen(p + at) + 1;
            if (at >= kDataListUnits) abort();
        }
        *result = 0;
        return 1;
    }
};

IXmlDocument* Load(const uint8_t* data, size_t size) {
    IXmlDocument* document = nullptr;
    if (CreateXmlDocument(&document) != S_OK) abort();
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (document->load(data, size, &ok) != S_OK) {
        document->Release();
        return nullptr;
    }
    return document;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IXmlDocument* main = Load(data, size);
    if (!main) return 0;
    CheckingSink sink;
    ScriptEngine engine;
    engine.m_pSink = &sink;
    engine.m_pMainDocument = main;
    engine.m_pCompanionDocument = Load(data, size);
    engine.m_LdMergeTable[0] = {u"LDRename", u"TO", u"FROM"};
    engine.m_LdMergeTable[1] = {u"LDAbsRename", u"TO", u"FROM"};
    engine.m_LdMergeTable[2] = {u"LDDeleteRegKey", u"name", u"name"};
    engine.m_nMergeCount = 3;
    engine.MergeLanguageDocument();
    if (SUCCEEDED(engine.ApplyConditions())) engine.ExecuteCommands();
    ClearRenameLog();
    return 0;
}
