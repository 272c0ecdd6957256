// Generated scripts of hostile commands through the full command table on a fresh image: command
// names in any case, attributes missing or holding long, relative, escaping, wildcard and
// malformed values, long child texts. Nothing may crash, and nothing may appear beside the image
// folder: no device path reaches outside it.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "fuzz/temp_dir.h"
#include "host/kernel/device.h"
#include "platform/files.h"
#include "platform/text.h"
#include "script/command_table.h"
#include "script/rename_log.h"
#include "script/script_engine.h"

namespace fs = std::filesystem;

namespace {

const char* const kAttributeNames[] = {"Source", "Destination", "FROM", "TO", "ROOT", "NAME", "CMDLINE", "EMPTY",
                                       "root", "path", "name", "type", "Data", "data", "text", "ID", "lng"};

const char* const kValues[] = {"",
                               "\\",
                               "\\Temp",
                               "\\Temp\\a",
                               "\\Temp\\a\\b",
                               "\\Temp\\..\\..\\escape",
                               "..\\..\\escape",
                               "/tmp/escape",
                               "\\Temp\\a/b",
                               "\\Temp\\*.*",
                               "\\Temp\\?",
                               "C:\\Temp",
                               "\\\\server\\share",
                               "\\Windows\\vl_0409.xml",
                               "a",
                               "1",
                               "HKCU",
                               "HKCR",
                               "SZ",
                               "DWORD",
                               "BINARY",
                               "MULTI_SZ",
                               "Software\\Fuzz",
                               "Software\\\\Fuzz\\",
                               "[NULL]",
                               "[SPACE]",
                               "%s%n%d%x",
                               "0x",
                               "ffffffffffffffff",
                               "01,02,ff",
                               "409",
                               "file://\\Temp\\x",
                               "&amp;&lt;&quot;"};

// Text safe inside a double-quoted attribute or an element.
std::string Escape(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '"') out += "&quot;";
        else if (c < 0x20 && c != '\t') out += '.';
        else out += char(c);
    }
    return out;
}

std::string Value(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return Escape(kValues[in.ConsumeIntegralInRange<size_t>(0, std::size(kValues) - 1)]);
    case 1: return std::string(in.ConsumeIntegralInRange(250, 20000), in.ConsumeBool() ? 'x' : '\\');
    case 2: return "\\Temp\\" + std::string(in.ConsumeIntegralInRange(1, 300), 'n');
    default: return Escape(in.ConsumeRandomLengthString(64));
    }
}

std::string Script(FuzzedDataProvider& in) {
    std::string xml = "<script>";
    const size_t commands = in.ConsumeIntegralInRange(1, 12);
    for (size_t c = 0; c < commands && in.remaining_bytes(); ++c) {
        std::string name = in.ConsumeBool() ? ToUtf8(CommandTable::CommandName(
                                                  in.ConsumeIntegralInRange<size_t>(0, CommandTable::CommandCount() - 1)))
                                            : std::string("If");
        if (in.ConsumeBool())
            for (char& ch : name) ch = char(in.ConsumeBool() ? toupper(ch) : tolower(ch));
        xml += "<" + name;
        const size_t attributes = in.ConsumeIntegralInRange(0, 5);
        for (size_t a = 0; a < attributes; ++a)
            xml += std::string(" ") + kAttributeNames[in.ConsumeIntegralInRange<size_t>(0, std::size(kAttributeNames) - 1)] +
                   "=\"" + Value(in) + "\"";
        // A repeated attribute would not parse; the load then fails, which is a valid outcome.
        const size_t children = in.ConsumeIntegralInRange(0, 4);
        if (children == 0) {
            xml += "/>";
            continue;
        }
        xml += ">";
        for (size_t k = 0; k < children; ++k) xml += "<v>" + Value(in) + "</v>";
        xml += "</" + name + ">";
    }
    return xml + "</script>";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const FuzzTempDir scratch("vx-walk-fuzz");
    const fs::path& dir = scratch.path;
    FuzzedDataProvider in(data, size);
    const std::string xml = Script(in);

    std::string error;
    auto device = host::Device::Create(dir / "image", true, &error);
    if (!device) abort();
    {
        host::ScopedDevice scope(device.get());
        CreateDirectoryW(u"\\Temp", nullptr);
        CreateDirectoryW(u"\\Temp\\a", nullptr);
        HANDLE file = CreateFileW(u"\\Temp\\script.xml", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) abort();
        DWORD written = 0;
        WriteFile(file, xml.data(), DWORD(xml.size()), &written, nullptr);
        CloseHandle(file);

        ProcessList spared;
        CommandTable table(&spared);
        ScriptEngine engine;
        engine.CreateDocument();
        engine.m_pSink = &table;
        engine.Run(u"\\Temp\\script.xml", in.ConsumeBool() ? u"\\Temp\\script.xml" : nullptr);
        engine.ReleaseDocuments();
        ClearRenameLog();
    }
    device.reset();
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename() != "image") abort();
    return 0;
}
