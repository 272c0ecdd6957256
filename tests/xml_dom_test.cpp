// The XML DOM as the device's DOM behaves for the script engine: loading in any declared
// encoding, white space dropped and trimmed, S_FALSE for broken documents, attribute order,
// XPath selection, clone/insert/remove, and refusal of documents that reach outside themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/xml/xml_dom.h"
#include "platform/text.h"
#include "platform/xmldom.h"

namespace {

// Holds one reference and releases it at scope end.
template <class T>
class Ref {
public:
    Ref() = default;
    ~Ref() {
        if (m_p) m_p->Release();
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    T** operator&() { return &m_p; }
    T* operator->() const { return m_p; }
    T* get() const { return m_p; }
    void reset() {
        if (m_p) m_p->Release();
        m_p = nullptr;
    }

private:
    T* m_p = nullptr;
};

HRESULT Load(IXmlDocument* doc, const std::string& bytes, VARIANT_BOOL* ok) {
    return doc->load(bytes.data(), bytes.size(), ok);
}

std::u16string NameOf(IXmlNode* n) {
    std::u16string s;
    EXPECT_EQ(n->get_nodeName(&s), S_OK);
    return s;
}
std::u16string TextOf(IXmlNode* n) {
    std::u16string s;
    EXPECT_EQ(n->get_text(&s), S_OK);
    return s;
}

// Names of a list's nodes, in order.
std::vector<std::u16string> Names(IXmlNodeList* list) {
    std::vector<std::u16string> out;
    LONG n = -1;
    EXPECT_EQ(list->get_length(&n), S_OK);
    for (LONG i = 0; i < n; ++i) {
        Ref<IXmlNode> node;
        EXPECT_EQ(list->get_item(i, &node), S_OK);
        if (node.get()) out.push_back(NameOf(node.get()));
    }
    return out;
}

class XmlDomTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(CreateXmlDocument(&m_doc), S_OK); }
    void LoadOk(const std::string& bytes) {
        VARIANT_BOOL ok = 7;
        ASSERT_EQ(Load(m_doc.get(), bytes, &ok), S_OK);
        ASSERT_EQ(ok, VARIANT_TRUE);
    }
    void Root(IXmlElement** root) { ASSERT_EQ(m_doc->get_documentElement(root), S_OK); }

    Ref<IXmlDocument> m_doc;
};

// Documents load in the encoding they declare or mark with a byte order mark.
TEST_F(XmlDomTest, EncodingsDeclaredOrMarked) {
    // windows-1251: "Пуск" is CF F3 F1 EA.
    LoadOk("<?xml version=\"1.0\" encoding=\"windows-1251\"?><r n=\"\xCF\xF3\xF1\xEA\">\xCF\xF3\xF1\xEA</r>");
    Ref<IXmlElement> root;
    Root(&root);
    EXPECT_EQ(TextOf(root.get()), u"Пуск");
    std::u16string v;
    EXPECT_EQ(root->getAttribute(u"n", &v), S_OK);
    EXPECT_EQ(v, u"Пуск");
    root.reset();

    const std::u16string doc16 = u"<?xml version=\"1.0\" encoding=\"UTF-16\"?><r>Пуск ∑</r>";
    std::string le("\xFF\xFE", 2), be("\xFE\xFF", 2);
    for (char16_t c : doc16) {
        le += char(c & 0xFF), le += char(c >> 8);
        be += char(c >> 8), be += char(c & 0xFF);
    }
    for (const std::string* bytes : {&le, &be}) {
        LoadOk(*bytes);
        Root(&root);
        EXPECT_EQ(TextOf(root.get()), u"Пуск ∑");
        root.reset();
    }

    LoadOk("\xEF\xBB\xBF<r>\xC3\xA9t\xC3\xA9</r>");
    Root(&root);
    EXPECT_EQ(TextOf(root.get()), u"été");
    root.reset();
    LoadOk("<?xml version=\"1.0\" encoding=\"ISO-8859-7\"?><r>\xE1</r>");
    Root(&root);
    EXPECT_EQ(TextOf(root.get()), u"α");
}

