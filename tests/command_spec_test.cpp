// The commands' descriptions hold what their handlers read: every attribute a description calls
// required is one its handler cannot do without, and the handler asks for no other.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "test_image.h"
#include "platform/text.h"
#include "runner/mui_engine.h"
#include "script/command_table.h"
#include "script/script_trace.h"

namespace {

// Records the attributes a handler reported missing.
class MissingAttributes final : public ScriptTrace {
public:
    MissingAttributes() : m_previous(GetScriptTrace()) { SetScriptTrace(this); }
    ~MissingAttributes() { SetScriptTrace(m_previous); }
    void Skip(const std::u16string& reason) override {
        const std::u16string head = u"needed attribute ", tail = u" missing";
        if (reason.rfind(head, 0) == 0 && reason.size() > head.size() + tail.size())
            names.insert(ToUtf8(reason.substr(head.size(), reason.size() - head.size() - tail.size())));
    }
    void Note(const std::u16string&) override {}
    void Error(const std::u16string&, DWORD) override {}
    void Command(const TraceElement&, int, DWORD, DWORD) override {}
    void Condition(const TraceElement&, bool) override {}
    void DocumentLoaded(const WCHAR*, bool) override {}
    void DocumentFailed(const WCHAR*, bool, LONG, LONG, const std::u16string&) override {}

    std::set<std::string> names;

private:
    void* m_previous;
};

// A value of the kind that leads nowhere on the test's device: paths that do not exist, a key
// of the test's own.
const WCHAR* HarmlessValue(ValueKind kind) {
    switch (kind) {
    case ValueKind::DevicePath: return u"\\NoSuch\\spec";
    case ValueKind::FileName: return u"nosuch";
    case ValueKind::RegRoot: return u"HKLM";
    case ValueKind::RegType: return u"SZ";
    case ValueKind::RegKey: return u"Software\\SpecTest";
    case ValueKind::Flag: return u"0";
    default: return u"x";
    }
}

class CommandSpecTest : public ImageTest {
protected:
    // Runs the entry with every attribute its description lists except `left` (none: -1), and
    // returns the names the handler reported missing.
    std::set<std::string> Missing(CommandSink& table, const CommandEntry& entry, long left) {
        AttributeMap map;
        for (size_t i = 0; i < entry.spec->count; ++i)
            if (long(i) != left)
                map.Add(NameHash(entry.spec->attributes[i].name), HarmlessValue(entry.spec->attributes[i].kind));
        MissingAttributes trace;
        DWORD result = 0;
        table.Execute(entry.name, &map, &result, 0);
        return trace.names;
    }

    void CheckTable(CommandSink& table, const CommandEntry* entries, size_t count) {
        for (size_t k = 0; k < count; ++k) {
            const CommandEntry& entry = entries[k];
            SCOPED_TRACE(ToUtf8(entry.name));
            ASSERT_NE(entry.spec, nullptr);
            EXPECT_EQ(Missing(table, entry, -1), std::set<std::string>{});
            for (size_t i = 0; i < entry.spec->count; ++i) {
                const AttributeSpec& attribute = entry.spec->attributes[i];
                SCOPED_TRACE(ToUtf8(attribute.name));
                const auto missing = Missing(table, entry, long(i));
                if (attribute.need == Need::Required)
                    EXPECT_EQ(missing, std::set<std::string>{ToUtf8(attribute.name)});
                else
                    EXPECT_EQ(missing, std::set<std::string>{});
            }
        }
    }
};

TEST_F(CommandSpecTest, TheLanguageSwitchersHandlersNeedWhatTheirDescriptionsSay) {
    ProcessList spared;
    CommandTable table(&spared);
    CheckTable(table, CommandTable::Entries(), CommandTable::CommandCount());
}

TEST_F(CommandSpecTest, TheConfigurationRunnersHandlersNeedWhatTheirDescriptionsSay) {
    MuiRunState state;
    MuiCommandTable table(&state);
    CheckTable(table, MuiCommandTable::Entries(), MuiCommandTable::CommandCount());
}

}  // namespace
