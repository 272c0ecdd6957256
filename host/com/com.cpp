// The COM calls of the platform: interface identifiers, GUID text, the task allocator, BSTRs,
// and class creation, which the installed device's ComRuntime carries out.
#include "platform/com.h"

#include <cstdlib>
#include <cstring>

#include "host/com/com_runtime.h"
#include "host/kernel/device.h"
#include "platform/sip.h"
#include "platform/text.h"

const IID IID_IUnknown = DEFINE_GUID_VALUE(0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
const IID IID_IClassFactory =
    DEFINE_GUID_VALUE(0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
const IID IID_ISequentialStream =
    DEFINE_GUID_VALUE(0x0C733A30, 0x2A1C, 0x11CE, 0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D);
const IID IID_IStream = DEFINE_GUID_VALUE(0x0000000C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
const IID IID_IInputMethod =
    DEFINE_GUID_VALUE(0x42429666, 0xAE04, 0x11D0, 0xA4, 0xF8, 0x00, 0xAA, 0x00, 0xA7, 0x49, 0xB9);
const IID IID_IInputMethod2 =
    DEFINE_GUID_VALUE(0x0576F2E1, 0xAA6B, 0x11D2, 0xA1, 0x46, 0x00, 0x00, 0xF8, 0x75, 0x72, 0x70);
const IID IID_IIMCallback =
    DEFINE_GUID_VALUE(0x42429669, 0xAE04, 0x11D0, 0xA4, 0xF8, 0x00, 0xAA, 0x00, 0xA7, 0x49, 0xB9);
const GUID GUID_NULL = DEFINE_GUID_VALUE(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);

namespace {

// Length of "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" without the terminator.
constexpr int kGuidTextLength = 38;

int HexValue(WCHAR c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at text[pos]; false when any is not a hex digit.
bool ReadHex(LPCWSTR text, int pos, int digits, uint32_t* value) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        int d = HexValue(text[pos + i]);
        if (d < 0) return false;
        v = v * 16 + static_cast<uint32_t>(d);
    }
    *value = v;
    return true;
}

// The braced form only, checked completely before anything is written to the result.
bool ParseGuid(LPCWSTR text, GUID* guid) {
    for (int i = 0; i <= kGuidTextLength; ++i) {
        bool isEnd = i == kGuidTextLength;
        if (isEnd != (text[i] == 0)) return false;
    }
    if (text[0] != '{' || text[9] != '-' || text[14] != '-' || text[19] != '-' || text[24] != '-' ||
        text[37] != '}')
        return false;
    GUID g;
    uint32_t v;
    if (!ReadHex(text, 1, 8, &v)) return false;
    g.Data1 = v;
    if (!ReadHex(text, 10, 4, &v)) return false;
    g.Data2 = static_cast<uint16_t>(v);
    if (!ReadHex(text, 15, 4, &v)) return false;
    g.Data3 = static_cast<uint16_t>(v);
    static const int kBytePositions[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ReadHex(text, kBytePositions[i], 2, &v)) return false;
        g.Data4[i] = static_cast<uint8_t>(v);
    }
    *guid = g;
    return true;
}

HRESULT GuidFromString(LPCWSTR text, GUID* guid) {
    if (!guid) return E_INVALIDARG;
    // As on the platform, no text names the null class.
    if (!text) {
        *guid = GUID_NULL;
        return S_OK;
    }
    return ParseGuid(text, guid) ? S_OK : CO_E_CLASSSTRING;
}

HRESULT StringFromGuid(const GUID& guid, LPWSTR* text) {
    if (!text) return E_INVALIDARG;
    *text = static_cast<LPWSTR>(CoTaskMemAlloc((kGuidTextLength + 1) * sizeof(WCHAR)));
    if (!*text) return E_OUTOFMEMORY;
    StringFromGUID2(guid, *text, kGuidTextLength + 1);
    return S_OK;
}

host::ComRuntime* Runtime() {
    host::Device* device = host::CurrentDevice();
    return device ? &device->Com() : nullptr;
}

// A BSTR is preceded by its length in bytes, as a 32-bit count.
constexpr size_t kBstrPrefix = sizeof(DWORD);
// The device cannot hold a string of 2 GB or more.
constexpr size_t kBstrMaxBytes = 0x7FFFFFF0;

}  // namespace

HRESULT CLSIDFromString(LPCWSTR text, CLSID* clsid) { return GuidFromString(text, clsid); }
HRESULT IIDFromString(LPCWSTR text, IID* iid) { return GuidFromString(text, iid); }
HRESULT StringFromCLSID(REFCLSID clsid, LPWSTR* text) { return StringFromGuid(clsid, text); }
HRESULT StringFromIID(REFIID iid, LPWSTR* text) { return StringFromGuid(iid, text); }

int StringFromGUID2(REFGUID guid, LPWSTR buffer, int size) {
    if (!buffer || size < kGuidTextLength + 1) return 0;
    swprintf16(buffer, static_cast<size_t>(size), u"{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", guid.Data1,
               guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4],
               guid.Data4[5], guid.Data4[6], guid.Data4[7]);
    return kGuidTextLength + 1;
}

