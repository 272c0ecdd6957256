// A stream over memory, as a stream on global memory behaves: it grows on writes, may be sought
// past its end (the gap reads as zeros once written over), and its clones share the bytes but
// keep their own position. The bytes are shared by reference counting, so a clone outlives the
// stream it came from. Objects are not safe for concurrent use, as on the device.
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "host/com/com_runtime.h"

namespace host {

namespace {

// The device addresses 32 bits; a stream never grows past what a ULONG can count.
constexpr ULONGLONG kMaxStreamSize = 0xFFFFFFFFull;

class MemoryStream final : public IStream {
public:
    MemoryStream(std::shared_ptr<std::vector<BYTE>> bytes, ULONGLONG position)
        : m_bytes(std::move(bytes)), m_position(position) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_ISequentialStream || riid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }

    ULONG STDMETHODCALLTYPE Release() override {
        ULONG refs = --m_refs;
        if (refs == 0) delete this;
        return refs;
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override {
        if (!buffer && size) return STG_E_INVALIDPOINTER;
        ULONGLONG available = m_position < m_bytes->size() ? m_bytes->size() - m_position : 0;
        ULONG count = available < size ? static_cast<ULONG>(available) : size;
        if (count) memcpy(buffer, m_bytes->data() + m_position, count);
        m_position += count;
        if (read) *read = count;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG size, ULONG* written) override {
        if (written) *written = 0;
        if (!buffer && size) return STG_E_INVALIDPOINTER;
        if (!size) return S_OK;
        ULONGLONG end = m_position + size;
        if (end > kMaxStreamSize) return STG_E_MEDIUMFULL;
        if (end > m_bytes->size() && !Resize(end)) return STG_E_MEDIUMFULL;
        memcpy(m_bytes->data() + m_position, buffer, size);
        m_position = end;
        if (written) *written = size;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* newPosition) override {
        LONGLONG base;
        switch (origin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(m_position); break;
        case STREAM_SEEK_END: base = static_cast<LONGLONG>(m_bytes->size()); break;
        default: return STG_E_INVALIDFUNCTION;
        }
        // Both terms are bounded (the base by the stream size), so only the offset can overflow.
        LONGLONG target;
        if (__builtin_add_overflow(base, move.QuadPart, &target) || target < 0 ||
            static_cast<ULONGLONG>(target) > kMaxStreamSize)
            return STG_E_INVALIDFUNCTION;
        m_position = static_cast<ULONGLONG>(target);
        if (newPosition) newPosition->QuadPart = m_position;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override {
        if (size.QuadPart > kMaxStreamSize) return STG_E_MEDIUMFULL;
        return Resize(size.QuadPart) ? S_OK : STG_E_MEDIUMFULL;
    }

    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override {
        if (!target) return STG_E_INVALIDPOINTER;
        ULONGLONG available = m_position < m_bytes->size() ? m_bytes->size() - m_position : 0;
        ULONGLONG count = available < size.QuadPart ? available : size.QuadPart;
        ULONG done = 0;
        HRESULT hr = count ? target->Write(m_bytes->data() + m_position, static_cast<ULONG>(count), &done) : S_OK;
        // The source advances by what it read, even when the target took less.
        m_position += count;
        if (read) read->QuadPart = count;
        if (written) written->QuadPart = done;
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (!stat) return STG_E_INVALIDPOINTER;
        // A memory stream has no name, so the name flag changes nothing.
        memset(stat, 0, sizeof(*stat));
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = m_bytes->size();
        stat->grfMode = STGM_READWRITE;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Clone(IStream** stream) override {
        if (!stream) return STG_E_INVALIDPOINTER;
        *stream = new (std::nothrow) MemoryStream(m_bytes, m_position);
        return *stream ? S_OK : E_OUTOFMEMORY;
    }

private:
    ~MemoryStream() = default;

    bool Resize(ULONGLONG size) {
        try {
            m_bytes->resize(static_cast<size_t>(size));
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    std::atomic<ULONG> m_refs{1};
    std::shared_ptr<std::vector<BYTE>> m_bytes;
    ULONGLONG m_position;
};

}  // namespace

IStream* CreateMemoryStream(const void* data, size_t size) {
    if (size > kMaxStreamSize || (!data && size)) return nullptr;
    try {
        auto bytes = std::make_shared<std::vector<BYTE>>(size);
        if (size) memcpy(bytes->data(), data, size);
        return new MemoryStream(std::move(bytes), 0);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace host
