#include "source_report.h"

#include "cli.h"
#include "host/kernel/device.h"
#include "platform/text.h"
#include "platform/winbase.h"
#include "script/script_source.h"

namespace cli {

namespace {

void Report(std::string_view source, std::string_view reason) {
    Fail(kFailure, "script source \"" + Name(source) + "\": " + std::string(reason));
}

std::string FileReason(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND: return "no such file (ERROR_FILE_NOT_FOUND)";
    case ERROR_PATH_NOT_FOUND: return "no such folder (ERROR_PATH_NOT_FOUND)";
    case ERROR_ACCESS_DENIED: return "a folder, or a file that may not be read (ERROR_ACCESS_DENIED)";
    case ERROR_INVALID_NAME: return "not a device path (ERROR_INVALID_NAME)";
    case ERROR_FILENAME_EXCED_RANGE: return "the path is too long (ERROR_FILENAME_EXCED_RANGE)";
    case ERROR_SHARING_VIOLATION: return "the file is in use (ERROR_SHARING_VIOLATION)";
    default: return "cannot be opened (error " + std::to_string(code) + ")";
    }
}

bool IsAddress(const std::u16string& source) {
    return EqualsNoCase(source.substr(0, 5), u"http:") || EqualsNoCase(source.substr(0, 4), u"ftp:");
}

}  // namespace

SourceReport::SourceReport(host::Device& device, const std::vector<std::u16string>& sources) : m_device(device) {
    // A file source is opened here as the run will open it, which changes nothing; an address is
    // left to the run, whose download the internet layer reports, since fetching it twice would.
    for (const std::u16string& source : sources) {
        if (IsAddress(source)) continue;
        if (ScriptStream* stream = OpenScriptStream(source.c_str(), 1)) {
            stream->Close();
            stream->Release();
        } else {
            Report(ToUtf8(source), FileReason(GetLastError()));
        }
    }
    m_device.SetDiagnosticSink([](std::string_view name, std::string_view reason) { Report(name, reason); });
}

SourceReport::~SourceReport() { m_device.SetDiagnosticSink(nullptr); }

}  // namespace cli
