// The registry commands of scripts: root and type selection, the conversions of the Data list
// into each value type, value deletion and the deletion of whole subtrees.
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "host/kernel/database.h"
#include "reg_test_image.h"
#include "script/command_table.h"
#include "script/registry_commands.h"

namespace {

// The Data list as the engine builds it: a zero-filled buffer of kDataListUnits units holding
// each child text with its terminator.
std::u16string DataList(std::initializer_list<std::u16string_view> texts) {
    std::u16string list(kDataListUnits, u'\0');
    size_t at = 0;
    for (std::u16string_view text : texts) {
        list.replace(at, text.size(), text);
        at += text.size() + 1;
    }
    return list;
}

class RegistryCommandsTest : public RegImageTest {
protected:
    // A command's map: name/value attribute pairs, then the Data list when one is given.
    static AttributeMap Attributes(std::initializer_list<std::pair<const char16_t*, std::u16string>> pairs) {
        AttributeMap map;
        for (const auto& [name, value] : pairs) map.Add(NameHash(name), value);
        return map;
    }
    static AttributeMap ValueCommand(const WCHAR* root, const WCHAR* type, std::initializer_list<std::u16string_view> data) {
        AttributeMap map;
        if (root) map.Add(NameHash(u"root"), root);
        map.Add(NameHash(u"path"), u"Software\\Test");
        map.Add(NameHash(u"name"), u"Value");
        if (type) map.Add(NameHash(u"type"), type);
        map.Add(NameHash(u"Data"), DataList(data));
        return map;
    }
    static DWORD Run(DWORD (*handler)(CommandTable*, AttributeMap*, int*), AttributeMap map, int* handledOut = nullptr) {
        int handled = 1;
        DWORD result = handler(nullptr, &map, &handled);
        if (handledOut) *handledOut = handled;
        return result;
    }
    // The stored bytes of a value, with its type; type kSentinel when missing.
    std::vector<BYTE> Stored(HKEY root, const WCHAR* path, const WCHAR* name, DWORD* type) {
        *type = kSentinel;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root, path, 0, 0, &key) != ERROR_SUCCESS) return {};
        std::vector<BYTE> data(40000);
        DWORD size = DWORD(data.size());
        if (RegQueryValueExW(key, name, nullptr, type, data.data(), &size) != ERROR_SUCCESS) *type = kSentinel;
        RegCloseKey(key);
        data.resize(*type == kSentinel ? 0 : size);
        return data;
    }
    std::vector<BYTE> Stored(DWORD* type) { return Stored(HKEY_LOCAL_MACHINE, u"Software\\Test", u"Value", type); }
    static std::vector<BYTE> Bytes(std::initializer_list<int> values) { return std::vector<BYTE>(values.begin(), values.end()); }
    static std::vector<BYTE> Units(std::u16string_view text) {
        const BYTE* p = reinterpret_cast<const BYTE*>(text.data());
        return std::vector<BYTE>(p, p + text.size() * 2);
    }
};

TEST_F(RegistryCommandsTest, RootIsChosenByExactCaseSensitiveName) {
    EXPECT_EQ(SelectRegRoot(u"HKCR"), HKEY_CLASSES_ROOT);
    EXPECT_EQ(SelectRegRoot(u"HKCU"), HKEY_CURRENT_USER);
    /* Lower case, a longer text, HKLM itself and a missing root all mean HKEY_LOCAL_MACHINE. */
    for (const WCHAR* name : {u"hkcu", u"HKCU ", u"HKLM", u"", static_cast<const WCHAR*>(nullptr)})
        EXPECT_EQ(SelectRegRoot(name), HKEY_LOCAL_MACHINE);

    DWORD type;
    EXPECT_EQ(Run(CmdCreateRegValue, ValueCommand(u"hkcu", nullptr, {u"lower"})), 1u);
    EXPECT_EQ(Stored(&type), Units({u"lower", 6}));
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, u"Software\\Test", u"Value", &type).size(), 0u);
    EXPECT_EQ(type, kSentinel);

    EXPECT_EQ(Run(CmdCreateRegValue, ValueCommand(u"HKCU", nullptr, {u"user"})), 1u);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, u"Software\\Test", u"Value", &type), Units({u"user", 5}));
    EXPECT_EQ(Run(CmdCreateRegValue, ValueCommand(nullptr, nullptr, {u"default root"})), 1u);
    EXPECT_EQ(Stored(&type), Units({u"default root", 13}));
}

