// The registrar that carries out registry scripts: value types, quoting and replacements,
// ForceRemove / NoRemove / Delete in both modes, and malformed scripts, which must fail cleanly
// without touching the registry.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "imshell_fixture.h"
#include "registrar.h"

using namespace imtest;
using imshell::RegistrarMode;
using imshell::RunRegistryScript;

namespace {

using Registry = std::map<std::string, std::string>;

class Registrar : public ImageTest {
protected:
    HRESULT Run(std::u16string_view script, RegistrarMode mode = RegistrarMode::Register,
                std::vector<imshell::Replacement> replacements = {}) {
        return RunRegistryScript(script, replacements, mode, &m_error);
    }
    std::u16string m_error;
};

// s, d (decimal and 0x hex) and b values; default values on keys; quoted names, with a quote
// written twice; a key name that starts with a brace is a name, not a block.
TEST_F(Registrar, WritesTypedValues) {
    ASSERT_EQ(S_OK, Run(u"HKLM { Test = s 'top' { 'It''s' = s 'a ''b''' { val n = d '0x1F' }\r\n"
                        u"{AB-CD} = d '4294967295' val Bytes = b '00FF10' val Empty = s '' } }"))
        << ToUtf8(m_error);
    const Registry expected = {
        {"Test\\", "key"},
        {"Test|", "sz:top"},
        {"Test|Bytes", "type3"},
        {"Test|Empty", "sz:"},
        {"Test\\It's\\", "key"},
        {"Test\\It's|", "sz:a 'b'"},
        {"Test\\It's|n", "dword:31"},
        {"Test\\{AB-CD}\\", "key"},
        {"Test\\{AB-CD}|", "dword:4294967295"},
    };
    Registry got = Snapshot(HKEY_LOCAL_MACHINE, u"");
    std::erase_if(got, [](const auto& e) { return e.first.rfind("Test", 0) != 0; });
    EXPECT_EQ(expected, got);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Test", 0, KEY_READ, &key));
    BYTE bytes[8] = {};
    DWORD size = sizeof bytes, type = 0;
    EXPECT_EQ(ERROR_SUCCESS, RegQueryValueExW(key, u"Bytes", nullptr, &type, bytes, &size));
    EXPECT_EQ(3u, size);
    EXPECT_TRUE(bytes[0] == 0x00 && bytes[1] == 0xFF && bytes[2] == 0x10);
    RegCloseKey(key);
}

// Replacements are found without regard to case, %% is a percent sign, and the replaced text
// is not scanned again.
TEST_F(Registrar, ReplacesNamedParameters) {
    ASSERT_EQ(S_OK, Run(u"HKCU { Rep = s '%module% 100%% %Raw%' }", RegistrarMode::Register,
                        {{u"MODULE", u"\\a''b %RAW%"}, {u"RAW", u"\\ab"}}))
        << ToUtf8(m_error);
    EXPECT_EQ("sz:\\a'b %RAW% 100% \\ab", Snapshot(HKEY_CURRENT_USER, u"Rep")["|"]);
}

// Register mode: ForceRemove deletes the key with everything under it before writing it again;
// Delete only deletes; a key written without ForceRemove keeps what it already held.
TEST_F(Registrar, ForceRemoveReplacesAKeyWhole) {
    SetText(HKEY_CLASSES_ROOT, u"Forced\\Old", nullptr, u"old");
    SetText(HKEY_CLASSES_ROOT, u"Kept\\Old", nullptr, u"old");
    SetText(HKEY_CLASSES_ROOT, u"Gone\\Child", u"v", u"x");
    ASSERT_EQ(S_OK, Run(u"HKCR { ForceRemove Forced = s 'new' { New = s 'n' } Kept { New = s 'n' } Delete Gone }"))
        << ToUtf8(m_error);
    EXPECT_EQ((Registry{{"|", "sz:new"}, {"New\\", "key"}, {"New|", "sz:n"}}), Snapshot(HKEY_CLASSES_ROOT, u"Forced"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Kept\\Old"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Kept\\New"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Gone"));
}

// Unregister mode removes what the script made: ForceRemove keys whole, other keys once their
// children and named values are gone and nothing foreign is left; NoRemove keys stay, and
// their children are still removed. Keys the script names but the registry lacks are skipped.
TEST_F(Registrar, UnregisterRemovesOnlyWhatTheScriptOwns) {
    const std::u16string script =
        u"HKCR { NoRemove Shared { Mine = s 'm' { val Flag = d '1' } ForceRemove Whole { A = s 'a' } }"
        u" Owned = s 'o' { Sub = s 's' } Missing { Deeper } }";
    ASSERT_EQ(S_OK, Run(script)) << ToUtf8(m_error);
    SetText(HKEY_CLASSES_ROOT, u"Shared\\Foreign", nullptr, u"f");
    SetText(HKEY_CLASSES_ROOT, u"Shared\\Whole\\Added", nullptr, u"x");
    // A value the script does not name keeps its key.
    SetText(HKEY_CLASSES_ROOT, u"Owned\\Sub", u"Extra", u"e");
    ASSERT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Missing\\Deeper"));
    RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Missing");

    EXPECT_EQ(S_OK, Run(script, RegistrarMode::Unregister)) << ToUtf8(m_error);
    EXPECT_EQ((Registry{{"Foreign\\", "key"}, {"Foreign|", "sz:f"}}), Snapshot(HKEY_CLASSES_ROOT, u"Shared"));
    EXPECT_EQ((Registry{{"|", "sz:o"}, {"Sub\\", "key"}, {"Sub|", "sz:s"}, {"Sub|Extra", "sz:e"}}),
              Snapshot(HKEY_CLASSES_ROOT, u"Owned"));

    HKEY sub = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Owned\\Sub", 0, KEY_ALL_ACCESS, &sub));
    RegDeleteValueW(sub, u"Extra");
    RegCloseKey(sub);
    EXPECT_EQ(S_OK, Run(script, RegistrarMode::Unregister));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Owned"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Shared"));
}

// Malformed scripts fail with the syntax error and a reason, in either mode, and write nothing,
// not even the keys before the fault.
TEST_F(Registrar, MalformedScriptsChangeNothing) {
    const WCHAR* const scripts[] = {
        u"HKXX { A }",
        u"HKCR A",
        u"HKCR { First = s 'x' ",
        u"HKCR { First = s 'x' } }",
        u"HKCR { First = s 'unterminated }",
        u"HKCR { First = q 'x' }",
        u"HKCR { First = d '12z' }",
        u"HKCR { First = d '4294967296' }",
        u"HKCR { First = d '0x' }",
        u"HKCR { First = b 'ABC' }",
        u"HKCR { First = s unquoted }",
        u"HKCR { First = s }",
        u"HKCR { First = }",
        u"HKCR { val Loose = s 'x' }",
        u"HKCR { First { val = s 'x' } }",
        u"HKCR { First { val V s 'x' } }",
        u"HKCR { First = s '%UNKNOWN%' }",
        u"HKCR { First = s '50% }",
        u"HKCR { '' = s 'x' }",
        u"HKCR { NoRemove }",
        u"HKCR { ForceRemove '\\' }",
        u"HKCR { First\\\\Second }",
        u"HKCR { 'First\\' }",
        u"HKCR { First = s 'x' } HKCR",
    };
    for (const WCHAR* script : scripts) {
        for (RegistrarMode mode : {RegistrarMode::Register, RegistrarMode::Unregister}) {
            m_error.clear();
            EXPECT_EQ(imshell::kScriptSyntaxError, Run(script, mode)) << ToUtf8(script);
            EXPECT_FALSE(m_error.empty()) << ToUtf8(script);
        }
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"First")) << ToUtf8(script);
    }
    // Nesting deeper than any script needs is refused rather than followed.
    std::u16string deep = u"HKCR {";
    for (int i = 0; i < 100; ++i) deep += u" K {";
    for (int i = 0; i < 101; ++i) deep += u" }";
    EXPECT_EQ(imshell::kScriptSyntaxError, Run(deep));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"K"));
    // An empty script does nothing and succeeds.
    EXPECT_EQ(S_OK, Run(u" \r\n\t"));
}

