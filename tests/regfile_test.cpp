// The registry as .reg text: the exact export layout, import of every accepted form, errors that
// name their line and apply nothing, and export-then-import as the identity.
#include "host/registry/regfile.h"
#include "reg_test_image.h"

namespace {

class RegFileTest : public RegImageTest {
protected:
    std::string Export(std::u16string_view key = {}) {
        std::string text, error;
        EXPECT_TRUE(host::ExportRegistry(*m_device, key, &text, &error)) << error;
        return text;
    }

    // Every value type and the names that need care: quotes, backslashes, Cyrillic, the default.
    void Populate() {
        DWORD ten = 10;
        const WCHAR* k = u"Software\\Vexor\\7.0";
        SetSz(HKEY_LOCAL_MACHINE, k, nullptr, u"default");
        Set(HKEY_LOCAL_MACHINE, k, u"Size", REG_DWORD, &ten, 4);
        SetSz(HKEY_LOCAL_MACHINE, k, u"Path", u"\\Windows\\\"q\"");
        SetSz(HKEY_LOCAL_MACHINE, k, u"na\"me\\", u"");
        SetSz(HKEY_LOCAL_MACHINE, k, u"\u042f\u0437\u044b\u043a", u"\u0420\u0443\u0441");
        SetSz(HKEY_LOCAL_MACHINE, k, u"Lines", u"a\nb");
        Set(HKEY_LOCAL_MACHINE, k, u"NoNul", REG_SZ, u"ab", 4);
        Set(HKEY_LOCAL_MACHINE, k, u"InnerNul", REG_SZ, u"a\0b", 8);
        Set(HKEY_LOCAL_MACHINE, k, u"Bin", REG_BINARY, "\x01\xff", 2);
        Set(HKEY_LOCAL_MACHINE, k, u"Empty", REG_BINARY, nullptr, 0);
        Set(HKEY_LOCAL_MACHINE, k, u"Exp", REG_EXPAND_SZ, u"%x%", 8);
        Set(HKEY_LOCAL_MACHINE, k, u"Multi", REG_MULTI_SZ, u"a\0b\0", 10);
        Set(HKEY_LOCAL_MACHINE, k, u"Short", REG_DWORD, "\x01\x02", 2);
        Set(HKEY_LOCAL_MACHINE, k, u"Q", 11, "\x01\x00\x00\x00\x00\x00\x00\x00", 8);
        SetSz(HKEY_CURRENT_USER, u"b\\Sub", u"x", u"1");
        SetSz(HKEY_CURRENT_USER, u"A", u"x", u"2");
        HKEY empty = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, u"Empty.Key", 0, nullptr, 0, 0, nullptr, &empty, nullptr),
                  ERROR_SUCCESS);
        RegCloseKey(empty);
    }
};

TEST_F(RegFileTest, ExportWritesKeysDepthFirstAndEveryTypeInItsForm) {
    Populate();
    const std::string expected =
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_CLASSES_ROOT]\n"
        "\n"
        "[HKEY_CLASSES_ROOT\\Empty.Key]\n"
        "\n"
        "[HKEY_CURRENT_USER]\n"
        "\n"
        "[HKEY_CURRENT_USER\\A]\n"
        "\"x\"=\"2\"\n"
        "\n"
        "[HKEY_CURRENT_USER\\b]\n"
        "\n"
        "[HKEY_CURRENT_USER\\b\\Sub]\n"
        "\"x\"=\"1\"\n"
        "\n"
        "[HKEY_LOCAL_MACHINE]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Vexor]\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Vexor\\7.0]\n"
        "@=\"default\"\n"
        "\"Bin\"=hex:01,ff\n"
        "\"Empty\"=hex:\n"
        "\"Exp\"=hex(2):25,00,78,00,25,00,00,00\n"
        "\"InnerNul\"=hex(1):61,00,00,00,62,00,00,00\n"
        "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
        "\"na\\\"me\\\\\"=\"\"\n"
        "\"NoNul\"=hex(1):61,00,62,00\n"
        "\"Path\"=\"\\\\Windows\\\\\\\"q\\\"\"\n"
        "\"Q\"=hex(b):01,00,00,00,00,00,00,00\n"
        "\"Short\"=hex(4):01,02\n"
        "\"Size\"=dword:0000000a\n"
        "\"\xd0\xaf\xd0\xb7\xd1\x8b\xd0\xba\"=\"\xd0\xa0\xd1\x83\xd1\x81\"\n";
    EXPECT_EQ(Export(), expected);
}

