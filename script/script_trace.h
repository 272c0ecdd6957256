// The author's view of a run: the engine and the command tables report to a trace, when one is
// set, every command element as it reaches the table, every `If` as it is resolved, and every
// document that does not load. Nothing about the run depends on it: with no trace set (the
// device's case) nothing is reported and the commands behave exactly as they always do.
//
// A report about one element is built in two steps: handlers and helpers add what they know (why
// a command was skipped, a value that fell back to its default, a platform call that refused),
// and the engine then closes the element with its outcome, which carries everything gathered
// since the previous close.
#pragma once

#include <string>

#include "platform/winbase.h"
#include "platform/wintypes.h"

struct TraceElement {
    LONG line = 0;                 // in the main document; 0 when not known
    std::u16string name;           // the element's name
    std::u16string attributes;     // name="value" pairs as the command receives them
};

class ScriptTrace {
public:
    // Why the element being handled does nothing.
    virtual void Skip(const std::u16string& reason) = 0;
    // A fallback or a remark about the element being handled; it still runs.
    virtual void Note(const std::u16string& text) = 0;
    // A platform call refused: what was asked, and the error it gave.
    virtual void Error(const std::u16string& what, DWORD error) = 0;
    // A command element left the table: handled is the table's answer (0 for a name it does not
    // hold or a command without effect), result the handler's value, lastError the platform's
    // last error after the handler (0 when it set none).
    virtual void Command(const TraceElement& element, int handled, DWORD result, DWORD lastError) = 0;
    // An `If` element was resolved: held tells whether its children took its place.
    virtual void Condition(const TraceElement& element, bool held) = 0;
    // A source loaded: the main script, or the companion when main is false.
    virtual void DocumentLoaded(const WCHAR* source, bool main) = 0;
    // A source did not load: opened tells whether it could be read at all; line and column are
    // 0 when the parser gave none.
    virtual void DocumentFailed(const WCHAR* source, bool opened, LONG line, LONG column,
                                const std::u16string& reason) = 0;

protected:
    ~ScriptTrace() = default;
};

// The trace installed for the process (SetScriptTrace), or null when no one is watching.
inline ScriptTrace* CurrentScriptTrace() { return static_cast<ScriptTrace*>(GetScriptTrace()); }

inline void TraceSkip(const std::u16string& reason) {
    if (ScriptTrace* trace = CurrentScriptTrace()) trace->Skip(reason);
}

inline void TraceNote(const std::u16string& text) {
    if (ScriptTrace* trace = CurrentScriptTrace()) trace->Note(text);
}

inline void TraceError(const std::u16string& what, DWORD error) {
    if (ScriptTrace* trace = CurrentScriptTrace()) trace->Error(what, error);
}

// The value of a needed attribute, reporting its absence: the command is skipped without it.
class AttributeMap;
const WCHAR* NeededAttribute(const AttributeMap* attributes, const WCHAR* name);
