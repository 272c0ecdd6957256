// The version resource of a library file: its fixed file information and the texts of its string
// block in the file's own translation, for the options dialog's about text and captions.
#pragma once

#include <string>
#include <vector>

#include "platform/modules.h"

class CModuleVersion {
public:
    CModuleVersion() = default;
    virtual ~CModuleVersion() = default;

    // Reads the file's version resource; true when its fixed information carries the version
    // signature. A file without one leaves an empty buffer and gives false. Language and code
    // page come from the translation table, else stay 0 and 1252.
    BOOL LoadVersionInfo(LPCWSTR path);
    // The named text of the string block in the loaded translation; empty when nothing is loaded
    // or the block has no such text.
    std::u16string QueryString(LPCWSTR name) const;

    VS_FIXEDFILEINFO m_FixedInfo{};
    std::vector<BYTE> m_Block;
    WORD m_wLanguage = 0;
    WORD m_wCodePage = 1252;
};