// White-space-only text nodes are dropped; node text is trimmed; attribute values are not.
TEST_F(XmlDomTest, WhiteSpaceRules) {
    LoadOk("<r>\n  <a k=\"  two  \">  x  <b> y </b>\t</a>\n  <c>   </c>\r\n</r>");
    Ref<IXmlElement> root;
    Root(&root);
    Ref<IXmlNodeList> kids;
    ASSERT_EQ(root->get_childNodes(&kids), S_OK);
    EXPECT_EQ(Names(kids.get()), (std::vector<std::u16string>{u"a", u"c"}));

    Ref<IXmlNode> a, c;
    ASSERT_EQ(kids->get_item(0, &a), S_OK);
    ASSERT_EQ(kids->get_item(1, &c), S_OK);
    // "  x  " and " y " keep their inner spaces; the whole is trimmed at its ends.
    EXPECT_EQ(TextOf(a.get()), u"x   y");
    Ref<IXmlNodeList> cKids;
    ASSERT_EQ(c->get_childNodes(&cKids), S_OK);
    LONG n = -1;
    EXPECT_EQ(cKids->get_length(&n), S_OK);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(TextOf(c.get()), u"");

    Ref<IXmlNodeList> attrs;
    ASSERT_EQ(a->get_attributes(&attrs), S_OK);
    Ref<IXmlNode> k;
    ASSERT_EQ(attrs->get_item(0, &k), S_OK);
    EXPECT_EQ(TextOf(k.get()), u"  two  ");

    // A text child of a text-only element is trimmed when asked for on its own, too.
    Ref<IXmlNodeList> aKids;
    ASSERT_EQ(a->get_childNodes(&aKids), S_OK);
    Ref<IXmlNode> t;
    ASSERT_EQ(aKids->get_item(0, &t), S_OK);
    EXPECT_EQ(TextOf(t.get()), u"x");
}

// A document that does not parse loads as S_FALSE with a false flag and leaves it empty.
TEST_F(XmlDomTest, BrokenDocumentsGiveSFalse) {
    LoadOk("<r/>");
    for (std::string bad : {std::string("<r><a></r>"), std::string(""), std::string("plain"),
                            std::string("<r/><s/>"), std::string("<?xml version=\"1.0\" encoding=\"no-such\"?><r/>"),
                            std::string("<r>\xFF\xFE\xFD</r>")}) {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(Load(m_doc.get(), bad, &ok), S_FALSE) << bad;
        EXPECT_EQ(ok, VARIANT_FALSE) << bad;
        IXmlElement* root = reinterpret_cast<IXmlElement*>(0xdeadbeef);
        EXPECT_EQ(m_doc->get_documentElement(&root), S_FALSE);
        EXPECT_EQ(root, nullptr);
    }
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(m_doc->load(nullptr, 3, &ok), E_INVALIDARG);
    EXPECT_EQ(ok, 7);
    EXPECT_EQ(m_doc->loadStream(nullptr, &ok), E_INVALIDARG);
}

// A failed load keeps the parser's first error with its line and column, and a later good load
// forgets it; nodes know the line they start on, and a copy keeps its original's.
TEST_F(XmlDomTest, ParseErrorsAndSourceLines) {
    XmlParseError error{-1, -1, u"untouched"};
    EXPECT_EQ(m_doc->get_parseError(&error), S_FALSE);
    VARIANT_BOOL ok = 7;
    EXPECT_EQ(Load(m_doc.get(), "<r>\n<a>\n</r>\n", &ok), S_FALSE);
    ASSERT_EQ(m_doc->get_parseError(&error), S_OK);
    EXPECT_EQ(error.line, 3);
    EXPECT_EQ(error.column, 5);
    EXPECT_NE(error.reason.find(u"mismatch"), std::u16string::npos) << ToUtf8(error.reason);
    EXPECT_EQ(Load(m_doc.get(), "", &ok), S_FALSE);
    ASSERT_EQ(m_doc->get_parseError(&error), S_OK);
    EXPECT_FALSE(error.reason.empty());

    LoadOk("<r>\n\n  <a/>\n  <b>\n    <c/>\n  </b>\n</r>");
    error = XmlParseError{-1, -1, u"untouched"};
    EXPECT_EQ(m_doc->get_parseError(&error), S_FALSE);
    EXPECT_EQ(error.line, -1);
    Ref<IXmlNode> c, copy;
    ASSERT_EQ(m_doc->selectSingleNode(u"//c", &c), S_OK);
    LONG line = -1;
    EXPECT_EQ(c->get_sourceLine(&line), S_OK);
    EXPECT_EQ(line, 5);
    ASSERT_EQ(c->cloneNode(TRUE, &copy), S_OK);
    EXPECT_EQ(copy->get_sourceLine(&line), S_OK);
    EXPECT_EQ(line, 5);
    EXPECT_EQ(m_doc->get_sourceLine(&line), S_OK);
    EXPECT_EQ(line, 0);
}

