// The emulator's XML DOM over libxml2 (CreateXmlDocument in platform/xmldom.h). Limits that
// keep hostile input bounded live here so that tests and fuzz targets can reach them.
#pragma once

#include <cstddef>

namespace host {

// A stream is read into memory before it is parsed; a longer one fails with E_OUTOFMEMORY.
constexpr size_t kMaxXmlDocumentBytes = 64u << 20;
// Longer XPath expressions are refused with E_INVALIDARG; the engine's queries stay far below.
constexpr size_t kMaxXPathUnits = 4096;
// Node text gathered through entity references stops here, so that nested entities cannot
// make a short document produce an enormous text.
constexpr size_t kMaxNodeTextBytes = 16u << 20;
constexpr size_t kMaxTextWalkNodes = 1u << 20;

}  // namespace host