LPVOID CoTaskMemAlloc(size_t size) {
    // The task allocator hands out a distinct block even for a size of 0.
    return malloc(size ? size : 1);
}

void CoTaskMemFree(LPVOID p) { free(p); }

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    size_t length = wcslen(text);
    if (length > UINT32_MAX) return nullptr;
    return SysAllocStringLen(text, static_cast<UINT>(length));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    size_t bytes = size_t(length) * sizeof(OLECHAR);
    if (bytes > kBstrMaxBytes) return nullptr;
    auto* block = static_cast<BYTE*>(malloc(kBstrPrefix + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    DWORD prefix = static_cast<DWORD>(bytes);
    memcpy(block, &prefix, kBstrPrefix);
    auto* s = reinterpret_cast<BSTR>(block + kBstrPrefix);
    if (text) memcpy(s, text, bytes);
    else memset(s, 0, bytes);
    s[length] = 0;
    return s;
}

void SysFreeString(BSTR text) {
    if (text) free(reinterpret_cast<BYTE*>(text) - kBstrPrefix);
}

UINT SysStringByteLen(BSTR text) {
    if (!text) return 0;
    DWORD prefix;
    memcpy(&prefix, reinterpret_cast<BYTE*>(text) - kBstrPrefix, kBstrPrefix);
    return prefix;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

HRESULT CoInitializeEx(LPVOID reserved, DWORD flags) {
    if (reserved) return E_INVALIDARG;
    host::ComRuntime* runtime = Runtime();
    if (!runtime) return E_UNEXPECTED;
    return runtime->Initialize(flags);
}

void CoUninitialize() {
    if (host::ComRuntime* runtime = Runtime()) runtime->Uninitialize();
}

void CoFreeUnusedLibraries() {
    if (host::ComRuntime* runtime = Runtime()) runtime->FreeUnusedLibraries();
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID reserved, REFIID riid, LPVOID* object) {
    if (!object) return E_INVALIDARG;
    *object = nullptr;
    // The device's COM has no remote servers, so there is no server information to pass.
    if (reserved) return E_INVALIDARG;
    host::ComRuntime* runtime = Runtime();
    if (!runtime) return CO_E_NOTINITIALIZED;
    return runtime->GetClassObject(clsid, context, riid, object);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, LPVOID* object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    host::ComRuntime* runtime = Runtime();
    if (!runtime) return CO_E_NOTINITIALIZED;
    IClassFactory* factory = nullptr;
    HRESULT hr = runtime->GetClassObject(clsid, context, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    if (FAILED(hr)) return hr;
    hr = factory->CreateInstance(outer, riid, object);
    factory->Release();
    if (FAILED(hr)) *object = nullptr;
    return hr;
}