// Child nodes carry their platform types and names; attributes come in document order.
TEST_F(XmlDomTest, NodeTypesNamesAndAttributeOrder) {
    LoadOk("<?xml version=\"1.0\"?><?pi data?><r><!-- c --><![CDATA[ <raw> ]]>t<?go now?><e/>"
           "<z zeta=\"1\" alpha=\"2\" Mid=\"3\" p:q=\"4\" xmlns:p=\"urn:p\"/></r>");
    Ref<IXmlNodeList> top;
    ASSERT_EQ(m_doc->get_childNodes(&top), S_OK);
    EXPECT_EQ(Names(top.get()), (std::vector<std::u16string>{u"pi", u"r"}));

    Ref<IXmlElement> root;
    Root(&root);
    Ref<IXmlNodeList> kids;
    ASSERT_EQ(root->get_childNodes(&kids), S_OK);
    EXPECT_EQ(Names(kids.get()),
              (std::vector<std::u16string>{u"#comment", u"#cdata-section", u"#text", u"go", u"e", u"z"}));
    const DOMNodeType types[] = {NODE_COMMENT, NODE_CDATA_SECTION, NODE_TEXT, NODE_PROCESSING_INSTRUCTION,
                                 NODE_ELEMENT, NODE_ELEMENT};
    for (LONG i = 0; i < 6; ++i) {
        Ref<IXmlNode> n;
        ASSERT_EQ(kids->get_item(i, &n), S_OK);
        DOMNodeType t = NODE_INVALID;
        EXPECT_EQ(n->get_nodeType(&t), S_OK);
        EXPECT_EQ(t, types[i]) << i;
    }
    IXmlNode* none = reinterpret_cast<IXmlNode*>(0xdeadbeef);
    EXPECT_EQ(kids->get_item(6, &none), S_FALSE);
    EXPECT_EQ(none, nullptr);

    // CDATA counts towards the element's text; comments and instructions do not.
    EXPECT_EQ(TextOf(root.get()), u"<raw> t");

    Ref<IXmlNode> z, comment;
    ASSERT_EQ(kids->get_item(5, &z), S_OK);
    ASSERT_EQ(kids->get_item(0, &comment), S_OK);
    Ref<IXmlNodeList> attrs;
    ASSERT_EQ(z->get_attributes(&attrs), S_OK);
    EXPECT_EQ(Names(attrs.get()), (std::vector<std::u16string>{u"zeta", u"alpha", u"Mid", u"p:q"}));
    IXmlNodeList* noAttrs = reinterpret_cast<IXmlNodeList*>(0xdeadbeef);
    EXPECT_EQ(comment->get_attributes(&noAttrs), S_FALSE);
    EXPECT_EQ(noAttrs, nullptr);
    IXmlElement* notElement = reinterpret_cast<IXmlElement*>(0xdeadbeef);
    EXPECT_EQ(comment->QueryElement(&notElement), E_NOINTERFACE);
    EXPECT_EQ(notElement, reinterpret_cast<IXmlElement*>(0xdeadbeef));
}