TEST_F(RegistryCommandsTest, TypeIsChosenByExactName) {
    EXPECT_EQ(SelectRegType(u"BINARY"), DWORD(REG_BINARY));
    EXPECT_EQ(SelectRegType(u"DWORD"), DWORD(REG_DWORD));
    EXPECT_EQ(SelectRegType(u"MULTI_SZ"), DWORD(REG_MULTI_SZ));
    for (const WCHAR* name : {u"SZ", u"dword", u"REG_DWORD", u"EXPAND_SZ", static_cast<const WCHAR*>(nullptr)})
        EXPECT_EQ(SelectRegType(name), DWORD(REG_SZ));

    /* "dword" in lower case stores the text, not a number. */
    DWORD type;
    Run(CmdCreateRegValue, ValueCommand(nullptr, u"dword", {u"FF"}));
    EXPECT_EQ(Stored(&type), Units({u"FF", 3}));
    EXPECT_EQ(type, DWORD(REG_SZ));
}

TEST_F(RegistryCommandsTest, DwordDataIsHexadecimal) {
    struct Case {
        const char16_t* text;
        DWORD value;
    } cases[] = {
        {u"FF", 255}, {u"0x10", 16}, {u"10", 16}, {u"  1fz9", 0x1F}, {u"zz", 0}, {u"FFFFFFFFF", 0xFFFFFFFF},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.text));
        EXPECT_EQ(Run(CmdCreateRegValue, ValueCommand(nullptr, u"DWORD", {c.text})), 1u);
        DWORD type;
        std::vector<BYTE> data = Stored(&type);
        EXPECT_EQ(type, DWORD(REG_DWORD));
        ASSERT_EQ(data.size(), 4u);
        DWORD value;
        memcpy(&value, data.data(), 4);
        EXPECT_EQ(value, c.value);
    }
}

TEST_F(RegistryCommandsTest, BinaryDataIsHexNumbersWithOneSeparatorEach) {
    struct Case {
        const char16_t* text;
        std::vector<BYTE> bytes;
    } cases[] = {
        /* One number gives its low 8 bits. */
        {u"0A1", Bytes({0xA1})},
        {u"100", Bytes({0x00})},
        /* Any single character separates. */
        {u"01 02 ff", Bytes({0x01, 0x02, 0xFF})},
        {u"01,02,ff", Bytes({0x01, 0x02, 0xFF})},
        /* A second separator is read as a number that converts to nothing. */
        {u"01,,02", Bytes({0x01, 0x00, 0x02})},
        /* A trailing separator ends the list. */
        {u"7f,", Bytes({0x7F})},
        {u"", Bytes({})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.text));
        EXPECT_EQ(Run(CmdCreateRegValue, ValueCommand(nullptr, u"BINARY", {c.text})), 1u);
        DWORD type;
        EXPECT_EQ(Stored(&type), c.bytes);
        EXPECT_EQ(type, DWORD(REG_BINARY));
    }

    /* At most 16 384 bytes are stored; an attribute named Data is not bound by the list's size. */
    std::u16string longText;
    for (int i = 0; i < 20000; ++i) longText += u"5,";
    AttributeMap map = Attributes({{u"path", u"Software\\Test"}, {u"name", u"Value"}, {u"type", u"BINARY"}, {u"Data", longText}});
    EXPECT_EQ(Run(CmdCreateRegValue, std::move(map)), 1u);
    DWORD type;
    std::vector<BYTE> data = Stored(&type);
    EXPECT_EQ(data.size(), 16384u);
    EXPECT_EQ(data.back(), 0x05);
}

