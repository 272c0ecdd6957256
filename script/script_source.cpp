#include "script/script_source.h"

#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr DWORD kUrlPartUnits = 256;

bool HasPrefix(const WCHAR* text, const WCHAR* prefix) {
    size_t n = wcslen(prefix);
    return _wcsnicmp(text, prefix, n) == 0;
}

// The host, path and port of a network source, as the address writes them.
struct UrlParts {
    WCHAR host[kUrlPartUnits] = {};
    WCHAR path[kUrlPartUnits] = {};
    INTERNET_PORT port = 0;
};

bool CrackSource(const WCHAR* source, UrlParts* parts) {
    URL_COMPONENTSW components = {};
    components.dwStructSize = sizeof(components);
    components.lpszHostName = parts->host;
    components.dwHostNameLength = kUrlPartUnits;
    components.lpszUrlPath = parts->path;
    components.dwUrlPathLength = kUrlPartUnits;
    if (!InternetCrackUrlW(source, 0, ICU_ESCAPE, &components))
        return false;
    parts->port = components.nPort;
    return true;
}

}  // namespace

HRESULT ScriptStream::QueryInterface(REFIID riid, void** object) {
    if (!object)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IStream) {
        AddRef();
        *object = static_cast<IStream*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG ScriptStream::AddRef() {
    return static_cast<ULONG>(++m_refs);
}

ULONG ScriptStream::Release() {
    LONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

HRESULT ScriptStream::Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) {
    return E_NOTIMPL;
}
HRESULT ScriptStream::SetSize(ULARGE_INTEGER) {
    return E_NOTIMPL;
}
HRESULT ScriptStream::CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) {
    return E_NOTIMPL;
}
HRESULT ScriptStream::Commit(DWORD) {
    return E_NOTIMPL;
}
HRESULT ScriptStream::Revert() {
    return E_NOTIMPL;
}
HRESULT ScriptStream::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return E_NOTIMPL;
}
HRESULT ScriptStream::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) {
    return E_NOTIMPL;
}
HRESULT ScriptStream::Stat(STATSTG*, DWORD) {
    return E_NOTIMPL;
}
HRESULT ScriptStream::Clone(IStream**) {
    return E_NOTIMPL;
}

FileScriptStream::~FileScriptStream() {
    if (m_file)
        fclose(m_file);
}

int FileScriptStream::Open(const WCHAR* source, int forReading) {
    m_forReading = forReading;
    const WCHAR* path = source;
    if (HasPrefix(source, u"FILE://"))
        path = source + 7;
    else if (HasPrefix(source, u"FILE:"))
        path = source + 5;
    m_file = _wfopen(path, forReading ? u"rb" : u"wb");
    return m_file != nullptr;
}

int FileScriptStream::Close() {
    if (!m_file)
        return 0;
    int result = fclose(m_file);
    m_file = nullptr;
    return result == 0;
}

HRESULT FileScriptStream::Read(void* buffer, ULONG size, ULONG* read) {
    if (m_forReading != 1 || !m_file)
        return S_FALSE;
    if (size == 0)
        return S_OK;
    size_t n = fread(buffer, 1, size, m_file);
    if (read)
        *read = static_cast<ULONG>(n);
    return n > 0 ? S_OK : S_FALSE;
}

HRESULT FileScriptStream::Write(const void* buffer, ULONG size, ULONG* written) {
    if (m_forReading == 1 || !m_file)
        return S_FALSE;
    size_t n = fwrite(buffer, 1, size, m_file);
    if (written)
        *written = static_cast<ULONG>(n);
    return n > 0 ? S_OK : S_FALSE;
}

InternetScriptStream::~InternetScriptStream() {
    Close();
}

int InternetScriptStream::Close() {
    for (HINTERNET* handle : {&m_transfer, &m_connection, &m_internet}) {
        if (*handle) {
            InternetCloseHandle(*handle);
            *handle = nullptr;
        }
    }
    return 1;
}

HRESULT InternetScriptStream::Read(void* buffer, ULONG size, ULONG* read) {
    if (!m_transfer)
        return E_FAIL;
    DWORD count = 0;
    // A failed read ends the data early; the reader then sees a short document.
    InternetReadFile(m_transfer, buffer, size, &count);
    if (read)
        *read = count;
    return S_OK;
}

HRESULT InternetScriptStream::Write(const void*, ULONG, ULONG*) {
    return E_NOTIMPL;
}

// A stream that cannot read is refused here: reporting E_NOTIMPL, a nonzero value, would pass
// for success and hand back a stream with nothing behind it.
int FtpScriptStream::Open(const WCHAR* source, int forReading) {
    if (!forReading)
        return 0;
    m_internet = InternetOpenW(u"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!m_internet)
        return 0;
    UrlParts url;
    if (!CrackSource(source, &url))
        return 0;
    m_connection = InternetConnectW(m_internet, url.host, url.port ? url.port : INTERNET_DEFAULT_FTP_PORT, nullptr,
                                    nullptr, INTERNET_SERVICE_FTP, 0, 0);
    if (!m_connection)
        return 0;
    m_transfer = FtpOpenFileW(m_connection, url.path, GENERIC_READ,
                              FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_NO_CACHE_WRITE, 0);
    return m_transfer != nullptr;
}

int HttpScriptStream::Open(const WCHAR* source, int forReading) {
    if (!forReading)
        return 0;
    m_internet = InternetOpenW(u"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (!m_internet)
        return 0;
    UrlParts url;
    if (!CrackSource(source, &url))
        return 0;
    m_connection = InternetConnectW(m_internet, url.host, url.port ? url.port : INTERNET_DEFAULT_HTTP_PORT, nullptr,
                                    nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    if (!m_connection)
        return 0;
    m_transfer = HttpOpenRequestW(m_connection, u"GET", url.path, nullptr, nullptr, nullptr,
                                  INTERNET_FLAG_NO_CACHE_WRITE, 0);
    if (!m_transfer)
        return 0;
    return HttpSendRequestW(m_transfer, nullptr, 0, nullptr, 0) == TRUE;
}

ScriptStream* OpenScriptStream(const WCHAR* source, int forReading) {
    if (!source)
        return nullptr;
    ScriptStream* stream;
    if (HasPrefix(source, u"HTTP:"))
        stream = new HttpScriptStream;
    else if (HasPrefix(source, u"FTP:"))
        stream = new FtpScriptStream;
    else
        stream = new FileScriptStream;
    if (!stream->Open(source, forReading)) {
        stream->Release();
        return nullptr;
    }
    return stream;
}