TEST_F(RegFileTest, ExportOfOneKeyUsesStoredSpellingAndRefusesMissingKeys) {
    Populate();
    /* The argument is matched without regard to case; the output keeps the stored spelling. */
    EXPECT_EQ(Export(u"hkcu\\B"),
              "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\b]\n\n[HKEY_CURRENT_USER\\b\\Sub]\n\"x\"=\"1\"\n");
    EXPECT_EQ(Export(u"HKEY_CURRENT_USER\\A\\"), "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"2\"\n");

    /* A missing key or an unknown root: false with one line, no text. */
    for (std::u16string_view missing : {u"HKEY_LOCAL_MACHINE\\Software\\Nope", u"HKEY_USERS\\x", u"HKLM\\\\a"}) {
        std::string text = "untouched", error;
        EXPECT_FALSE(host::ExportRegistry(*m_device, missing, &text, &error)) << ToUtf8(missing);
        EXPECT_EQ(text, "untouched");
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    std::string text, error;
    host::ExportRegistry(*m_device, u"HKEY_LOCAL_MACHINE\\Software\\Nope", &text, &error);
    EXPECT_EQ(error, "registry key not found: HKEY_LOCAL_MACHINE\\Software\\Nope");
}

TEST_F(RegFileTest, ExportThenImportIsTheIdentity) {
    Populate();
    const std::string first = Export();

    /* Both forms of export read back into the same registry. */
    std::string error, second, ignored;
    std::unique_ptr<host::Device> other;
    for (auto encoding : {host::RegTextEncoding::Utf16, host::RegTextEncoding::Utf8}) {
        const bool utf16 = encoding == host::RegTextEncoding::Utf16;
        std::string text;
        ASSERT_TRUE(host::ExportRegistry(*m_device, {}, &text, &error, encoding)) << error;
        other = NewImage(utf16 ? "utf16" : "utf8");
        ASSERT_TRUE(host::ImportRegistry(*other, text, &error)) << error;
        ASSERT_TRUE(host::ExportRegistry(*other, {}, &second, &ignored));
        EXPECT_EQ(second, first) << (utf16 ? "UTF-16" : "UTF-8");
    }

    /* The bytes themselves survive, not only their text: a REG_SZ without terminator stays 4 bytes. */
    host::ScopedDevice scope(other.get());
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Vexor\\7.0", 0, 0, &key), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExW(key, u"NoNul", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 4u);
    RegCloseKey(key);

    /* Importing the same text again changes nothing. */
    ASSERT_TRUE(host::ImportRegistry(*other, first, &error)) << error;
    ASSERT_TRUE(host::ExportRegistry(*other, {}, &second, &ignored));
    EXPECT_EQ(second, first);
}

TEST_F(RegFileTest, ImportReadsVersion5Utf16ContinuationsCommentsAndDeletions) {
    SetSz(HKEY_LOCAL_MACHINE, u"Old\\Deep", u"x", u"1");
    SetSz(HKEY_LOCAL_MACHINE, u"Keep", u"gone", u"1");
    SetSz(HKEY_LOCAL_MACHINE, u"Keep", nullptr, u"d");
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n"
        u"\r\n"
        u"; a comment\r\n"
        u"[-HKEY_LOCAL_MACHINE\\Old]\r\n"
        u"[-HKEY_LOCAL_MACHINE\\NeverWas]\r\n"
        u"[HKEY_LOCAL_MACHINE\\Keep]\r\n"
        u"\"gone\"=-\r\n"
        u"@=-\r\n"
        u"\"Bytes\"=hex:01,02,\\\r\n"
        u"  03,04\r\n"
        u"\"\u0418\u043c\u044f\" = dword:FFFFFFFF\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) bytes += char(c & 0xFF), bytes += char(c >> 8);
    std::string error;
    ASSERT_TRUE(host::ImportRegistry(*m_device, bytes, &error)) << error;

    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Old"));
    EXPECT_EQ(Export(u"HKLM\\Keep"),
              "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Keep]\n\"Bytes\"=hex:01,02,03,04\n"
              "\"\xd0\x98\xd0\xbc\xd1\x8f\"=dword:ffffffff\n");

    /* UTF-8 with a BOM and LF line ends, abbreviated roots. */
    ASSERT_TRUE(host::ImportRegistry(*m_device, "\xEF\xBB\xBFREGEDIT4\n[HKCU\\Bom]\n\"a\"=\"b\"\n", &error)) << error;
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"Bom"));
}

