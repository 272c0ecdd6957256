// The command table: name hashing, dispatch by hash in table order, the handled flag, and the
// handlers that belong to the table itself (Msg and the commands without effect).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "run_program.h"
#include "script_test_support.h"
#include "test_image.h"
#include "script/command_table.h"

using script_test::WriteDeviceFile;

namespace {

constexpr DWORD kSentinel = 0xDEADBEEF;

class CommandTableTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        m_device->SetTraceSink([this](std::u16string_view line) { m_trace += ToUtf8(line); });
    }
    std::string Journal() { return testing_support::ReadWholeFile(m_device->Root() / "journal.log"); }
    // Executes one command with the given attributes; *result starts as the sentinel.
    int Run(const WCHAR* name, std::vector<std::pair<const WCHAR*, const WCHAR*>> attributes, DWORD* result) {
        AttributeMap map;
        for (auto& [key, value] : attributes) map.Add(NameHash(key), value);
        *result = kSentinel;
        return m_table.Execute(name, &map, result, 0);
    }

    ProcessList m_spared;
    CommandTable m_table{&m_spared};
    std::string m_trace;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// NameHash

// h = h * 9 + c with only ASCII capitals folded, modulo 2^32.
TEST(NameHashTest, KnownValues) {
    EXPECT_EQ(NameHash(u""), 0u);
    EXPECT_EQ(NameHash(nullptr), 0u);
    EXPECT_EQ(NameHash(u"abc"), 0x2286u);
    EXPECT_EQ(NameHash(u"Msg"), 0x26EFu);
    EXPECT_EQ(NameHash(u"Data"), 0x13FEAu);
    EXPECT_EQ(NameHash(u"DATA"), 0x13FEAu);
    EXPECT_EQ(NameHash(u"NAME"), 0x15C29u);
    EXPECT_EQ(NameHash(u"name"), 0x15C29u);
    EXPECT_EQ(NameHash(u"ROOT"), 0x16C1Cu);
    EXPECT_EQ(NameHash(u"root"), 0x16C1Cu);
    /* Letters outside ASCII are not folded. */
    EXPECT_NE(NameHash(u"\u00C4"), NameHash(u"\u00E4"));
    EXPECT_EQ(NameHash(u"\u00C4"), 0xC4u);
    /* The product wraps at 32 bits: 12 units of 'z' overflow. */
    DWORD h = 0;
    for (int i = 0; i < 12; ++i) h = h * 9 + u'z';
    EXPECT_EQ(NameHash(u"zzzzzzzzzzzz"), h);
    EXPECT_EQ(NameHash(u"ZZZZZZZZZZZZ"), h);
}

// The table holds the 22 commands in their search order, and their hashes are distinct, so a
// name can select only one of them.
TEST(NameHashTest, TheTwentyTwoCommandsHaveDistinctHashes) {
    const std::vector<std::u16string> expected = {
        u"StopAll",       u"StartProcess",   u"StopProcess",    u"KillProcess",    u"CreateDirectory",
        u"RemoveDirectory", u"CopyFile",     u"CopyTo",         u"MoveFile",       u"DeleteFile",
        u"DeleteRegKey",  u"RenameRegKey",   u"CreateRegValue", u"DeleteRegValue", u"SetRebootFlag",
        u"LDAbsRename",   u"LDRename",       u"LDDeleteRegKey", u"Swap",           u"Expand",
        u"BaseUpdate",    u"Msg"};
    ASSERT_EQ(CommandTable::CommandCount(), expected.size());
    std::set<DWORD> hashes;
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(std::u16string(CommandTable::CommandName(i)), expected[i]) << i;
        hashes.insert(NameHash(expected[i].c_str()));
    }
    EXPECT_EQ(hashes.size(), expected.size());
    EXPECT_EQ(CommandTable::CommandName(expected.size()), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Dispatch

// Names are compared by hash, so any ASCII case selects the command.
TEST_F(CommandTableTest, DispatchIgnoresAsciiCase) {
    WriteDeviceFile(u"\\a.txt", "payload");
    DWORD result = 0;
    EXPECT_EQ(Run(u"COPYFILE", {{u"SOURCE", u"\\a.txt"}, {u"destination", u"\\b.txt"}}, &result), 1);
    EXPECT_NE(GetFileAttributesW(u"\\b.txt"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Run(u"mSg", {{u"TEXT", u"hello"}}, &result), 1);
    EXPECT_EQ(result, 1u);
    EXPECT_EQ(Journal(), "MessageBox \"hello\" caption=\"\" style=0x00010000\n");
}

// A name in no entry (the description element, an empty or absent name) does nothing, returns 0
// and leaves the result untouched.
TEST_F(CommandTableTest, UnknownNamesAreNotHandled) {
    DWORD result = 0;
    for (const WCHAR* name : {u"description", u"If", u"", static_cast<const WCHAR*>(nullptr), u"Msg "}) {
        EXPECT_EQ(Run(name, {{u"text", u"x"}}, &result), 0);
        EXPECT_EQ(result, kSentinel);
    }
    EXPECT_EQ(Journal(), "");
}

// The four commands without effect clear the handled flag: the table reports them unhandled but
// stores their 0 result. BaseUpdate clears it too, whatever its outcome, but returns 1; the
// outcome (here: no such rules file) shows only in the trace.
TEST_F(CommandTableTest, HandledFlagRules) {
    DWORD result = 0;
    for (const WCHAR* name : {u"StopProcess", u"KillProcess", u"SetRebootFlag", u"RenameRegKey"}) {
        EXPECT_EQ(Run(name, {}, &result), 0) << ToUtf8(name);
        EXPECT_EQ(result, 0u) << ToUtf8(name);
    }
    EXPECT_EQ(Run(u"BaseUpdate", {{u"data", u"\\r.txt"}}, &result), 0);
    EXPECT_EQ(result, 1u);
    EXPECT_EQ(m_trace, "BaseUpdate \\r.txt: 2\n");
    /* A null result pointer is tolerated. */
    AttributeMap empty;
    EXPECT_EQ(m_table.Execute(u"KillProcess", &empty, nullptr, 0), 0);
}

// ---------------------------------------------------------------------------------------------
// Msg

// The text is shown literally (no formatting), cut to 254 units; without "text" nothing is shown
// and the command returns 0.
TEST_F(CommandTableTest, MsgShowsTheTextLiterally) {
    DWORD result = 0;
    EXPECT_EQ(Run(u"Msg", {{u"text", u"%s and %d%%"}}, &result), 1);
    EXPECT_EQ(result, 1u);
    EXPECT_EQ(Run(u"Msg", {{u"other", u"x"}}, &result), 1);
    EXPECT_EQ(result, 0u);
    std::u16string longText(300, u'm');
    longText[253] = u'E';
    EXPECT_EQ(Run(u"Msg", {{u"text", longText.c_str()}}, &result), 1);
    EXPECT_EQ(Journal(), "MessageBox \"%s and %d%%\" caption=\"\" style=0x00010000\n"
                         "MessageBox \"" + std::string(253, 'm') + "E\" caption=\"\" style=0x00010000\n");
}
