// Drives the type library header reader with arbitrary bytes; whatever it accepts must come back
// as a type library object whose attributes and documentation can be read.
#include "host/modules/typelib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    host::TypeLibHeader header;
    std::string reason;
    if (!host::ParseTypeLibHeader(data, size, &header, &reason)) {
        if (reason.empty()) __builtin_trap();
        return 0;
    }
    ITypeLib* lib = host::CreateTypeLib(header);
    if (!lib) return 0;
    TLIBATTR* attr = nullptr;
    if (lib->GetLibAttr(&attr) == S_OK) lib->ReleaseTLibAttr(attr);
    BSTR name = nullptr, doc = nullptr, file = nullptr;
    if (lib->GetDocumentation(MEMBERID_NIL, &name, &doc, nullptr, &file) == S_OK) {
        SysFreeString(name);
        SysFreeString(doc);
        SysFreeString(file);
    }
    lib->Release();
    return 0;
}