TEST_F(RegFileTest, ImportErrorsNameTheirLineAndApplyNothing) {
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"", "line 1: expected the header REGEDIT4 or Windows Registry Editor Version 5.00"},
        {"\n\nREGEDIT5\n", "line 3: expected the header REGEDIT4 or Windows Registry Editor Version 5.00"},
        {"REGEDIT4\n\"a\"=\"b\"\n", "line 2: a value before the first [KEY] line"},
        {"REGEDIT4\n[HKCU\\A]\n\"a\"=\"b\\n\"\n", "line 3: unknown escape \\n in a quoted text (only \\\\ and \\\" are known)"},
        {"REGEDIT4\n[HKCU\\A]\n\"a\"=\"b\n", "line 3: quoted text without its closing quote"},
        {"REGEDIT4\n[HKCU\\A]\n\"a\"=dword:123456789\n", "line 3: dword: needs 1 to 8 hex digits"},
        {"REGEDIT4\n[HKCU\\A]\n\"a\"=hex:01,,02\n", "line 3: expected a hex byte in the list"},
        {"REGEDIT4\n[HKCU\\A]\n\"a\"=hex:01\\", "line 3: a '\\' continues a hex list only after a comma"},
        {"REGEDIT4\n[HKCU\\A]\n\"a\"=str:x\n",
         "line 3: unknown value data (expected \"text\", dword:, hex:, hex(N): or -)"},
        {"REGEDIT4\n[HKEY_USERS\\A]\n",
         "line 2: unknown root key \"HKEY_USERS\" (expected HKEY_CLASSES_ROOT, HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE)"},
        {"REGEDIT4\n[-HKEY_CURRENT_USER]\n", "line 2: a root key cannot be deleted"},
        {"REGEDIT4\n[HKCU\\A\n", "line 2: a key line must end with ']'"},
        {"REGEDIT4\n[-HKCU\\A]\n\"a\"=\"b\"\n", "line 3: a value under a [-KEY] deletion"},
        {"\xEF\xBB\xBFREGEDIT4\n[HKCU\\A]\n\"a\xff\"=\"b\"\n", "line 3: invalid UTF-8 text"},
        {"REGEDIT4\n[HKCU\\A]\n\"a\"=\"b\" x\n", "line 3: unexpected text after the closing quote"},
        {"\xFE\xFFREGEDIT4", "line 1: UTF-16 big-endian text is not supported (use UTF-16LE or UTF-8)"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(host::ImportRegistry(*m_device, c.text, &error)) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
    }
    /* UTF-16 text that stops in the middle of a unit, on its second line. */
    std::string error;
    EXPECT_FALSE(host::ImportRegistry(*m_device, std::string("\xFF\xFER\0\n\0x", 7), &error));
    EXPECT_EQ(error, "line 2: the UTF-16 text ends in half a character");
    /* A long value name is refused while parsing, so nothing before it is applied either. */
    std::string longName = "REGEDIT4\n[HKCU\\Applied]\n\"ok\"=\"1\"\n\"" + std::string(256, 'n') + "\"=\"x\"\n";
    EXPECT_FALSE(host::ImportRegistry(*m_device, longName, &error));
    EXPECT_EQ(error, "line 4: value name longer than 255 characters");
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Applied"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"A"));
    /* A key deeper than the registry allows is refused while parsing, and nothing is applied. */
    std::string deep = "REGEDIT4\n[HKCU\\Applied]\n[HKCU";
    for (int i = 0; i < 513; ++i) deep += "\\k";
    EXPECT_FALSE(host::ImportRegistry(*m_device, deep + "]\n", &error));
    EXPECT_EQ(error, "line 3: key deeper than 512 levels");
    std::string fits = "REGEDIT4\n[HKCU";
    for (int i = 0; i < 512; ++i) fits += "\\k";
    ASSERT_TRUE(host::ImportRegistry(*m_device, fits + "]\n", &error)) << error;
    EXPECT_TRUE(Exists(HKEY_CURRENT_USER, u"k"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Applied"));
}

TEST_F(RegFileTest, ParserTurnsTextIntoOperationsWithoutADevice) {
    host::ScopedDevice none(nullptr);
    std::vector<host::RegOperation> ops;
    std::string error;
    ASSERT_TRUE(host::ParseRegText("REGEDIT4\n\n[HKLM\\A\\B\\]\n@=\"v\"\n\"d\"=-\n\"t\"=hex(0):\n", &ops, &error))
        << error;
    ASSERT_EQ(ops.size(), 4u);
    EXPECT_EQ(ops[0].kind, host::RegOperation::Kind::CreateKey);
    EXPECT_EQ(ops[0].root, HKEY_LOCAL_MACHINE);
    EXPECT_EQ(ops[0].path, u"A\\B");
    EXPECT_EQ(ops[0].line, 3);
    EXPECT_EQ(ops[1].kind, host::RegOperation::Kind::SetValue);
    EXPECT_EQ(ops[1].name, u"");
    EXPECT_EQ(ops[1].data, (std::vector<uint8_t>{'v', 0, 0, 0}));
    EXPECT_EQ(ops[2].kind, host::RegOperation::Kind::DeleteValue);
    EXPECT_EQ(ops[2].name, u"d");
    EXPECT_EQ(ops[3].type, DWORD(REG_NONE));
    EXPECT_TRUE(ops[3].data.empty());

    /* On failure the operations list is left empty. */
    EXPECT_FALSE(host::ParseRegText("REGEDIT4\n[HKLM\\A]\n@=\"v\"\n@=bad\n", &ops, &error));
    EXPECT_TRUE(ops.empty());
}

}  // namespace
