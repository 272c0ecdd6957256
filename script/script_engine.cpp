#include "script_engine.h"

#include "platform/text.h"
#include "platform/winbase.h"
#include "platform/winerror.h"
#include "reghelpers.h"
#include "rename_log.h"
#include "script_source.h"
#include "script_trace.h"

namespace {

// The companion supplies, per kind of element, the name the object bears in the language being
// left: renames take it as their FROM, key deletions as their name.
constexpr LdMergeEntry kLdMergeTable[kLanguageMergeCount] = {
    {u"LDRename", u"TO", u"FROM"},
    {u"LDAbsRename", u"TO", u"FROM"},
    {u"LDDeleteRegKey", u"name", u"name"},
};

template <class T>
void ReleaseAndClear(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

// What a trace shows of an element: its line, its name and its attributes as name="value" pairs
// in document order. Only built when a trace is set.
TraceElement DescribeElement(IXmlNode* element) {
    TraceElement description;
    element->get_sourceLine(&description.line);
    element->get_nodeName(&description.name);
    IXmlNodeList* attributes = nullptr;
    if (SUCCEEDED(element->get_attributes(&attributes)) && attributes) {
        LONG count = 0;
        if (FAILED(attributes->get_length(&count))) count = 0;
        for (LONG j = 0; j < count; ++j) {
            IXmlNode* attribute = nullptr;
            if (FAILED(attributes->get_item(j, &attribute)) || !attribute) continue;
            std::u16string name, text;
            if (SUCCEEDED(attribute->get_text(&text)) && SUCCEEDED(attribute->get_nodeName(&name))) {
                if (!description.attributes.empty()) description.attributes += u' ';
                description.attributes += name + u"=\"" + text + u'"';
            }
            attribute->Release();
        }
        attributes->Release();
    }
    return description;
}

}  // namespace

const LdMergeEntry* LanguageMergeTable() { return kLdMergeTable; }

bool DataListBuilder::Append(std::u16string_view text) {
    if (m_closed) return false;
    if (text.empty()) return true;
    // The text, its terminator and the closing empty text must all fit.
    if (text.size() + 2 > kDataListUnits - m_used) {
        m_closed = true;
        return false;
    }
    text.copy(m_list.data() + m_used, text.size());
    m_used += text.size() + 1;
    return true;
}

HRESULT ScriptEngine::NewDocument(IXmlDocument** document) {
    // The host DOM is reached through its platform call rather than by class identifier; it
    // always loads synchronously and has no safety options to switch off, so creation is all
    // there is to do.
    *document = nullptr;
    HRESULT hr = CreateXmlDocument(document);
    if (FAILED(hr)) *document = nullptr;
    return hr;
}

HRESULT ScriptEngine::CreateDocument() {
    ReleaseDocuments();
    m_nMergeCount = 0;
    HRESULT hr = NewDocument(&m_pMainDocument);
    if (FAILED(hr)) m_hrStatus = hr;
    return hr;
}

void ScriptEngine::ReleaseDocuments() {
    ReleaseAndClear(m_pMainDocument);
    ReleaseAndClear(m_pCompanionDocument);
}

HRESULT ScriptEngine::LoadSource(IXmlDocument* document, const WCHAR* source, bool* loaded) {
    *loaded = false;
    ScriptStream* stream = OpenScriptStream(source, 1);
    if (!stream) {
        if (ScriptTrace* trace = CurrentScriptTrace()) trace->DocumentFailed(source, false, 0, 0, u"cannot be opened");
        return S_OK;
    }
    VARIANT_BOOL success = VARIANT_FALSE;
    HRESULT hr = document->loadStream(stream, &success);
    stream->Close();
    stream->Release();
    *loaded = SUCCEEDED(hr) && success == VARIANT_TRUE;
    ScriptTrace* trace = CurrentScriptTrace();
    if (!*loaded && trace) {
        XmlParseError error;
        if (FAILED(hr)) error.reason = FormatW(u"cannot be read (0x%08X)", static_cast<unsigned>(hr));
        else if (document->get_parseError(&error) != S_OK) error.reason = u"does not parse";
        trace->DocumentFailed(source, true, error.line, error.column, error.reason);
    }
    return hr;
}

int ScriptEngine::Run(const WCHAR* mainSource, const WCHAR* companionSource) {
    m_hrStatus = S_OK;
    if (!mainSource || !m_pMainDocument) {
        m_hrStatus = E_INVALIDARG;
        return 0;
    }
    bool loaded = false;
    HRESULT hr = LoadSource(m_pMainDocument, mainSource, &loaded);
    if (!loaded) {
        m_hrStatus = hr;
        return 0;
    }
    if (ScriptTrace* trace = CurrentScriptTrace()) trace->DocumentLoaded(mainSource, true);
    if (companionSource) {
        ReleaseAndClear(m_pCompanionDocument);
        hr = NewDocument(&m_pCompanionDocument);
        for (int i = 0; i < 3; ++i) m_LdMergeTable[i] = kLdMergeTable[i];
        m_nMergeCount = 3;
        if (FAILED(hr)) {
            m_hrStatus = hr;
            return 0;
        }
        hr = LoadSource(m_pCompanionDocument, companionSource, &loaded);
        if (!loaded) {
            m_hrStatus = hr;
            return 0;
        }
        if (ScriptTrace* trace = CurrentScriptTrace()) trace->DocumentLoaded(companionSource, false);
        MergeLanguageDocument();
    }
    hr = ApplyConditions();
    if (FAILED(hr)) {
        m_hrStatus = hr;
        return 0;
    }
    return ExecuteCommands();
}

int ScriptEngine::MergeLanguageDocument() {
    int changed = 0;
    if (!m_pMainDocument || !m_pCompanionDocument) return 0;
    for (int i = 0; i < m_nMergeCount && i < 3; ++i) MergeEntry(m_LdMergeTable[i], &changed);
    return changed;
}

void ScriptEngine::MergeEntry(const LdMergeEntry& entry, int* changed) {
    std::u16string query = FormatW(u"//%s", entry.command);
    IXmlNodeList* list = nullptr;
    if (FAILED(m_pCompanionDocument->selectNodes(query.c_str(), &list)) || !list) return;
    LONG length = 0;
    if (FAILED(list->get_length(&length))) length = 0;
    for (LONG i = 0; i < length; ++i) {
        IXmlNode* node = nullptr;
        IXmlElement* companion = nullptr;
        if (FAILED(list->get_item(i, &node)) || !node) continue;
        if (FAILED(node->QueryElement(&companion)) || !companion) {
            node->Release();
            continue;
        }
        std::u16string id, value;
        // The ID is quoted inside the query, and XPath has no way to escape a double quote in a
        // literal: such an ID cannot name its partner safely, so the element is left alone, as
        // is one whose query would not fit the query buffer.
        if (companion->getAttribute(u"ID", &id) == S_OK &&
            companion->getAttribute(entry.sourceAttribute, &value) == S_OK &&
            id.find(u'"') == std::u16string::npos &&
            wcslen(entry.command) + id.size() + 10 <= kMergeQueryUnits) {
            query = FormatW(u"//%s[@%s=\"%s\"]", entry.command, u"ID", id.c_str());
            IXmlNode* partner = nullptr;
            IXmlElement* target = nullptr;
            if (m_pMainDocument->selectSingleNode(query.c_str(), &partner) == S_OK && partner) {
                if (SUCCEEDED(partner->QueryElement(&target)) && target) {
                    std::u16string mainValue;
                    if (target->getAttribute(entry.sourceAttribute, &mainValue) == S_OK)
                        AddRenameRecord(value.c_str(), mainValue.c_str());
                    if (SUCCEEDED(target->setAttribute(entry.targetAttribute, value.c_str()))) ++*changed;
                    target->Release();
                }
                partner->Release();
            }
        }
        companion->Release();
        node->Release();
    }
    list->Release();
}

HRESULT ScriptEngine::ApplyConditions() {
    if (!m_pMainDocument) return E_INVALIDARG;
    IXmlElement* root = nullptr;
    HRESULT hr = m_pMainDocument->get_documentElement(&root);
    if (FAILED(hr)) return hr;
    // Only a document that never loaded has no root.
    if (!root) return E_UNEXPECTED;
    IXmlNodeList* conditions = nullptr;
    hr = m_pMainDocument->selectNodes(u"//If", &conditions);
    if (FAILED(hr) || !conditions) {
        root->Release();
        return FAILED(hr) ? hr : E_UNEXPECTED;
    }
    LONG length = 0;
    if (FAILED(conditions->get_length(&length))) length = 0;

    // The list was fixed when selected, so copies inserted below are not visited again; an `If`
    // outside the root's children cannot be replaced or removed, and its removal's failure
    // becomes the result when it is the last one.
    HRESULT result = S_OK;
    for (LONG i = 0; i < length; ++i) {
        IXmlNode* node = nullptr;
        IXmlElement* condition = nullptr;
        result = conditions->get_item(i, &node);
        if (FAILED(result) || !node) continue;
        result = node->QueryElement(&condition);
        if (FAILED(result) || !condition) {
            node->Release();
            continue;
        }
        IXmlNodeList* children = nullptr;
        const int copies = ConditionCopies(condition);
        if (ScriptTrace* trace = CurrentScriptTrace()) trace->Condition(DescribeElement(condition), copies > 0);
        if (copies > 0 && SUCCEEDED(condition->get_childNodes(&children)) && children) {
            LONG count = 0;
            if (FAILED(children->get_length(&count))) count = 0;
            for (int round = 0; round < copies; ++round) {
                for (LONG k = 0; k < count; ++k) {
                    IXmlNode* child = nullptr;
                    IXmlNode* copy = nullptr;
                    if (FAILED(children->get_item(k, &child)) || !child) continue;
                    if (SUCCEEDED(child->cloneNode(TRUE, &copy)) && copy) {
                        root->insertBefore(copy, condition, nullptr);
                        copy->Release();
                    }
                    child->Release();
                }
            }
            children->Release();
        }
        result = root->removeChild(condition, nullptr);
        condition->Release();
        node->Release();
    }
    conditions->Release();
    root->Release();
    return result;
}

int ScriptEngine::ConditionCopies(IXmlElement* condition) {
    std::u16string language;
    if (condition->getAttribute(u"lng", &language) != S_OK) {
        TraceNote(u"no lng attribute");
        return 0;
    }
    if (LanguageMatches(language.c_str()) != 0) {
        TraceNote(u"lng " + language + u" is not the current language");
        return 0;
    }
    return 1;
}

HRESULT ScriptEngine::CollectParameters(IXmlNode* element, AttributeMap* map, std::u16string* spare) {
    IXmlNodeList* attributes = nullptr;
    HRESULT hr = element->get_attributes(&attributes);
    if (FAILED(hr)) return hr;
    if (attributes) {
        LONG count = 0;
        if (FAILED(attributes->get_length(&count))) count = 0;
        for (LONG j = 0; j < count; ++j) {
            IXmlNode* attribute = nullptr;
            if (FAILED(attributes->get_item(j, &attribute)) || !attribute) continue;
            std::u16string name, text;
            if (SUCCEEDED(attribute->get_text(&text)) && SUCCEEDED(attribute->get_nodeName(&name)))
                map->Add(NameHash(name.c_str()), std::move(text));
            attribute->Release();
        }
        attributes->Release();
    }

    IXmlNodeList* children = nullptr;
    if (FAILED(element->get_childNodes(&children)) || !children) return S_OK;
    LONG count = 0;
    if (SUCCEEDED(children->get_length(&count)) && count > 0) {
        DataListBuilder data(std::move(*spare));
        for (LONG k = 0; k < count; ++k) {
            IXmlNode* child = nullptr;
            if (FAILED(children->get_item(k, &child)) || !child) continue;
            std::u16string text;
            bool more = FAILED(child->get_text(&text)) || data.Append(text);
            child->Release();
            if (!more) break;
        }
        map->Add(NameHash(u"Data"), data.Take());
    }
    children->Release();
    return S_OK;
}

int ScriptEngine::ExecuteCommands() {
    m_hrStatus = S_OK;
    IXmlElement* root = nullptr;
    IXmlNodeList* children = nullptr;
    LONG length = 0;
    std::u16string spareData;
    HRESULT hr = m_pMainDocument ? m_pMainDocument->get_documentElement(&root) : E_INVALIDARG;
    if (SUCCEEDED(hr) && !root) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr)) hr = root->get_childNodes(&children);
    if (SUCCEEDED(hr) && !children) hr = E_UNEXPECTED;
    if (SUCCEEDED(hr)) hr = children->get_length(&length);
    if (FAILED(hr)) m_hrStatus = hr;

    for (LONG i = 0; SUCCEEDED(hr) && i < length; ++i) {
        IXmlNode* node = nullptr;
        hr = children->get_item(i, &node);
        if (SUCCEEDED(hr) && !node) hr = E_UNEXPECTED;
        if (FAILED(hr)) {
            m_hrStatus = hr;
            break;
        }
        DOMNodeType type = NODE_INVALID;
        hr = node->get_nodeType(&type);
        if (SUCCEEDED(hr) && type == NODE_ELEMENT) {
            std::u16string name;
            AttributeMap parameters;
            hr = node->get_nodeName(&name);
            if (SUCCEEDED(hr)) hr = CollectParameters(node, &parameters, &spareData);
            if (SUCCEEDED(hr) && m_pSink) {
                DWORD result = 0;
                ScriptTrace* trace = CurrentScriptTrace();
                if (trace) SetLastError(ERROR_SUCCESS);
                int handled = m_pSink->Execute(name.c_str(), &parameters, &result, 0);
                if (trace) {
                    DWORD lastError = GetLastError();
                    trace->Command(DescribeElement(node), handled, result, lastError);
                }
            }
            // A 32 KiB list per command would cost a large allocation each; the walk keeps one.
            size_t last = parameters.Count();
            if (last && parameters.At(last - 1).value.size() == kDataListUnits)
                spareData = parameters.TakeValue(last - 1);
        }
        if (FAILED(hr)) m_hrStatus = hr;
        node->Release();
    }
    if (children) children->Release();
    if (root) root->Release();
    return m_hrStatus == S_OK ? 1 : 0;
}
