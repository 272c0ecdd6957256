// The XML DOM over libxml2. A DocState owns one parsed xmlDoc and every node that was ever part
// of it; node and list objects hold the DocState by shared_ptr, so no libxml2 node is freed while
// any object can still reach it. To keep that promise the code never calls libxml2 functions
// that free nodes behind our back (xmlAddChild and xmlAddPrevSibling merge adjacent text nodes
// and free one of them): nodes are linked by hand, removed subtrees and clones are remembered
// as detached roots, and all of it is freed together when the last holder lets go.
#include "host/xml/xml_dom.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>

#include <atomic>
#include <climits>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/text.h"
#include "platform/xmldom.h"

namespace host {

namespace {

struct DocState {
    explicit DocState(xmlDocPtr d) : doc(d) {}
    ~DocState() {
        for (xmlNodePtr n : detached) xmlFreeNode(n);
        xmlFreeDoc(doc);
    }
    DocState(const DocState&) = delete;
    DocState& operator=(const DocState&) = delete;

    xmlDocPtr doc;
    // Roots of subtrees that belong to the document but hang in no tree (removed or cloned).
    std::unordered_set<xmlNodePtr> detached;
};
using StatePtr = std::shared_ptr<DocState>;

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && IsXmlSpace(s[b])) ++b;
    while (e > b && IsXmlSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

// The content of text and CDATA nodes below first and its siblings, in document order, entity
// references followed into their parsed content within the walk limits.
void CollectText(xmlNodePtr first, std::string* out) {
    std::vector<xmlNodePtr> stack{first};
    size_t visits = 0;
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        if (!n) continue;
        if (++visits > kMaxTextWalkNodes || out->size() > kMaxNodeTextBytes) return;
        stack.push_back(n->next);
        switch (n->type) {
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
            if (n->content) out->append(reinterpret_cast<const char*>(n->content));
            break;
        case XML_ELEMENT_NODE:
            stack.push_back(n->children);
            break;
        case XML_ENTITY_REF_NODE:
            if (n->children && n->children->type == XML_ENTITY_DECL)
                stack.push_back(reinterpret_cast<xmlEntityPtr>(n->children)->children);
            break;
        default:
            break;
        }
    }
    if (out->size() > kMaxNodeTextBytes) out->resize(kMaxNodeTextBytes);
}

bool IsBlank(const xmlChar* s) {
    if (!s) return true;
    for (; *s; ++s)
        if (!IsXmlSpace(static_cast<char>(*s))) return false;
    return true;
}

// The device DOM does not preserve white space: text nodes of white space alone are dropped.
void DropBlankText(xmlDocPtr doc) {
    std::vector<xmlNodePtr> blanks;
    std::vector<xmlNodePtr> stack{doc->children};
    while (!stack.empty()) {
        xmlNodePtr n = stack.back();
        stack.pop_back();
        if (!n) continue;
        stack.push_back(n->next);
        if (n->type == XML_TEXT_NODE && IsBlank(n->content)) blanks.push_back(n);
        else if (n->type == XML_ELEMENT_NODE) stack.push_back(n->children);
    }
    for (xmlNodePtr n : blanks) {
        xmlUnlinkNode(n);
        xmlFreeNode(n);
    }
}

bool ReachesOutside(xmlDocPtr doc) {
    if (doc->extSubset) return true;
    xmlDtdPtr dtd = doc->intSubset;
    if (!dtd) return false;
    if (dtd->ExternalID || dtd->SystemID) return true;
    // Every declaration is a child of the DTD node, entities included.
    for (xmlNodePtr n = dtd->children; n; n = n->next) {
        if (n->type != XML_ENTITY_DECL) continue;
        xmlEntityPtr e = reinterpret_cast<xmlEntityPtr>(n);
        if (e->etype != XML_INTERNAL_GENERAL_ENTITY && e->etype != XML_INTERNAL_PARAMETER_ENTITY &&
            e->etype != XML_INTERNAL_PREDEFINED_ENTITY)
            return true;
        if (e->ExternalID || e->SystemID) return true;
    }
    return false;
}

DOMNodeType TypeOf(xmlNodePtr n) {
    switch (n->type) {
    case XML_ELEMENT_NODE: return NODE_ELEMENT;
    case XML_ATTRIBUTE_NODE: return NODE_ATTRIBUTE;
    case XML_TEXT_NODE: return NODE_TEXT;
    case XML_CDATA_SECTION_NODE: return NODE_CDATA_SECTION;
    case XML_ENTITY_REF_NODE: return NODE_ENTITY_REFERENCE;
    case XML_PI_NODE: return NODE_PROCESSING_INSTRUCTION;
    case XML_COMMENT_NODE: return NODE_COMMENT;
    case XML_DOCUMENT_NODE: return NODE_DOCUMENT;
    case XML_DTD_NODE: return NODE_DOCUMENT_TYPE;
    default: return NODE_INVALID;
    }
}

// Only these are handed out as nodes; libxml2's declarations and namespace records are not.
bool Exposable(xmlNodePtr n) { return n && TypeOf(n) != NODE_INVALID; }

std::string QualifiedName(xmlNodePtr n) {
    std::string name = n->name ? reinterpret_cast<const char*>(n->name) : "";
    if ((n->type == XML_ELEMENT_NODE || n->type == XML_ATTRIBUTE_NODE) && n->ns && n->ns->prefix)
        name = std::string(reinterpret_cast<const char*>(n->ns->prefix)) + ":" + name;
    return name;
}

void NoXPathError(void*, xmlErrorPtr) {}
void NoGenericError(void*, const char*, ...) {}

IXmlNode* WrapNode(const StatePtr& state, xmlNodePtr node);

class NodeList final : public IXmlNodeList {
public:
    NodeList(StatePtr state, std::vector<xmlNodePtr> nodes) : m_state(std::move(state)), m_nodes(std::move(nodes)) {}
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }
    HRESULT get_length(LONG* length) override {
        if (!length) return E_INVALIDARG;
        *length = static_cast<LONG>(m_nodes.size());
        return S_OK;
    }
    HRESULT get_item(LONG index, IXmlNode** node) override {
        if (!node) return E_INVALIDARG;
        if (index < 0 || static_cast<size_t>(index) >= m_nodes.size()) {
            *node = nullptr;
            return S_FALSE;
        }
        *node = WrapNode(m_state, m_nodes[index]);
        return *node ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~NodeList() = default;
    std::atomic<ULONG> m_refs{1};
    StatePtr m_state;
    std::vector<xmlNodePtr> m_nodes;
};

// What every node object knows; insertBefore and removeChild use it to recognise their own.
class NodeAccess {
public:
    virtual StatePtr State() const = 0;
    virtual xmlNodePtr Node() const = 0;

protected:
    ~NodeAccess() = default;
};

HRESULT MakeList(const StatePtr& state, std::vector<xmlNodePtr> nodes, IXmlNodeList** list) {
    *list = new (std::nothrow) NodeList(state, std::move(nodes));
    return *list ? S_OK : E_OUTOFMEMORY;
}

NodeAccess* AccessOf(IXmlNode* node) { return node ? dynamic_cast<NodeAccess*>(node) : nullptr; }

// The node operations, written once for elements, other nodes and documents alike.
template <class Interface>
class NodeBase : public Interface, public NodeAccess {
public:
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override {
        ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

    HRESULT get_nodeType(DOMNodeType* type) override {
        if (!type) return E_INVALIDARG;
        *type = TypeOf(Node());
        return S_OK;
    }

    HRESULT get_nodeName(std::u16string* name) override {
        if (!name) return E_INVALIDARG;
        xmlNodePtr n = Node();
        switch (n->type) {
        case XML_TEXT_NODE: *name = u"#text"; break;
        case XML_CDATA_SECTION_NODE: *name = u"#cdata-section"; break;
        case XML_COMMENT_NODE: *name = u"#comment"; break;
        case XML_DOCUMENT_NODE: *name = u"#document"; break;
        default: *name = FromUtf8(QualifiedName(n)); break;
        }
        return S_OK;
    }

    HRESULT get_sourceLine(LONG* line) override {
        if (!line) return E_INVALIDARG;
        xmlNodePtr n = Node();
        long number = n->type == XML_DOCUMENT_NODE ? 0 : xmlGetLineNo(n);
        *line = number > 0 && number <= LONG_MAX ? static_cast<LONG>(number) : 0;
        return S_OK;
    }

    HRESULT get_text(std::u16string* text) override {
        if (!text) return E_INVALIDARG;
        xmlNodePtr n = Node();
        std::string out;
        switch (n->type) {
        case XML_ATTRIBUTE_NODE:
            CollectText(n->children, &out);
            *text = FromUtf8(out);
            return S_OK;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
            if (n->content) out = reinterpret_cast<const char*>(n->content);
            break;
        case XML_ELEMENT_NODE:
        case XML_DOCUMENT_NODE:
            CollectText(n->children, &out);
            break;
        case XML_ENTITY_REF_NODE:
            if (n->children && n->children->type == XML_ENTITY_DECL)
                CollectText(reinterpret_cast<xmlEntityPtr>(n->children)->children, &out);
            break;
        default:
            break;
        }
        *text = FromUtf8(Trim(out));
        return S_OK;
    }

    HRESULT get_childNodes(IXmlNodeList** children) override {
        if (!children) return E_INVALIDARG;
        std::vector<xmlNodePtr> nodes;
        xmlNodePtr n = Node();
        if (n->type == XML_ELEMENT_NODE || n->type == XML_DOCUMENT_NODE) {
            for (xmlNodePtr c = n->children; c; c = c->next)
                if (Exposable(c)) nodes.push_back(c);
        }
        return MakeList(State(), std::move(nodes), children);
    }

    HRESULT get_attributes(IXmlNodeList** attributes) override {
        if (!attributes) return E_INVALIDARG;
        xmlNodePtr n = Node();
        if (n->type != XML_ELEMENT_NODE) {
            *attributes = nullptr;
            return S_FALSE;
        }
        std::vector<xmlNodePtr> nodes;
        for (xmlAttrPtr a = n->properties; a; a = a->next) nodes.push_back(reinterpret_cast<xmlNodePtr>(a));
        return MakeList(State(), std::move(nodes), attributes);
    }

    HRESULT selectNodes(LPCWSTR query, IXmlNodeList** nodes) override {
        if (!nodes) return E_INVALIDARG;
        std::vector<xmlNodePtr> found;
        HRESULT hr = Evaluate(query, &found);
        if (FAILED(hr)) return hr;
        return MakeList(State(), std::move(found), nodes);
    }

    HRESULT selectSingleNode(LPCWSTR query, IXmlNode** node) override {
        if (!node) return E_INVALIDARG;
        std::vector<xmlNodePtr> found;
        HRESULT hr = Evaluate(query, &found);
        if (FAILED(hr)) return hr;
        if (found.empty()) {
            *node = nullptr;
            return S_FALSE;
        }
        *node = WrapNode(State(), found.front());
        return *node ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT cloneNode(BOOL deep, IXmlNode** clone) override;

    HRESULT insertBefore(IXmlNode* newChild, IXmlNode* refChild, IXmlNode** inserted) override {
        NodeAccess* add = AccessOf(newChild);
        if (!add || add->State() != State()) return E_INVALIDARG;
        xmlNodePtr parent = Node();
        xmlNodePtr child = add->Node();
        xmlNodePtr ref = nullptr;
        if (refChild) {
            NodeAccess* r = AccessOf(refChild);
            if (!r || r->State() != State()) return E_INVALIDARG;
            ref = r->Node();
            if (ref->parent != parent || ref->type == XML_ATTRIBUTE_NODE) return E_INVALIDARG;
        }
        HRESULT hr = CheckInsertion(parent, child);
        if (FAILED(hr)) return hr;
        if (ref != child) {
            if (child->parent) xmlUnlinkNode(child);
            State()->detached.erase(child);
            child->parent = parent;
            if (ref) {
                child->next = ref;
                child->prev = ref->prev;
                if (ref->prev) ref->prev->next = child;
                else parent->children = child;
                ref->prev = child;
            } else {
                child->next = nullptr;
                child->prev = parent->last;
                if (parent->last) parent->last->next = child;
                else parent->children = child;
                parent->last = child;
            }
        }
        if (inserted) {
            newChild->AddRef();
            *inserted = newChild;
        }
        return S_OK;
    }

    HRESULT removeChild(IXmlNode* child, IXmlNode** removed) override {
        NodeAccess* c = AccessOf(child);
        if (!c || c->State() != State()) return E_INVALIDARG;
        xmlNodePtr n = c->Node();
        if (n->parent != Node() || n->type == XML_ATTRIBUTE_NODE) return E_INVALIDARG;
        // Entity references point into the DTD, so it stays where it is.
        if (n->type == XML_DTD_NODE) return E_FAIL;
        xmlUnlinkNode(n);
        State()->detached.insert(n);
        if (removed) {
            child->AddRef();
            *removed = child;
        }
        return S_OK;
    }

    HRESULT QueryElement(IXmlElement** element) override;

protected:
    virtual ~NodeBase() = default;

private:
    HRESULT Evaluate(LPCWSTR query, std::vector<xmlNodePtr>* found) {
        if (!query) return E_INVALIDARG;
        std::u16string_view q(query);
        if (q.size() > kMaxXPathUnits) return E_INVALIDARG;
        std::string expr = ToUtf8(q);
        xmlXPathContextPtr ctx = xmlXPathNewContext(State()->doc);
        if (!ctx) return E_OUTOFMEMORY;
        ctx->node = Node();
        ctx->error = NoXPathError;
        xmlXPathObjectPtr result = xmlXPathEvalExpression(X(expr), ctx);
        HRESULT hr = E_FAIL;
        if (result && result->type == XPATH_NODESET) {
            hr = S_OK;
            if (xmlNodeSetPtr set = result->nodesetval) {
                for (int i = 0; i < set->nodeNr; ++i)
                    if (Exposable(set->nodeTab[i])) found->push_back(set->nodeTab[i]);
            }
        }
        xmlXPathFreeObject(result);
        xmlXPathFreeContext(ctx);
        return hr;
    }

    static HRESULT CheckInsertion(xmlNodePtr parent, xmlNodePtr child) {
        switch (child->type) {
        case XML_ELEMENT_NODE:
        case XML_COMMENT_NODE:
        case XML_PI_NODE:
            break;
        case XML_TEXT_NODE:
        case XML_CDATA_SECTION_NODE:
        case XML_ENTITY_REF_NODE:
            if (parent->type == XML_DOCUMENT_NODE) return E_FAIL;
            break;
        default:
            return E_FAIL;
        }
        if (parent->type != XML_ELEMENT_NODE && parent->type != XML_DOCUMENT_NODE) return E_FAIL;
        for (xmlNodePtr p = parent; p; p = p->parent)
            if (p == child) return E_FAIL;
        // A document holds one element.
        if (parent->type == XML_DOCUMENT_NODE && child->type == XML_ELEMENT_NODE) {
            for (xmlNodePtr c = parent->children; c; c = c->next)
                if (c->type == XML_ELEMENT_NODE && c != child) return E_FAIL;
        }
        return S_OK;
    }

    std::atomic<ULONG> m_refs{1};
};

class Element final : public NodeBase<IXmlElement> {
public:
    Element(StatePtr state, xmlNodePtr node) : m_state(std::move(state)), m_node(node) {}
    StatePtr State() const override { return m_state; }
    xmlNodePtr Node() const override { return m_node; }

    HRESULT getAttribute(LPCWSTR name, std::u16string* value) override {
        if (!name || !value) return E_INVALIDARG;
        if (m_node->type != XML_ELEMENT_NODE) return E_NOINTERFACE;
        xmlAttrPtr a = Find(ToUtf8(name));
        if (!a) {
            value->clear();
            return S_FALSE;
        }
        std::string out;
        CollectText(a->children, &out);
        *value = FromUtf8(out);
        return S_OK;
    }

    HRESULT setAttribute(LPCWSTR name, LPCWSTR value) override {
        if (!name || !value) return E_INVALIDARG;
        if (m_node->type != XML_ELEMENT_NODE) return E_NOINTERFACE;
        std::string n = ToUtf8(name), v = ToUtf8(value);
        if (n.empty() || xmlValidateName(X(n), 0) != 0) return E_FAIL;
        xmlAttrPtr a = Find(n);
        // Replacing the value keeps the attribute node, so objects that hold it stay valid.
        xmlAttrPtr set = a ? xmlSetNsProp(m_node, a->ns, a->name, X(v)) : xmlSetProp(m_node, X(n), X(v));
        return set ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~Element() override = default;

    xmlAttrPtr Find(const std::string& name) const {
        for (xmlAttrPtr a = m_node->properties; a; a = a->next)
            if (QualifiedName(reinterpret_cast<xmlNodePtr>(a)) == name) return a;
        return nullptr;
    }

    StatePtr m_state;
    xmlNodePtr m_node;
};

// Line numbers past 65535 are kept too, for authors' tools that report where a node came from.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_BIG_LINES;

class Document final : public NodeBase<IXmlDocument> {
public:
    explicit Document(StatePtr state) : m_state(std::move(state)) {}
    StatePtr State() const override { return m_state; }
    xmlNodePtr Node() const override { return reinterpret_cast<xmlNodePtr>(m_state->doc); }

    HRESULT load(const void* bytes, size_t size, VARIANT_BOOL* success) override {
        if (!success || (!bytes && size)) return E_INVALIDARG;
        if (size > kMaxXmlDocumentBytes) return E_OUTOFMEMORY;
        // Objects from the previous content keep its state; the document moves on to a new one.
        xmlDocPtr doc = nullptr;
        XmlParseError error;
        if (size) {
            // Some encoding errors bypass the parser's own quiet options; the failed load is
            // what reports them, so libxml2 must not print on this thread.
            xmlSetGenericErrorFunc(nullptr, NoGenericError);
            xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
            if (!ctxt) return E_OUTOFMEMORY;
            // The parser goes on after its first error and its last one is often only a
            // consequence ("premature end of data"), so the first is kept as the reason.
            ctxt->_private = &error;
            if (ctxt->sax) ctxt->sax->serror = KeepFirstError;
            doc = xmlCtxtReadMemory(ctxt, static_cast<const char*>(bytes), static_cast<int>(size), nullptr,
                                    nullptr, kParseOptions);
            if (!doc && error.reason.empty()) error = ParseErrorOf(ctxt->lastError.message ? &ctxt->lastError : nullptr);
            else if (doc) error = XmlParseError{};
            xmlFreeParserCtxt(ctxt);
        } else {
            error.reason = u"the document is empty";
        }
        if (doc && ReachesOutside(doc)) {
            DebugTrace(u"xmldom: document refused, it declares external entities\n");
            xmlFreeDoc(doc);
            doc = nullptr;
            error = XmlParseError{0, 0, u"the document declares external entities or an external DTD"};
        }
        bool loaded = doc != nullptr;
        if (doc) DropBlankText(doc);
        else doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
        if (!doc) return E_OUTOFMEMORY;
        StatePtr state(new (std::nothrow) DocState(doc));
        if (!state) {
            xmlFreeDoc(doc);
            return E_OUTOFMEMORY;
        }
        m_state = std::move(state);
        m_failed = !loaded;
        m_error = std::move(error);
        *success = loaded ? VARIANT_TRUE : VARIANT_FALSE;
        return loaded ? S_OK : S_FALSE;
    }

    HRESULT loadStream(ISequentialStream* stream, VARIANT_BOOL* success) override {
        if (!stream || !success) return E_INVALIDARG;
        std::vector<BYTE> bytes;
        BYTE chunk[16384];
        for (;;) {
            ULONG got = 0;
            HRESULT hr = stream->Read(chunk, sizeof chunk, &got);
            if (FAILED(hr)) return hr;
            if (got > sizeof chunk) return E_FAIL;
            if (bytes.size() + got > kMaxXmlDocumentBytes) return E_OUTOFMEMORY;
            bytes.insert(bytes.end(), chunk, chunk + got);
            if (got == 0 || hr == S_FALSE) break;
        }
        return load(bytes.data(), bytes.size(), success);
    }

    HRESULT get_documentElement(IXmlElement** root) override {
        if (!root) return E_INVALIDARG;
        xmlNodePtr r = xmlDocGetRootElement(m_state->doc);
        if (!r) {
            *root = nullptr;
            return S_FALSE;
        }
        *root = new (std::nothrow) Element(m_state, r);
        return *root ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT get_parseError(XmlParseError* error) override {
        if (!error) return E_INVALIDARG;
        if (!m_failed) return S_FALSE;
        *error = m_error;
        return S_OK;
    }

private:
    ~Document() override = default;

    static XmlParseError ParseErrorOf(const xmlError* failure) {
        XmlParseError error;
        if (!failure || !failure->message) {
            error.reason = u"the document does not parse";
            return error;
        }
        // The parser's messages may run over lines; a reason is one line.
        std::string message = Trim(failure->message);
        for (char& c : message)
            if (c == '\n' || c == '\r') c = ' ';
        error.reason = FromUtf8(message);
        error.line = failure->line > 0 ? failure->line : 0;
        error.column = failure->int2 > 0 ? failure->int2 : 0;
        return error;
    }

    static void KeepFirstError(void*, xmlErrorPtr failure) {
        if (!failure || failure->level < XML_ERR_ERROR || !failure->ctxt) return;
        auto* first = static_cast<XmlParseError*>(static_cast<xmlParserCtxtPtr>(failure->ctxt)->_private);
        if (first && first->reason.empty()) *first = ParseErrorOf(failure);
    }

    StatePtr m_state;
    bool m_failed = false;
    XmlParseError m_error;
};

IXmlNode* WrapNode(const StatePtr& state, xmlNodePtr node) {
    // The document node as a node is a plain node object; only CreateXmlDocument and clones
    // of a document make Document objects, which own their state.
    return new (std::nothrow) Element(state, node);
}

template <class Interface>
HRESULT NodeBase<Interface>::QueryElement(IXmlElement** element) {
    if (!element) return E_INVALIDARG;
    xmlNodePtr n = Node();
    if (n->type != XML_ELEMENT_NODE) return E_NOINTERFACE;
    *element = new (std::nothrow) Element(State(), n);
    return *element ? S_OK : E_OUTOFMEMORY;
}

template <class Interface>
HRESULT NodeBase<Interface>::cloneNode(BOOL deep, IXmlNode** clone) {
    if (!clone) return E_INVALIDARG;
    xmlNodePtr n = Node();
    if (n->type == XML_DOCUMENT_NODE) {
        xmlDocPtr copy = xmlCopyDoc(State()->doc, deep ? 1 : 0);
        if (!copy) return E_OUTOFMEMORY;
        StatePtr state(new (std::nothrow) DocState(copy));
        if (!state) {
            xmlFreeDoc(copy);
            return E_OUTOFMEMORY;
        }
        *clone = new (std::nothrow) Document(std::move(state));
        return *clone ? S_OK : E_OUTOFMEMORY;
    }
    if (n->type == XML_DTD_NODE) return E_FAIL;
    xmlNodePtr copy = xmlDocCopyNode(n, State()->doc, deep ? 1 : 0);
    if (!copy) return E_OUTOFMEMORY;
    State()->detached.insert(copy);
    *clone = WrapNode(State(), copy);
    return *clone ? S_OK : E_OUTOFMEMORY;
}

void InitLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

}  // namespace

}  // namespace host

HRESULT CreateXmlDocument(IXmlDocument** document) {
    if (!document) return E_INVALIDARG;
    host::InitLibrary();
    xmlDocPtr doc = xmlNewDoc(reinterpret_cast<const xmlChar*>("1.0"));
    if (!doc) return E_OUTOFMEMORY;
    host::StatePtr state(new (std::nothrow) host::DocState(doc));
    if (!state) {
        xmlFreeDoc(doc);
        return E_OUTOFMEMORY;
    }
    *document = new (std::nothrow) host::Document(std::move(state));
    return *document ? S_OK : E_OUTOFMEMORY;
}
