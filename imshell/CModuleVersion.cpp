#include "CModuleVersion.h"

#include <cstring>

#include "platform/text.h"

namespace {

constexpr DWORD kFixedSignature = 0xFEEF04BD;

}  // namespace

BOOL CModuleVersion::LoadVersionInfo(LPCWSTR path) {
    m_wCodePage = 1252;
    m_FixedInfo = VS_FIXEDFILEINFO{};
    m_Block.clear();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &handle);
    if (size == 0) return FALSE;
    m_Block.resize(size);
    if (!GetFileVersionInfoW(path, handle, size, m_Block.data())) {
        m_Block.clear();
        return FALSE;
    }
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(m_Block.data(), u"\\", &value, &length) && value && length >= sizeof m_FixedInfo)
        std::memcpy(&m_FixedInfo, value, sizeof m_FixedInfo);
    if (VerQueryValueW(m_Block.data(), u"\\VarFileInfo\\Translation", &value, &length) && value && length >= 4) {
        WORD pair[2];
        std::memcpy(pair, value, sizeof pair);
        m_wLanguage = pair[0];
        m_wCodePage = pair[1];
    }
    return m_FixedInfo.dwSignature == kFixedSignature;
}

std::u16string CModuleVersion::QueryString(LPCWSTR name) const {
    if (m_Block.empty() || !name) return {};
    const std::u16string query = FormatW(u"\\StringFileInfo\\%04x%04x\\%s", m_wLanguage, m_wCodePage, name);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(m_Block.data(), query.c_str(), &value, &length) || !value) return {};
    std::u16string text(static_cast<const WCHAR*>(value), length);
    return text.substr(0, text.find(u'\0'));
}
