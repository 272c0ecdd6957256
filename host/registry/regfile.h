// The registry as .reg text: the exporter and importer behind `pocketsim reg export/import`, and
// the pure text side (parsing bytes into operations, formatting one value line) that needs no
// device.
//
// Export writes `Windows Registry Editor Version 5.00`, a blank line, then every key depth-first
// as `[ROOT\path]` followed by its values, subkeys and values in case-insensitive name order, a
// blank line between keys, no wrapping; as UTF-8 with LF line ends, or as UTF-16LE with BOM and
// CR LF, the form Windows' registry editor reads without loss. Import reads the dialect Windows'
// registry editor reads (README.md, "Registry files"): both headers; UTF-8, UTF-16LE with BOM or
// the device's ANSI code page; CR LF, LF or CR line ends; ; and # comment lines, ; comments after
// data; hex lists continued with '\'; `[-KEY]` and `"name"=-`. Export then import is the
// identity.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/kernel/ansi_codepage.h"
#include "platform/wintypes.h"

namespace host {

class Device;

struct RegOperation {
    enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
    Kind kind;
    int line;              // line of the file it came from, for error reports
    HKEY root;             // one of the three predefined roots
    // Key operations: the path below the root, components joined by '\' (empty: the root).
    // Value operations leave it empty: they apply to the key of the preceding key operation.
    std::u16string path;
    std::u16string name;   // value name (empty: the default value)
    DWORD type = 0;
    std::vector<uint8_t> data;
};

// Parses a whole .reg file; ANSI text (a file without a byte order mark that is not UTF-8) and
// REGEDIT4's hex(2)/hex(7) data are read in ansiCodePage (1252 or 1251). On the first error:
// false, `line N: reason` in *error, and *ops empty.
bool ParseRegText(std::string_view bytes, std::vector<RegOperation>* ops, std::string* error,
                  int ansiCodePage = kDefaultAnsiCodePage);

// One value line as the exporter writes it, without the line end.
std::string FormatRegValue(std::u16string_view name, DWORD type, const uint8_t* data, size_t size);

// Splits `HKEY_LOCAL_MACHINE\Software\Vexor` (the root also as HKLM, HKCU, HKCR; any case)
// into root and path. False with a reason when the root is unknown or the path malformed.
bool ParseRegKeyPath(std::u16string_view text, HKEY* root, std::u16string* path, std::string* reason);

enum class RegTextEncoding { Utf8, Utf16 };

// The whole registry (keyPath empty) or one key's subtree. A missing key: false with one line.
bool ExportRegistry(Device& device, std::u16string_view keyPath, std::string* text, std::string* error,
                    RegTextEncoding encoding = RegTextEncoding::Utf8);

// The exporter's UTF-8 text with LF line ends as UTF-16LE with BOM and CR LF line ends.
std::string RegTextToUtf16(std::string_view utf8Text);

// Parses the whole file first, ANSI text in the image's code page (DeviceAnsiCodePage); applies
// nothing when it has an error, and everything in one transaction otherwise.
bool ImportRegistry(Device& device, std::string_view fileBytes, std::string* error);

}  // namespace host
