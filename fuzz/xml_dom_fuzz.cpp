// Loads arbitrary bytes as a document and walks everything reachable: names, texts, attributes,
// a few selections, and the engine's If resolution (clone, insert, remove). Nothing may crash,
// leak or read freed memory, whatever the bytes declare.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/xmldom.h"

namespace {

void Walk(IXmlNode* node, int depth) {
    std::u16string s;
    DOMNodeType type = NODE_INVALID;
    if (node->get_nodeType(&type) != S_OK || type == NODE_INVALID) abort();
    if (node->get_nodeName(&s) != S_OK || node->get_text(&s) != S_OK) abort();
    IXmlNodeList* attrs = nullptr;
    if (node->get_attributes(&attrs) == S_OK) {
        LONG n = 0;
        attrs->get_length(&n);
        for (LONG i = 0; i < n; ++i) {
            IXmlNode* a = nullptr;
            if (attrs->get_item(i, &a) != S_OK) abort();
            a->get_nodeName(&s);
            a->get_text(&s);
            a->Release();
        }
        attrs->Release();
    }
    if (depth > 64) return;
    IXmlNodeList* kids = nullptr;
    if (node->get_childNodes(&kids) != S_OK) abort();
    LONG n = 0;
    kids->get_length(&n);
    for (LONG i = 0; i < n; ++i) {
        IXmlNode* k = nullptr;
        if (kids->get_item(i, &k) != S_OK) abort();
        Walk(k, depth + 1);
        k->Release();
    }
    kids->Release();
}

// What the engine does with If elements: copies of the children before it, then removal.
void ResolveIfs(IXmlDocument* doc) {
    IXmlElement* root = nullptr;
    if (doc->get_documentElement(&root) != S_OK) return;
    IXmlNodeList* ifs = nullptr;
    if (doc->selectNodes(u"//*[@lng]", &ifs) == S_OK) {
        LONG n = 0;
        ifs->get_length(&n);
        for (LONG i = 0; i < n; ++i) {
            IXmlNode* node = nullptr;
            if (ifs->get_item(i, &node) != S_OK) abort();
            IXmlNodeList* kids = nullptr;
            node->get_childNodes(&kids);
            LONG m = 0;
            kids->get_length(&m);
            for (LONG j = 0; j < m; ++j) {
                IXmlNode* kid = nullptr;
                IXmlNode* copy = nullptr;
                kids->get_item(j, &kid);
                if (kid->cloneNode(TRUE, &copy) == S_OK) {
                    root->insertBefore(copy, node, nullptr);
                    copy->Release();
                }
                kid->Release();
            }
            kids->Release();
            root->removeChild(node, nullptr);
            IXmlElement* e = nullptr;
            if (node->QueryElement(&e) == S_OK) {
                e->setAttribute(u"lng", u"x");
                e->Release();
            }
            node->Release();
        }
        ifs->Release();
    }
    root->Release();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IXmlDocument* doc = nullptr;
    if (CreateXmlDocument(&doc) != S_OK) abort();
    VARIANT_BOOL ok = VARIANT_FALSE;
    HRESULT hr = doc->load(data, size, &ok);
    if ((hr == S_OK) != (ok == VARIANT_TRUE)) abort();
    IXmlNode* any = nullptr;
    if (doc->selectSingleNode(u"//*[@ID=\"7\"]", &any) == S_OK) any->Release();
    ResolveIfs(doc);
    // Walking after the document is released proves that held nodes keep it alive.
    IXmlNodeList* top = nullptr;
    if (doc->get_childNodes(&top) != S_OK) abort();
    doc->Release();
    LONG n = 0;
    top->get_length(&n);
    for (LONG i = 0; i < n; ++i) {
        IXmlNode* node = nullptr;
        top->get_item(i, &node);
        Walk(node, 0);
        node->Release();
    }
    top->Release();
    return 0;
}
