// Script sources: the engine hands the DOM a readable stream instead of a path, so a script can
// come from the object store, an FTP server or an HTTP server alike. OpenScriptStream chooses
// the kind by the prefix of the source ("HTTP:", "FTP:", else a file) and returns the stream
// opened, with one reference. The streams read sequentially only: every positioning call fails
// with E_NOTIMPL, so the reader must not seek.
#pragma once

#include <atomic>

#include "platform/com.h"
#include "platform/inet.h"

class ScriptStream : public IStream {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    // At zero the object deletes itself without calling Close; what it still holds is freed.
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override;
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** stream) override;

    // Nonzero on success.
    virtual int Open(const WCHAR* source, int forReading) = 0;
    virtual int Close() = 0;

protected:
    virtual ~ScriptStream() = default;

private:
    std::atomic<LONG> m_refs{1};
};

// "FILE://path", "FILE:path" (either case) or a bare device path, through the C runtime.
class FileScriptStream : public ScriptStream {
public:
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* written) override;
    int Open(const WCHAR* source, int forReading) override;
    // 1 when a file was open and closed cleanly, else 0.
    int Close() override;

protected:
    ~FileScriptStream() override;

private:
    FILE* m_file = nullptr;
    int m_forReading = 0;
};

// What the FTP and HTTP streams share: the session, connection and transfer handles, reading
// from the transfer, and closing all three (transfer first).
class InternetScriptStream : public ScriptStream {
public:
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* written) override;
    int Close() override;

protected:
    ~InternetScriptStream() override;

    HINTERNET m_internet = nullptr;
    HINTERNET m_connection = nullptr;
    HINTERNET m_transfer = nullptr;
};

// "ftp://host[:port]/path": a binary download. Reading only.
class FtpScriptStream : public InternetScriptStream {
public:
    int Open(const WCHAR* source, int forReading) override;
};

// "http://host[:port]/path": a GET request. Reading only.
class HttpScriptStream : public InternetScriptStream {
public:
    int Open(const WCHAR* source, int forReading) override;
};

// The opened stream with one reference, or null when the source cannot be opened.
ScriptStream* OpenScriptStream(const WCHAR* source, int forReading);
