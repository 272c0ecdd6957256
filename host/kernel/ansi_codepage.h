// The device's ANSI code page: the single-byte character set that "ANSI" text on the device
// (text without a byte order mark, REGEDIT4 registry data) is in. A device's system locale fixes
// it in ROM: Windows-1252 on an English (Western European) device, Windows-1251 on a Russian
// one. Switching the user interface language does not change it, so it is a setting of the
// image ("ansi.codepage"), not something derived from the current language.
#pragma once

#include <string>
#include <string_view>

namespace host {

class Device;

constexpr int kDefaultAnsiCodePage = 1252;

// 1252 and 1251: the code pages of the languages the package carries.
bool IsSupportedAnsiCodePage(int codePage);

// One byte of a supported code page as UTF-16. Bytes the code page leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D in 1252; 0x98 in 1251) become the C1 control of the same number, as
// the platform's conversion does, so that nothing is lost.
char16_t AnsiToUnit(int codePage, unsigned char byte);

// The image's setting "ansi.codepage", kDefaultAnsiCodePage when the image has none. False with
// a reason when it holds anything other than a supported code page's number.
bool DeviceAnsiCodePage(const Device& device, int* codePage, std::string* error);

}  // namespace host
