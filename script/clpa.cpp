#include "clpa.h"

#include <cstdlib>
#include <cstring>

#include "platform/text.h"
#include "showmessage.h"

namespace {

// The device cannot allocate a block of 2 GB or more, so an array that large fails to grow here
// as it would there, instead of depending on what the host would grant.
constexpr size_t kMaxEntries = 0x7FFFFFFF / sizeof(CLPAEntry);

}  // namespace

BOOL CLPA::Add(uintptr_t value, uintptr_t extra) {
    if (!m_pEntries) {
        size_t wanted = m_nGrowStep >= 0 ? size_t(m_nGrowStep) + 1 : 0;
        void* p = (wanted && wanted <= kMaxEntries) ? malloc(sizeof(CLPAEntry) * wanted) : nullptr;
        if (!p) {
            ShowMessage(u"CLPA: alloc error!");
            return FALSE;
        }
        m_pEntries = static_cast<CLPAEntry*>(p);
        m_nCapacity = static_cast<int>(wanted);
        m_nCount = 0;
    } else if (m_nCount >= m_nCapacity) {
        // A step of 0 grows by exactly one entry.
        size_t wanted = size_t(m_nCount) + (m_nGrowStep > 0 ? size_t(m_nGrowStep) : 1);
        void* p = wanted <= kMaxEntries ? realloc(m_pEntries, sizeof(CLPAEntry) * wanted) : nullptr;
        if (!p) {
            ShowMessage(u"CLPA: realloc error!");
            return FALSE;
        }
        m_pEntries = static_cast<CLPAEntry*>(p);
        m_nCapacity = static_cast<int>(wanted);
    }
    m_pEntries[m_nCount].value = value;
    m_pEntries[m_nCount].extra = extra;
    ++m_nCount;
    return TRUE;
}

BOOL CLPA::AddString(const WCHAR* text) {
    if (!text) return FALSE;
    WCHAR* copy = _wcsdup(text);
    if (!copy) {
        ShowMessage(u"CLPA: alloc error!");
        return FALSE;
    }
    if (!Add(reinterpret_cast<uintptr_t>(copy))) {
        free(copy);
        return FALSE;
    }
    int len = static_cast<int>(wcslen(copy));
    if (len > m_nMaxStrLen) m_nMaxStrLen = len;
    return TRUE;
}

BOOL CLPA::RemoveAt(int index) {
    if (index < 0 || index >= m_nCount) return FALSE;
    memmove(m_pEntries + index, m_pEntries + index + 1, sizeof(CLPAEntry) * size_t(m_nCount - index - 1));
    --m_nCount;
    return TRUE;
}

void CLPA::FreeAll() {
    for (int i = 0; i < m_nCount; ++i) {
        if (m_pEntries[i].value) free(reinterpret_cast<void*>(m_pEntries[i].value));
        if (m_pEntries[i].extra) free(reinterpret_cast<void*>(m_pEntries[i].extra));
    }
    Clear();
}

void CLPA::Clear() {
    free(m_pEntries);
    m_pEntries = nullptr;
    m_nCount = 0;
    m_nCapacity = 0;
}