// getAttribute matches the whole name exactly; setAttribute replaces in place or appends.
TEST_F(XmlDomTest, GetAndSetAttribute) {
    LoadOk("<r a=\"1\" b=\"&amp;x\"/>");
    Ref<IXmlElement> root;
    Root(&root);
    std::u16string v = u"sentinel";
    EXPECT_EQ(root->getAttribute(u"A", &v), S_FALSE);
    EXPECT_EQ(v, u"");
    EXPECT_EQ(root->getAttribute(u"b", &v), S_OK);
    EXPECT_EQ(v, u"&x");
    EXPECT_EQ(root->setAttribute(u"a", u" <new> & "), S_OK);
    EXPECT_EQ(root->setAttribute(u"c", u"3"), S_OK);
    EXPECT_EQ(root->getAttribute(u"a", &v), S_OK);
    EXPECT_EQ(v, u" <new> & ");
    Ref<IXmlNodeList> attrs;
    ASSERT_EQ(root->get_attributes(&attrs), S_OK);
    EXPECT_EQ(Names(attrs.get()), (std::vector<std::u16string>{u"a", u"b", u"c"}));
    EXPECT_EQ(root->setAttribute(u"bad name", u"x"), E_FAIL);
    EXPECT_EQ(root->setAttribute(u"", u"x"), E_FAIL);
    EXPECT_EQ(root->setAttribute(nullptr, u"x"), E_INVALIDARG);
    EXPECT_EQ(root->getAttribute(u"bad name", &v), S_FALSE);
}

// The engine's XPath forms select all elements of a name and the one with a given ID.
TEST_F(XmlDomTest, XPathSelection) {
    LoadOk("<s><description NAME=\"En\"/><LDRename ID=\"3\" TO=\"a\"/>"
           "<If lng=\"409\"><LDRename ID=\"7\" TO=\"b\"/></If><LDRename ID=\"7\" TO=\"c\"/></s>");
    Ref<IXmlNodeList> all;
    ASSERT_EQ(m_doc->selectNodes(u"//LDRename", &all), S_OK);
    LONG n = 0;
    EXPECT_EQ(all->get_length(&n), S_OK);
    EXPECT_EQ(n, 3);

    Ref<IXmlNode> seven;
    ASSERT_EQ(m_doc->selectSingleNode(u"//LDRename[@ID=\"7\"]", &seven), S_OK);
    Ref<IXmlElement> e;
    ASSERT_EQ(seven->QueryElement(&e), S_OK);
    std::u16string to;
    EXPECT_EQ(e->getAttribute(u"TO", &to), S_OK);
    EXPECT_EQ(to, u"b");  // the first in document order

    Ref<IXmlNodeList> ifs, desc;
    ASSERT_EQ(m_doc->selectNodes(u"//If", &ifs), S_OK);
    EXPECT_EQ(Names(ifs.get()), std::vector<std::u16string>{u"If"});
    ASSERT_EQ(m_doc->selectNodes(u"//description", &desc), S_OK);
    EXPECT_EQ(Names(desc.get()), std::vector<std::u16string>{u"description"});

    IXmlNode* none = reinterpret_cast<IXmlNode*>(0xdeadbeef);
    EXPECT_EQ(m_doc->selectSingleNode(u"//LDRename[@ID=\"9\"]", &none), S_FALSE);
    EXPECT_EQ(none, nullptr);
    // Names are case-sensitive in XPath as in XML.
    Ref<IXmlNodeList> lower;
    ASSERT_EQ(m_doc->selectNodes(u"//ldrename", &lower), S_OK);
    EXPECT_EQ(lower->get_length(&n), S_OK);
    EXPECT_EQ(n, 0);

    IXmlNodeList* bad = reinterpret_cast<IXmlNodeList*>(0xdeadbeef);
    EXPECT_EQ(m_doc->selectNodes(u"//[", &bad), E_FAIL);
    EXPECT_EQ(m_doc->selectNodes(u"count(//If)", &bad), E_FAIL);
    EXPECT_EQ(m_doc->selectNodes(nullptr, &bad), E_INVALIDARG);
    EXPECT_EQ(m_doc->selectNodes(std::u16string(host::kMaxXPathUnits + 1, u'a').c_str(), &bad), E_INVALIDARG);
    EXPECT_EQ(bad, reinterpret_cast<IXmlNodeList*>(0xdeadbeef));
}