TEST_F(RegistryCommandsTest, MultiStringTakesTheWholeDataList) {
    DWORD type;
    EXPECT_EQ(Run(CmdCreateRegValue, ValueCommand(nullptr, u"MULTI_SZ", {u"a", u"b"})), 1u);
    EXPECT_EQ(Stored(&type), Units({u"a\0b\0\0", 5}));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));

    /* An empty list is only the closing empty text. */
    Run(CmdCreateRegValue, ValueCommand(nullptr, u"MULTI_SZ", {}));
    EXPECT_EQ(Stored(&type), Units({u"\0", 1}));

    /* An attribute named Data ends where its text ends. */
    AttributeMap map = Attributes({{u"path", u"Software\\Test"}, {u"name", u"Value"}, {u"type", u"MULTI_SZ"}, {u"DATA", u"one"}});
    Run(CmdCreateRegValue, std::move(map));
    EXPECT_EQ(Stored(&type), Units({u"one\0\0", 5}));
}

TEST_F(RegistryCommandsTest, StringTakesTheFirstTextAndItsMarkers) {
    struct Case {
        std::u16string_view text;
        std::u16string_view stored;
    } cases[] = {
        {u"first", {u"first", 6}},
        /* [NULL] anywhere gives the empty text, and is looked for before [SPACE]. */
        {u"abc[NULL]", {u"", 1}},
        {u"[SPACE][NULL]", {u"", 1}},
        {u"x[SPACE]y", {u" ", 2}},
        /* The markers are matched exactly. */
        {u"[null]", {u"[null]", 7}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(ToUtf8(c.text));
        EXPECT_EQ(Run(CmdCreateRegValue, ValueCommand(nullptr, u"SZ", {c.text, u"ignored"})), 1u);
        DWORD type;
        EXPECT_EQ(Stored(&type), Units(c.stored));
        EXPECT_EQ(type, DWORD(REG_SZ));
    }
}

TEST_F(RegistryCommandsTest, CreateCreatesMissingParentsAndSkipsIncompleteCommands) {
    AttributeMap deep = Attributes({{u"path", u"A\\B\\C"}, {u"name", u"N"}, {u"Data", DataList({u"v"})}});
    EXPECT_EQ(Run(CmdCreateRegValue, std::move(deep)), 1u);
    DWORD type;
    EXPECT_EQ(Stored(HKEY_LOCAL_MACHINE, u"A\\B\\C", u"N", &type), Units({u"v", 2}));

    /* Without path, name or Data nothing is created. */
    EXPECT_EQ(Run(CmdCreateRegValue, Attributes({{u"name", u"N"}, {u"Data", DataList({u"v"})}})), 0u);
    EXPECT_EQ(Run(CmdCreateRegValue, Attributes({{u"path", u"Skip1"}, {u"Data", DataList({u"v"})}})), 0u);
    EXPECT_EQ(Run(CmdCreateRegValue, Attributes({{u"path", u"Skip2"}, {u"name", u"N"}})), 0u);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Skip1"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Skip2"));

    /* A key that cannot be created (a name longer than 255 units) reports 0. */
    std::u16string tooLong(300, u'k');
    EXPECT_EQ(Run(CmdCreateRegValue, Attributes({{u"path", tooLong}, {u"name", u"N"}, {u"Data", DataList({u"v"})}})), 0u);
}

TEST_F(RegistryCommandsTest, DeleteValueRemovesOnlyThatValue) {
    SetSz(HKEY_CURRENT_USER, u"K", u"Gone", u"1");
    SetSz(HKEY_CURRENT_USER, u"K", u"Kept", u"2");
    EXPECT_EQ(Run(CmdDeleteRegValue, Attributes({{u"root", u"HKCU"}, {u"path", u"k"}, {u"name", u"GONE"}})), 1u);
    DWORD type;
    Stored(HKEY_CURRENT_USER, u"K", u"Gone", &type);
    EXPECT_EQ(type, kSentinel);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, u"K", u"Kept", &type), Units({u"2", 2}));

    /* A missing key does nothing; a missing value in an existing key still counts as done. */
    EXPECT_EQ(Run(CmdDeleteRegValue, Attributes({{u"root", u"HKCU"}, {u"path", u"Nope"}, {u"name", u"Kept"}})), 0u);
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"Nope"));
    EXPECT_EQ(Run(CmdDeleteRegValue, Attributes({{u"root", u"HKCU"}, {u"path", u"K"}, {u"name", u"Nope"}})), 1u);
    EXPECT_EQ(Stored(HKEY_CURRENT_USER, u"K", u"Kept", &type), Units({u"2", 2}));
}

