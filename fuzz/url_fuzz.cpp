// Drives the address cracking behind HTTP and FTP script sources with arbitrary text: it must
// never crash or read past its input, a part that does not fit is reported with the size it
// needs, and what it cracks lies within the address it was given.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/inet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::u16string url(size / 2, u'\0');
    for (size_t i = 0; i < url.size(); ++i) url[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    WCHAR scheme[16], host[256], user[64], password[64], path[1024], extra[1024];
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = 16;
    parts.lpszHostName = host;
    parts.dwHostNameLength = 256;
    parts.lpszUserName = user;
    parts.dwUserNameLength = 64;
    parts.lpszPassword = password;
    parts.dwPasswordLength = 64;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = 1024;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = 1024;
    const DWORD length = static_cast<DWORD>(url.size());
    if (!InternetCrackUrlW(url.c_str(), length, ICU_ESCAPE, &parts)) return 0;
    // Every text part came from the address (the path may grow by escaping: three units a byte).
    const size_t limit = url.size() * 9 + 1;
    for (DWORD n : {parts.dwSchemeLength, parts.dwHostNameLength, parts.dwUserNameLength, parts.dwPasswordLength,
                    parts.dwUrlPathLength, parts.dwExtraInfoLength})
        if (n > limit) abort();
    if (parts.dwHostNameLength >= 256 || parts.dwUrlPathLength >= 1024) abort();
    return 0;
}
