#include "trace_printer.h"

#include <cstdio>

#include "platform/text.h"
#include "platform/winerror.h"

namespace cli {

namespace {

void Append(std::string* list, const std::string& text) {
    if (!list->empty()) *list += "; ";
    *list += text;
}

}  // namespace

TracePrinter::TracePrinter(bool enabled, bool sourcesReported)
    : m_enabled(enabled), m_sourcesReported(sourcesReported) {
    if (!m_enabled) return;
    m_previous = GetScriptTrace();
    SetScriptTrace(static_cast<ScriptTrace*>(this));
}

TracePrinter::~TracePrinter() {
    if (m_enabled) SetScriptTrace(m_previous);
}

std::string TracePrinter::ErrorName(DWORD error) {
#define VX_ERROR_NAME(code) {static_cast<DWORD>(code), #code}
    static const struct {
        DWORD code;
        const char* name;
    } kNames[] = {
        VX_ERROR_NAME(ERROR_FILE_NOT_FOUND),   VX_ERROR_NAME(ERROR_PATH_NOT_FOUND),
        VX_ERROR_NAME(ERROR_ACCESS_DENIED),    VX_ERROR_NAME(ERROR_INVALID_HANDLE),
        VX_ERROR_NAME(ERROR_NOT_ENOUGH_MEMORY), VX_ERROR_NAME(ERROR_OUTOFMEMORY),
        VX_ERROR_NAME(ERROR_NO_MORE_FILES),    VX_ERROR_NAME(ERROR_WRITE_PROTECT),
        VX_ERROR_NAME(ERROR_SHARING_VIOLATION), VX_ERROR_NAME(ERROR_NOT_SUPPORTED),
        VX_ERROR_NAME(ERROR_FILE_EXISTS),      VX_ERROR_NAME(ERROR_INVALID_PARAMETER),
        VX_ERROR_NAME(ERROR_DISK_FULL),        VX_ERROR_NAME(ERROR_INVALID_NAME),
        VX_ERROR_NAME(ERROR_DIR_NOT_EMPTY),    VX_ERROR_NAME(ERROR_BAD_PATHNAME),
        VX_ERROR_NAME(ERROR_ALREADY_EXISTS),   VX_ERROR_NAME(ERROR_FILENAME_EXCED_RANGE),
        VX_ERROR_NAME(ERROR_NO_MORE_ITEMS),    VX_ERROR_NAME(ERROR_DIRECTORY),
        VX_ERROR_NAME(ERROR_BADKEY),           VX_ERROR_NAME(ERROR_KEY_DELETED),
        VX_ERROR_NAME(ERROR_CANTOPEN),         VX_ERROR_NAME(ERROR_CANTWRITE),
        VX_ERROR_NAME(ERROR_REGISTRY_CORRUPT), VX_ERROR_NAME(ERROR_INVALID_DATA),
        VX_ERROR_NAME(ERROR_BAD_EXE_FORMAT),
    };
#undef VX_ERROR_NAME
    for (const auto& entry : kNames)
        if (entry.code == error) return entry.name;
    return "error " + std::to_string(error);
}

void TracePrinter::Skip(const std::u16string& reason) { Append(&m_skips, ToUtf8(reason)); }

void TracePrinter::Note(const std::u16string& text) { Append(&m_notes, ToUtf8(text)); }

void TracePrinter::Error(const std::u16string& what, DWORD error) {
    Append(&m_errors, ToUtf8(what) + ": " + ErrorName(error));
}

void TracePrinter::Print(const TraceElement& element, const std::string& outcome) {
    std::string line = m_source + ":" + std::to_string(element.line) + ": " + ToUtf8(element.name);
    if (!element.attributes.empty()) line += " " + ToUtf8(element.attributes);
    line += ": " + outcome;
    if (!m_notes.empty()) line += " (" + m_notes + ")";
    std::fprintf(stderr, "%s\n", line.c_str());
    m_skips.clear();
    m_notes.clear();
    m_errors.clear();
}

void TracePrinter::Command(const TraceElement& element, int handled, DWORD result, DWORD lastError) {
    std::string outcome;
    if (!handled) outcome = "skipped: " + (m_skips.empty() ? std::string("not in this table") : m_skips);
    else if (!m_skips.empty()) outcome = "skipped: " + m_skips;
    else if (!m_errors.empty()) outcome = "failed: " + m_errors;
    // A handler that returns FALSE stands for one platform call, whose error tells why.
    else if (result == 0 && lastError != ERROR_SUCCESS) outcome = "failed: " + ErrorName(lastError);
    else outcome = "done";
    Print(element, outcome);
}

void TracePrinter::Condition(const TraceElement& element, bool held) {
    Print(element, held ? "held" : "did not hold");
}

void TracePrinter::DocumentLoaded(const WCHAR* source, bool main) {
    if (main) m_source = ToUtf8(source);
}

void TracePrinter::DocumentFailed(const WCHAR* source, bool opened, LONG line, LONG column,
                                  const std::u16string& reason) {
    if (!opened && m_sourcesReported) return;
    std::string where = ToUtf8(source);
    if (opened && line > 0) where += ":" + std::to_string(line) + ":" + std::to_string(column);
    std::fprintf(stderr, "%s: %s\n", where.c_str(), ToUtf8(reason).c_str());
}

}  // namespace cli