TEST_F(RegistryCommandsTest, DeleteKeyRemovesTheWholeSubtree) {
    SetSz(HKEY_LOCAL_MACHINE, u"P\\Doomed\\L1a\\L2\\L3", u"v", u"deep");
    SetSz(HKEY_LOCAL_MACHINE, u"P\\Doomed\\L1b", u"v", u"x");
    SetSz(HKEY_LOCAL_MACHINE, u"P\\Doomed", u"v", u"x");
    SetSz(HKEY_LOCAL_MACHINE, u"P\\Sibling", u"v", u"kept");
    EXPECT_EQ(Run(CmdDeleteRegKey, Attributes({{u"path", u"P"}, {u"name", u"doomed"}})), 1u);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"P\\Doomed"));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"P\\Sibling"));

    /* A missing key does nothing; a missing subkey of an existing key is a harmless failure. */
    EXPECT_EQ(Run(CmdDeleteRegKey, Attributes({{u"path", u"Nope"}, {u"name", u"Sibling"}})), 0u);
    EXPECT_EQ(Run(CmdDeleteRegKey, Attributes({{u"path", u"P"}, {u"name", u"Nope"}})), 1u);
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, u"P\\Nope"), LONG(ERROR_FILE_NOT_FOUND));

    /* An empty or missing name never empties the key named by path. */
    EXPECT_EQ(Run(CmdDeleteRegKey, Attributes({{u"path", u"P"}, {u"name", u""}})), 0u);
    EXPECT_EQ(Run(CmdDeleteRegKey, Attributes({{u"path", u"P"}})), 0u);
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"P\\Sibling"));

    /* The tree helper removes a key with many siblings at one level. */
    for (int i = 0; i < 5; ++i) SetSz(HKEY_LOCAL_MACHINE, FormatW(u"Q\\T\\S%d", i).c_str(), u"v", u"x");
    EXPECT_EQ(DeleteKeyTree(HKEY_LOCAL_MACHINE, u"Q\\T"), LONG(ERROR_SUCCESS));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Q\\T"));
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"Q"));
}

TEST_F(RegistryCommandsTest, RenameKeyIsRecognisedButPassesTheCommandOn) {
    SetSz(HKEY_LOCAL_MACHINE, u"R", u"v", u"x");
    int handled = kSentinel;
    EXPECT_EQ(Run(CmdRenameRegKey, Attributes({{u"path", u"R"}, {u"name", u"v"}}), &handled), 0u);
    EXPECT_EQ(handled, 0);
    EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, u"R"));
}

}  // namespace

// A tree of any depth is deleted without a call per level: one deeper than the registry now
// makes (an image from elsewhere, written straight into its database) goes whole.
TEST_F(RegistryCommandsTest, DeleteKeyOfAVeryDeepTreeDoesNotExhaustTheStack) {
    SetSz(HKEY_LOCAL_MACHINE, u"Deep", u"v", u"x");
    host::Database& db = m_device->Db();
    int64_t parent = 0;
    {
        auto st = db.Prepare("SELECT id FROM reg_keys WHERE parent=3");
        ASSERT_EQ(st.Step(), SQLITE_ROW);
        parent = st.Int(0);
    }
    host::Database::Transaction tx(db);
    for (int i = 0; i < 20000; ++i) {
        ASSERT_TRUE(db.Prepare("INSERT INTO reg_keys(parent, name, folded) VALUES(?1, X'6B00', X'004B')")
                        .Bind(1, parent)
                        .Run());
        parent = db.LastInsertId();
    }
    ASSERT_TRUE(tx.Commit());
    EXPECT_EQ(Run(CmdDeleteRegKey, Attributes({{u"path", u""}, {u"name", u"Deep"}})), 1u);
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, u"Deep"));
    auto left = db.Prepare("SELECT count(*) FROM reg_keys WHERE id > 3");
    ASSERT_EQ(left.Step(), SQLITE_ROW);
    EXPECT_EQ(left.Int(0), 0);
}
