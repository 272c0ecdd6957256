// --trace: prints the script engine's report of a run on standard error, one line per command
// element and per `If`, in the form SOURCE:LINE: NAME ATTRIBUTES: OUTCOME, and the reason a
// document did not load. A TracePrinter in scope is the trace of every run made meanwhile.
#pragma once

#include <string>

#include "script/script_trace.h"

namespace cli {

// Set in the environment of the programs a traced run starts, so that they print the trace of
// their own script runs.
constexpr char kTraceVariable[] = "VX_SCRIPT_TRACE";

class TracePrinter final : public ScriptTrace {
public:
    // Installs itself as the trace when enabled; does nothing otherwise. sourcesReported: a
    // SourceReport already names the sources that do not open, so the trace does not again.
    explicit TracePrinter(bool enabled, bool sourcesReported = false);
    ~TracePrinter();
    TracePrinter(const TracePrinter&) = delete;
    TracePrinter& operator=(const TracePrinter&) = delete;

    void Skip(const std::u16string& reason) override;
    void Note(const std::u16string& text) override;
    void Error(const std::u16string& what, DWORD error) override;
    void Command(const TraceElement& element, int handled, DWORD result, DWORD lastError) override;
    void Condition(const TraceElement& element, bool held) override;
    void DocumentLoaded(const WCHAR* source, bool main) override;
    void DocumentFailed(const WCHAR* source, bool opened, LONG line, LONG column,
                        const std::u16string& reason) override;

    // The platform's name for an error code (ERROR_PATH_NOT_FOUND), or "error N".
    static std::string ErrorName(DWORD error);

private:
    void Print(const TraceElement& element, const std::string& outcome);

    bool m_enabled;
    bool m_sourcesReported;
    void* m_previous = nullptr;
    std::string m_source;
    std::string m_skips, m_notes, m_errors;
};

}  // namespace cli