// Any text is answered with a result, never a crash: scripts made of random tokens, with NULs
// and stray quotes among them, either run or fail with the syntax error.
TEST_F(Registrar, RandomTokensNeverCrash) {
    const WCHAR* const tokens[] = {u"HKCR", u"HKLM", u"{", u"}", u"=", u"s", u"d", u"b", u"val", u"'x'", u"'",
                                   u"NoRemove", u"ForceRemove", u"Delete", u"Key", u"'0x10'", u"%", u"%MODULE%",
                                   u"\0", u"''", u"'AB'"};
    std::mt19937 random(1234);
    int ran = 0;
    for (int round = 0; round < 300; ++round) {
        std::u16string script;
        const int count = static_cast<int>(random() % 24);
        for (int i = 0; i < count; ++i) {
            const WCHAR* token = tokens[random() % std::size(tokens)];
            script += token[0] ? std::u16string(token) : std::u16string(1, u'\0');
            script += u' ';
        }
        for (RegistrarMode mode : {RegistrarMode::Register, RegistrarMode::Unregister}) {
            const HRESULT hr = RunRegistryScript(script, {{u"MODULE", u"m"}}, mode);
            EXPECT_TRUE(hr == S_OK || hr == imshell::kScriptSyntaxError) << std::hex << hr;
            ran += hr == S_OK;
        }
    }
    EXPECT_GT(ran, 0) << "some of the scripts must be well formed";
}

}  // namespace
