// CLPA: a growable array of (value, extra) word pairs, used for lists of heap pointers whose
// extra word is 0. The field order and growth rules are shared with the code that reads the
// lists, so they are kept exactly: the first add allocates growStep + 1 entries, an add beyond
// the capacity reallocates to count + growStep entries (exactly one more with a step of 0).
#pragma once

#include "platform/wintypes.h"

struct CLPAEntry {
    uintptr_t value;
    uintptr_t extra;
};

struct CLPA {
    CLPAEntry* m_pEntries = nullptr;
    int m_nCount = 0;
    int m_nCapacity = 0;
    int m_nGrowStep = 0;
    int m_nMaxStrLen = 0;

    // Appends an entry; FALSE (after the "CLPA: alloc error!" or "CLPA: realloc error!" message)
    // when memory runs out, in which case nothing is added.
    BOOL Add(uintptr_t value, uintptr_t extra = 0);
    // Appends a heap copy of text (released by FreeAll) and updates the longest length.
    BOOL AddString(const WCHAR* text);
    // Removes the entry at index; later entries move down. Does not free what it points to.
    BOOL RemoveAt(int index);
    // Frees every entry whose value or extra word is non-zero, then the array.
    void FreeAll();
    // Frees only the array.
    void Clear();

    int GetCount() const { return m_nCount; }
    uintptr_t GetAt(int index) const { return m_pEntries[index].value; }
    const WCHAR* GetString(int index) const { return reinterpret_cast<const WCHAR*>(m_pEntries[index].value); }
};
