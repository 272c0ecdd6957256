// The XML DOM as the script engine and the applet use it: load a document from bytes or a
// stream, walk its nodes, select nodes by XPath, read and write attributes, clone, insert and
// remove. Every object is reference counted and starts with one reference; a node keeps its
// document alive, so nodes and lists stay valid after the document object is released.
//
// Loading follows the device DOM: text nodes that hold only white space are dropped, node text
// comes back trimmed of leading and trailing white space (attribute values keep theirs), and a
// document that does not parse makes the load return S_FALSE with its success flag false.
// Documents that reach outside themselves (external entities, an external DTD) do not load.
// Failures are negative HRESULTs; out parameters are left untouched when a call fails.
#pragma once

#include <string>

#include "com.h"

// Node types, numbered as the platform's DOM numbers them.
enum DOMNodeType {
    NODE_INVALID = 0,
    NODE_ELEMENT = 1,
    NODE_ATTRIBUTE = 2,
    NODE_TEXT = 3,
    NODE_CDATA_SECTION = 4,
    NODE_ENTITY_REFERENCE = 5,
    NODE_ENTITY = 6,
    NODE_PROCESSING_INSTRUCTION = 7,
    NODE_COMMENT = 8,
    NODE_DOCUMENT = 9,
    NODE_DOCUMENT_TYPE = 10,
    NODE_DOCUMENT_FRAGMENT = 11,
    NODE_NOTATION = 12,
};

struct IXmlNode;
struct IXmlElement;

struct IXmlObject {
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IXmlObject() = default;
};

// A list fixed when it is obtained: later changes to the tree do not alter it.
struct IXmlNodeList : IXmlObject {
    virtual HRESULT get_length(LONG* length) = 0;
    // S_FALSE with a null node when index is outside the list.
    virtual HRESULT get_item(LONG index, IXmlNode** node) = 0;

protected:
    ~IXmlNodeList() = default;
};

struct IXmlNode : IXmlObject {
    virtual HRESULT get_nodeType(DOMNodeType* type) = 0;
    // Qualified names for elements and attributes; "#text", "#comment", "#cdata-section",
    // "#document" for the others; the target for a processing instruction.
    virtual HRESULT get_nodeName(std::u16string* name) = 0;
    // The text of the node and its descendants, trimmed; an attribute's value as written.
    virtual HRESULT get_text(std::u16string* text) = 0;
    virtual HRESULT get_childNodes(IXmlNodeList** children) = 0;
    // The attribute nodes of an element in document order; S_FALSE with null for other nodes.
    virtual HRESULT get_attributes(IXmlNodeList** attributes) = 0;
    // XPath 1.0 with this node as the context. An expression that is not valid, or that does
    // not give nodes, fails with E_FAIL. selectSingleNode gives S_FALSE with null when nothing
    // matches.
    virtual HRESULT selectNodes(LPCWSTR query, IXmlNodeList** nodes) = 0;
    virtual HRESULT selectSingleNode(LPCWSTR query, IXmlNode** node) = 0;
    // The copy belongs to the same document and has no parent until it is inserted.
    virtual HRESULT cloneNode(BOOL deep, IXmlNode** clone) = 0;
    // Moves newChild (of this document) before refChild, a child of this node, or to the end
    // when refChild is null. E_INVALIDARG when refChild is not a child or newChild is foreign;
    // E_FAIL when the insertion would make newChild its own ancestor or cannot hold that node.
    // inserted may be null.
    virtual HRESULT insertBefore(IXmlNode* newChild, IXmlNode* refChild, IXmlNode** inserted) = 0;
    // E_INVALIDARG when child is not a child of this node. removed may be null.
    virtual HRESULT removeChild(IXmlNode* child, IXmlNode** removed) = 0;
    // The element view of this node; E_NOINTERFACE for other node types.
    virtual HRESULT QueryElement(IXmlElement** element) = 0;
    // The line of the loaded text the node starts on, counted from 1; a copy keeps its
    // original's line. 0 for a node that came from no text. An addition of this platform for
    // authors' tools: the device's DOM has no such call.
    virtual HRESULT get_sourceLine(LONG* line) = 0;

protected:
    ~IXmlNode() = default;
};

struct IXmlElement : IXmlNode {
    // S_OK with the value; S_FALSE with an empty value when the attribute is absent.
    virtual HRESULT getAttribute(LPCWSTR name, std::u16string* value) = 0;
    // Creates or replaces; E_FAIL when name is not a valid XML name.
    virtual HRESULT setAttribute(LPCWSTR name, LPCWSTR value) = 0;

protected:
    ~IXmlElement() = default;
};

// Why the last load failed, as the parser said it; line and column count from 1, 0 when unknown.
struct XmlParseError {
    LONG line = 0;
    LONG column = 0;
    std::u16string reason;
};

struct IXmlDocument : IXmlNode {
    // Replaces the content with the document in the bytes, whose encoding the bytes declare.
    // S_OK and VARIANT_TRUE when it loaded; S_FALSE and VARIANT_FALSE when it does not parse
    // or is refused (the previous content is then gone).
    virtual HRESULT load(const void* bytes, size_t size, VARIANT_BOOL* success) = 0;
    // Reads the stream to its end first; a read failure is returned as it came.
    virtual HRESULT loadStream(ISequentialStream* stream, VARIANT_BOOL* success) = 0;
    // S_FALSE with null when the document is empty.
    virtual HRESULT get_documentElement(IXmlElement** root) = 0;
    // S_OK with the reason the last load failed; S_FALSE, error untouched, when it loaded or
    // nothing was loaded yet.
    virtual HRESULT get_parseError(XmlParseError* error) = 0;

protected:
    ~IXmlDocument() = default;
};

// A new empty document with one reference.
HRESULT CreateXmlDocument(IXmlDocument** document);