// An If is resolved as the engine does it: clone its children before it, then remove it.
TEST_F(XmlDomTest, CloneInsertRemove) {
    LoadOk("<s><A/><If lng=\"409\"><B x=\"1\"><C>t</C></B><D/></If><E/><F><If/></F></s>");
    Ref<IXmlElement> root;
    Root(&root);
    Ref<IXmlNode> ifNode;
    ASSERT_EQ(m_doc->selectSingleNode(u"/s/If", &ifNode), S_OK);
    Ref<IXmlNodeList> kids;
    ASSERT_EQ(ifNode->get_childNodes(&kids), S_OK);
    for (LONG i = 0; i < 2; ++i) {
        Ref<IXmlNode> kid, copy;
        ASSERT_EQ(kids->get_item(i, &kid), S_OK);
        ASSERT_EQ(kid->cloneNode(TRUE, &copy), S_OK);
        ASSERT_EQ(root->insertBefore(copy.get(), ifNode.get(), nullptr), S_OK);
    }
    Ref<IXmlNode> removed;
    ASSERT_EQ(root->removeChild(ifNode.get(), &removed), S_OK);
    EXPECT_EQ(removed.get(), ifNode.get());
    Ref<IXmlNodeList> now;
    ASSERT_EQ(root->get_childNodes(&now), S_OK);
    EXPECT_EQ(Names(now.get()), (std::vector<std::u16string>{u"A", u"B", u"D", u"E", u"F"}));
    EXPECT_EQ(TextOf(root.get()), u"t");
    // The deep copy took its attributes; the removed If still holds its own children.
    Ref<IXmlNode> b;
    ASSERT_EQ(m_doc->selectSingleNode(u"/s/B[@x=\"1\"]/C", &b), S_OK);
    EXPECT_EQ(Names(kids.get()), (std::vector<std::u16string>{u"B", u"D"}));

    // A shallow copy has no children.
    Ref<IXmlNode> shallow;
    ASSERT_EQ(ifNode->cloneNode(FALSE, &shallow), S_OK);
    Ref<IXmlNodeList> none;
    ASSERT_EQ(shallow->get_childNodes(&none), S_OK);
    LONG n = -1;
    EXPECT_EQ(none->get_length(&n), S_OK);
    EXPECT_EQ(n, 0);

    // A nested If is no child of the root: neither insertion before it nor removal works.
    Ref<IXmlNode> nested, e;
    ASSERT_EQ(m_doc->selectSingleNode(u"//F/If", &nested), S_OK);
    ASSERT_EQ(m_doc->selectSingleNode(u"//E", &e), S_OK);
    EXPECT_EQ(root->insertBefore(e.get(), nested.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(root->removeChild(nested.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(root->removeChild(ifNode.get(), nullptr), E_INVALIDARG);  // already removed
    // A node cannot go below itself, and the document holds one element.
    Ref<IXmlNode> f;
    ASSERT_EQ(m_doc->selectSingleNode(u"//F", &f), S_OK);
    EXPECT_EQ(nested->insertBefore(f.get(), nullptr, nullptr), E_FAIL);
    EXPECT_EQ(m_doc->insertBefore(e.get(), nullptr, nullptr), E_FAIL);
    // Moving an existing node and appending with no reference node.
    ASSERT_EQ(root->insertBefore(e.get(), nullptr, nullptr), S_OK);

    Ref<IXmlNodeList> last;
    ASSERT_EQ(root->get_childNodes(&last), S_OK);
    EXPECT_EQ(Names(last.get()), (std::vector<std::u16string>{u"A", u"B", u"D", u"F", u"E"}));
}

// Adjacent text nodes are not merged by an insertion, so a held text node stays usable.
TEST_F(XmlDomTest, InsertedTextStaysItsOwnNode) {
    LoadOk("<r>one<b/></r>");
    Ref<IXmlElement> root;
    Root(&root);
    Ref<IXmlNode> text, copy;
    ASSERT_EQ(m_doc->selectSingleNode(u"/r/text()", &text), S_OK);
    ASSERT_EQ(text->cloneNode(TRUE, &copy), S_OK);
    ASSERT_EQ(root->insertBefore(copy.get(), text.get(), nullptr), S_OK);
    EXPECT_EQ(TextOf(copy.get()), u"one");
    EXPECT_EQ(TextOf(root.get()), u"oneone");
}

// Nodes and lists stay valid after their document is released or loaded again.
TEST_F(XmlDomTest, NodesOutliveTheirDocument) {
    LoadOk("<r><a k=\"v\">x</a></r>");
    Ref<IXmlNodeList> list;
    ASSERT_EQ(m_doc->selectNodes(u"//a", &list), S_OK);
    Ref<IXmlNode> removed, a;
    ASSERT_EQ(list->get_item(0, &a), S_OK);
    Ref<IXmlElement> root;
    Root(&root);
    ASSERT_EQ(root->removeChild(a.get(), nullptr), S_OK);
    LoadOk("<other/>");
    m_doc.reset();
    EXPECT_EQ(TextOf(a.get()), u"x");
    Ref<IXmlElement> ae;
    ASSERT_EQ(a->QueryElement(&ae), S_OK);
    std::u16string v;
    EXPECT_EQ(ae->getAttribute(u"k", &v), S_OK);
    EXPECT_EQ(v, u"v");
    // A node of the old content is foreign to the new one.
    Ref<IXmlDocument> other;
    ASSERT_EQ(CreateXmlDocument(&other), S_OK);
    VARIANT_BOOL ok;
    ASSERT_EQ(Load(other.get(), "<n/>", &ok), S_OK);
    Ref<IXmlElement> otherRoot;
    ASSERT_EQ(other->get_documentElement(&otherRoot), S_OK);
    EXPECT_EQ(otherRoot->insertBefore(a.get(), nullptr, nullptr), E_INVALIDARG);
}

// Documents that reach outside themselves are refused; internal entities still load.
TEST_F(XmlDomTest, OutsideEntitiesRefused) {
    const char* refused[] = {
        "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>",
        "<!DOCTYPE r [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]><r/>",
        "<!DOCTYPE r SYSTEM \"file:///etc/passwd\"><r/>",
        "<!DOCTYPE r [<!ENTITY x PUBLIC \"-//X//EN\" \"http://127.0.0.1:9/x\">]><r>&x;</r>",
    };
    for (const char* text : refused) {
        VARIANT_BOOL ok = 7;
        EXPECT_EQ(Load(m_doc.get(), text, &ok), S_FALSE) << text;
        EXPECT_EQ(ok, VARIANT_FALSE);
        Ref<IXmlNodeList> all;
        ASSERT_EQ(m_doc->selectNodes(u"//*", &all), S_OK);
        LONG n = -1;
        EXPECT_EQ(all->get_length(&n), S_OK);
        EXPECT_EQ(n, 0);
    }
    LoadOk("<!DOCTYPE r [<!ENTITY co \"Vexor &amp; Co\">]><r a=\"1\"> &co; </r>");
    Ref<IXmlElement> root;
    Root(&root);
    std::u16string text = TextOf(root.get());
    EXPECT_EQ(text, u"Vexor & Co");
    EXPECT_EQ(text.find(u"root:"), std::u16string::npos);
}

// loadStream reads to the end and passes a read failure on.
class ChunkStream final : public ISequentialStream {
public:
    ChunkStream(std::string bytes, HRESULT failWith) : m_bytes(std::move(bytes)), m_fail(failWith) {}
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT Read(void* buffer, ULONG size, ULONG* read) override {
        if (m_pos >= m_bytes.size() && FAILED(m_fail)) return m_fail;
        ULONG n = std::min<ULONG>({size, 3, static_cast<ULONG>(m_bytes.size() - m_pos)});
        std::copy_n(m_bytes.data() + m_pos, n, static_cast<char*>(buffer));
        m_pos += n;
        *read = n;
        return S_OK;
    }
    HRESULT Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }

private:
    std::string m_bytes;
    size_t m_pos = 0;
    HRESULT m_fail;
};

TEST_F(XmlDomTest, LoadFromStream) {
    ChunkStream good("<r><a>hello</a></r>", S_OK);
    VARIANT_BOOL ok = 7;
    ASSERT_EQ(m_doc->loadStream(&good, &ok), S_OK);
    EXPECT_EQ(ok, VARIANT_TRUE);
    EXPECT_EQ(TextOf(m_doc.get()), u"hello");
    ChunkStream failing("<r>", E_ACCESSDENIED);
    ok = 7;
    EXPECT_EQ(m_doc->loadStream(&failing, &ok), E_ACCESSDENIED);
    EXPECT_EQ(ok, 7);
}

}  // namespace
