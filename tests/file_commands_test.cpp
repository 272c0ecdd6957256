// The script's file commands on a fresh image per test, called as the command table calls them:
// with an attribute map keyed by name hashes. Trees are compared whole, as sorted lines
// "path" (folders end in '\') and "path=content".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "host/archive/archive.h"
#include "host/com/com_runtime.h"
#include "platform/archive.h"
#include "platform/files.h"
#include "platform/text.h"
#include "script/command_table.h"
#include "script/file_commands.h"
#include "test_image.h"

namespace {

using Tree = std::vector<std::string>;
constexpr DWORD kSentinel = 0xDEADBEEF;

struct Attr {
    const char16_t* name;
    std::u16string value;
};

DWORD Invoke(CommandHandler handler, std::initializer_list<Attr> attrs) {
    AttributeMap map;
    for (const Attr& a : attrs) map.Add(NameHash(a.name), a.value);
    ProcessList processes;
    CommandTable table(&processes);
    int handled = 1;
    DWORD result = handler(&table, &map, &handled);
    EXPECT_EQ(1, handled);
    return result;
}

bool Put(const std::u16string& path, std::string_view data) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(h, data.data(), DWORD(data.size()), &written, nullptr);
    return CloseHandle(h) && ok;
}

std::string Get(const std::u16string& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string data(1 << 16, '\0');
    DWORD read = 0;
    ReadFile(h, data.data(), DWORD(data.size()), &read, nullptr);
    CloseHandle(h);
    return data.substr(0, read);
}

// Makes the folders and files of a tree under folder: "a\" is a folder, "a\b=x" a file.
void Make(const std::u16string& folder, const Tree& tree) {
    CreateDirectoryW(folder.c_str(), nullptr);
    for (const std::string& line : tree) {
        size_t eq = line.find('=');
        std::u16string path = folder + u"\\" + FromUtf8(line.substr(0, eq));
        if (eq == std::string::npos) ASSERT_TRUE(CreateDirectoryW(path.substr(0, path.size() - 1).c_str(), nullptr)) << line;
        else ASSERT_TRUE(Put(path, line.substr(eq + 1))) << line;
    }
}

void List(const std::u16string& folder, const std::string& prefix, Tree* tree) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((folder + u"\\*.*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = prefix + ToUtf8(data.cFileName);
        std::u16string path = folder + u"\\" + data.cFileName;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            tree->push_back(name + "\\");
            List(path, name + "\\", tree);
        } else {
            tree->push_back(name + "=" + Get(path));
        }
    } while (FindNextFileW(h, &data));
    FindClose(h);
}

// The tree below folder; {"<missing>"} when folder is not there.
Tree Read(const std::u16string& folder) {
    if (!folder.empty() && GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) return {"<missing>"};
    Tree tree;
    List(folder, "", &tree);
    std::sort(tree.begin(), tree.end());
    return tree;
}

std::vector<std::string> Strings(CLPA* list) {
    std::vector<std::string> strings;
    for (int i = 0; i < list->GetCount(); ++i) strings.push_back(ToUtf8(list->GetString(i)));
    list->FreeAll();
    return strings;
}

using FileCommands = ImageTest;

// The one-to-one commands are the platform calls: one level of folder, overwrite on copy, no
// overwrite on move, only empty folders removed. Attribute names match in any ASCII case.
TEST_F(FileCommands, OneToOneCommandsAreThePlatformCalls) {
    EXPECT_EQ(TRUE, Invoke(CmdCreateDirectory, {{u"DESTINATION", u"\\A"}}));
    EXPECT_EQ(FALSE, Invoke(CmdCreateDirectory, {{u"Destination", u"\\A"}}));
    EXPECT_EQ(FALSE, Invoke(CmdCreateDirectory, {{u"Destination", u"\\X\\Y"}}));
    ASSERT_TRUE(Put(u"\\A\\f", "f") && Put(u"\\A\\g", "g") && Put(u"\\A\\h", "h"));
    EXPECT_EQ(TRUE, Invoke(CmdCopyFile, {{u"source", u"\\A\\f"}, {u"destination", u"\\A\\g"}}));
    EXPECT_EQ(FALSE, Invoke(CmdMoveFile, {{u"Source", u"\\A\\h"}, {u"Destination", u"\\A\\g"}}));
    EXPECT_EQ(TRUE, Invoke(CmdMoveFile, {{u"Source", u"\\A\\h"}, {u"Destination", u"\\A\\i"}}));
    EXPECT_EQ(FALSE, Invoke(CmdRemoveDirectory, {{u"Source", u"\\A"}}));
    EXPECT_EQ(TRUE, Invoke(CmdDeleteFile, {{u"Source", u"\\A\\f"}}));
    EXPECT_EQ((Tree{"g=f", "i=h"}), Read(u"\\A"));
    EXPECT_EQ(Tree{"<missing>"}, Read(u"\\X"));
    ASSERT_TRUE(DeleteFileW(u"\\A\\g") && DeleteFileW(u"\\A\\i"));
    EXPECT_EQ(TRUE, Invoke(CmdRemoveDirectory, {{u"Source", u"\\A"}}));
    EXPECT_EQ(Tree{"<missing>"}, Read(u"\\A"));
}

// A command without one of its attributes does nothing at all: no platform call is made, so
// even the last error is untouched.
TEST_F(FileCommands, AbsentAttributeSkipsTheCommand) {
    Make(u"\\S", {"a=a", "Programs\\", "Programs\\b=b"});
    const Tree before = Read(u"\\S");
    struct Case {
        CommandHandler handler;
        std::initializer_list<Attr> attrs;
        DWORD result;
    } cases[] = {
        {CmdCreateDirectory, {{u"Source", u"\\N"}}, FALSE},
        {CmdRemoveDirectory, {{u"Destination", u"\\S"}}, FALSE},
        {CmdCopyFile, {{u"Source", u"\\S\\a"}}, FALSE},
        {CmdMoveFile, {{u"Destination", u"\\S\\z"}}, FALSE},
        {CmdDeleteFile, {}, FALSE},
        {CmdCopyTo, {{u"FROM", u"\\S"}}, 1},
        {CmdLDAbsRename, {{u"FROM", u"\\S"}, {u"EMPTY", u"1"}}, 1},
        {CmdLDRename, {{u"FROM", u"Programs"}, {u"TO", u"Programme"}}, 1},
        {CmdSwap, {{u"FILE", u"\\S\\a"}, {u"NAMES", u"\\S\\a"}}, 1},
        {CmdExpand, {{u"TO", u"\\S"}}, 1},
    };
    for (const Case& c : cases) {
        SetLastError(kSentinel);
        EXPECT_EQ(c.result, Invoke(c.handler, c.attrs));
        EXPECT_EQ(kSentinel, GetLastError());
    }
    EXPECT_EQ(before, Read(u"\\S"));
}

// CopyTo merges a folder into an existing one, overwriting files of the same name and keeping
// the others; LDAbsRename empties the target first.
TEST_F(FileCommands, CopyToMergesWhileLDAbsRenameReplaces) {
    const Tree source = {"a=new", "sub\\", "sub\\b=b"};
    for (auto handler : {CmdCopyTo, CmdLDAbsRename}) {
        Make(u"\\S", source);
        Make(u"\\T", {"a=old", "keep=keep", "sub\\", "sub\\c=c"});
        Invoke(handler, {{u"FROM", u"\\S"}, {u"TO", u"\\T"}});
        if (handler == CmdCopyTo) EXPECT_EQ((Tree{"a=new", "keep=keep", "sub\\", "sub\\b=b", "sub\\c=c"}), Read(u"\\T"));
        else EXPECT_EQ((Tree{"a=new", "sub\\", "sub\\b=b"}), Read(u"\\T"));
        EXPECT_EQ((Tree{"a=new", "sub\\", "sub\\b=b"}), Read(u"\\S"));
        ASSERT_EQ(0u, filecmd::DeleteTree(u"\\S"));
        ASSERT_EQ(0u, filecmd::DeleteTree(u"\\T"));
    }
    // A file FROM is copied over TO; a missing FROM changes nothing.
    ASSERT_TRUE(Put(u"\\f", "f") && Put(u"\\g", "g"));
    Invoke(CmdCopyTo, {{u"FROM", u"\\f"}, {u"TO", u"\\g"}});
    Invoke(CmdCopyTo, {{u"FROM", u"\\missing"}, {u"TO", u"\\f"}});
    EXPECT_EQ((Tree{"f=f", "g=f"}), Read(u""));
}

// EMPTY "1", exactly, turns the copy into a move, for files and folders alike.
TEST_F(FileCommands, LDAbsRenameMovesOnlyWithEmptyOne) {
    struct Case {
        const char16_t* empty;  // null: no EMPTY attribute
        bool moves;
    } cases[] = {{u"1", true}, {u"0", false}, {u"yes", false}, {u" 1", false}, {u"", false}, {nullptr, false}};
    for (const Case& c : cases) {
        Make(u"\\D", {"f=f", "S\\", "S\\x=x"});
        SetFileAttributesW(u"\\D\\S\\x", FILE_ATTRIBUTE_READONLY);
        for (const char16_t* from : {u"\\D\\f", u"\\D\\S"}) {
            std::u16string to = std::u16string(from) + u"2";
            if (c.empty) Invoke(CmdLDAbsRename, {{u"FROM", from}, {u"TO", to}, {u"EMPTY", c.empty}});
            else Invoke(CmdLDAbsRename, {{u"FROM", from}, {u"TO", to}});
        }
        Tree copied = {"S2\\", "S2\\x=x", "f2=f"};
        Tree all = {"S2\\", "S2\\x=x", "S\\", "S\\x=x", "f2=f", "f=f"};
        EXPECT_EQ(c.moves ? copied : all, Read(u"\\D")) << (c.empty ? ToUtf8(c.empty) : "<none>");
        ASSERT_EQ(0u, filecmd::DeleteTree(u"\\D"));
    }
}

// EMPTY "1" deletes FROM only once all of it stands at TO. A TO in a missing folder, with a bad
// name, taken by a file (for a folder FROM) or a folder (for a file FROM) gets nothing and FROM
// stays; a TO too long for one of FROM's names gets the rest, and FROM stays whole.
TEST_F(FileCommands, LDAbsRenameKeepsFromUnlessAllOfItWasCopied) {
    const Tree tree = {"Folder\\", "S\\", "S\\Sub\\", "S\\Sub\\y=y", "S\\longername=l", "S\\x=x", "f=f", "taken=t"};
    struct Case {
        const char16_t* from;
        const char16_t* to;
    } cases[] = {{u"\\D\\S", u"\\none\\T"}, {u"\\D\\S", u"\\D\\a|b"}, {u"\\D\\S", u"\\D\\taken"},
                 {u"\\D\\f", u"\\none\\f"}, {u"\\D\\f", u"\\D\\a|b"}, {u"\\D\\f", u"\\D\\Folder"}};
    for (const Case& c : cases) {
        Make(u"\\D", tree);
        const Tree before = Read(u"");
        Invoke(CmdLDAbsRename, {{u"FROM", c.from}, {u"TO", c.to}, {u"EMPTY", u"1"}});
        EXPECT_EQ(before, Read(u"")) << ToUtf8(c.from) << " -> " << ToUtf8(c.to);
        filecmd::EmptyDirectory(u"\\");
    }
    Make(u"\\D", tree);
    std::u16string to = u"\\" + std::u16string(250, u't');  // to\longername is 262 units
    Invoke(CmdLDAbsRename, {{u"FROM", u"\\D\\S"}, {u"TO", to}, {u"EMPTY", u"1"}});
    EXPECT_EQ((Tree{"Sub\\", "Sub\\y=y", "x=x"}), Read(to));
    EXPECT_EQ(tree, Read(u"\\D"));
}

// A copy into FROM's own subtree (names compared in any case, name by name) is refused before
// anything is written, by CopyTo and LDAbsRename alike; a name that merely begins like FROM is
// no such place.
TEST_F(FileCommands, CopyIntoItsOwnSubtreeIsRefused) {
    const Tree tree = {"Sub\\", "Sub\\b=b", "a=a"};
    struct Case {
        CommandHandler handler;
        const char16_t* from;
        const char16_t* to;
    } cases[] = {{CmdCopyTo, u"\\Windows", u"\\Windows\\w"},
                 {CmdCopyTo, u"\\Copy", u"\\COPY\\sub\\w"},
                 {CmdLDAbsRename, u"\\Move", u"\\Move\\w"},
                 {CmdLDAbsRename, u"\\Rename", u"\\rename\\SUB\\w"}};
    for (const Case& c : cases) Make(c.from, tree);
    const Tree before = Read(u"");
    for (const Case& c : cases) {
        Invoke(c.handler, {{u"FROM", c.from}, {u"TO", c.to}, {u"EMPTY", u"1"}});
        EXPECT_EQ(tree, Read(c.from)) << ToUtf8(c.from) << " -> " << ToUtf8(c.to);
    }
    EXPECT_EQ(before, Read(u""));
    Invoke(CmdCopyTo, {{u"FROM", u"\\Windows"}, {u"TO", u"\\Windows2"}});
    Invoke(CmdLDAbsRename, {{u"FROM", u"\\Windows\\Sub"}, {u"TO", u"\\Windows\\Sub2"}, {u"EMPTY", u"1"}});
    EXPECT_EQ(tree, Read(u"\\Windows2"));
    EXPECT_EQ((Tree{"Sub2\\", "Sub2\\b=b", "a=a"}), Read(u"\\Windows"));
    // The other way round, emptying TO first would delete FROM before it was copied.
    const Tree windows = Read(u"\\Windows");
    Invoke(CmdLDAbsRename, {{u"FROM", u"\\Windows\\Sub2"}, {u"TO", u"\\WINDOWS"}, {u"EMPTY", u"1"}});
    Invoke(CmdLDAbsRename, {{u"FROM", u"\\Windows\\a"}, {u"TO", u"\\Windows"}});
    EXPECT_EQ(windows, Read(u"\\Windows"));
}

// Merged names often agree between languages: FROM equal to TO, in any case, changes nothing
// rather than emptying the folder or deleting the file.
TEST_F(FileCommands, SameNameRenamesChangeNothing) {
    const Tree tree = {"Programs\\", "Programs\\f=f", "Sub\\", "Sub\\programs=p"};
    Make(u"\\W", tree);
    Invoke(CmdLDAbsRename, {{u"FROM", u"\\W\\Programs"}, {u"TO", u"\\w\\PROGRAMS"}, {u"EMPTY", u"1"}});
    Invoke(CmdLDAbsRename, {{u"FROM", u"\\W\\Sub\\programs"}, {u"TO", u"\\W\\Sub\\Programs"}, {u"EMPTY", u"1"}});
    Invoke(CmdLDRename, {{u"FROM", u"Programs"}, {u"TO", u"PROGRAMS"}, {u"ROOT", u"\\W"}});
    EXPECT_EQ(tree, Read(u"\\W"));
}

// Every file named FROM in any case, at any depth, takes the name TO in its own folder
// (replacing a file of that name); then each folder named FROM is renamed, nested ones in later
// passes.
TEST_F(FileCommands, LDRenameRenamesFilesThenFoldersAtEveryDepth) {
    Make(u"\\Windows", {"A\\", "A\\programs=1", "A\\Programme=old", "B\\", "B\\PROGRAMS=2", "Programs\\", "Programs\\x=x",
                        "Programs\\Sub\\", "Programs\\Sub\\pRoGrAmS\\", "Programs\\Sub\\pRoGrAmS\\y=y",
                        "Programs\\Programs\\", "Programs\\Programs\\z=z"});
    Invoke(CmdLDRename, {{u"FROM", u"Programs"}, {u"TO", u"Programme"}, {u"ROOT", u"\\Windows"}});
    EXPECT_EQ((Tree{"A\\", "A\\Programme=1", "B\\", "B\\Programme=2", "Programme\\", "Programme\\Programme\\", "Programme\\Programme\\z=z",
                    "Programme\\Sub\\", "Programme\\Sub\\Programme\\", "Programme\\Sub\\Programme\\y=y",
                    "Programme\\x=x"}),
              Read(u"\\Windows"));
}

// An empty FROM would match every name and rename every file below ROOT onto one, each
// replacing the one before; an empty TO names the parent folder; a TO holding a backslash puts
// a folder's copy inside the folder, which is then deleted. Such a command changes nothing.
TEST_F(FileCommands, LDRenameRefusesEmptyNamesAndPathsAsTo) {
    struct Case {
        const char16_t* from;
        const char16_t* to;
        const char16_t* root;
    } cases[] = {{u"", u"x", u"\\R"},
                 {u"", u"x", u"\\Q"},
                 {u"Programs", u"", u"\\R"},
                 {u"Programs", u"Programs\\Sub", u"\\R"},
                 {u"Programs", u"Sub\\Programme", u"\\R"}};
    for (const Case& c : cases) {
        Make(u"\\R", {"a=a", "b=b", "c=c", "x=old", "Programs\\", "Programs\\f=f", "Sub\\", "Sub\\programs=p"});
        Make(u"\\Q", {"x\\", "x\\f=f"});
        const Tree before = Read(u"");
        Invoke(CmdLDRename, {{u"FROM", c.from}, {u"TO", c.to}, {u"ROOT", c.root}});
        EXPECT_EQ(before, Read(u"")) << "FROM=" << ToUtf8(c.from) << " TO=" << ToUtf8(c.to) << " in " << ToUtf8(c.root);
        filecmd::EmptyDirectory(u"\\");
    }
}

// A folder that cannot be deleted (mounted storage) would be found by every pass: the passes
// stop when it turns up again, after it was copied once.
TEST_F(FileCommands, LDRenameFolderPassesAreBounded) {
    Make(u"\\R", {});
    ASSERT_EQ(0u, m_device->Files().MountStorage(u"\\R\\Programs"));
    ASSERT_TRUE(Put(u"\\R\\Programs\\f", "f"));
    Invoke(CmdLDRename, {{u"FROM", u"Programs"}, {u"TO", u"Programme"}, {u"ROOT", u"\\R"}});
    EXPECT_EQ((Tree{"Programme\\", "Programme\\f=f", "Programs\\"}), Read(u"\\R"));

    // A folder whose copy is not whole (a name too long for the new path) stays.
    const std::u16string longName(250, u'n');
    Make(u"\\S", {"P\\", "P\\short=s"});
    ASSERT_TRUE(Put(u"\\S\\P\\" + longName, "l"));
    Invoke(CmdLDRename, {{u"FROM", u"P"}, {u"TO", u"Programme"}, {u"ROOT", u"\\S"}});
    EXPECT_EQ((Tree{ToUtf8(longName) + "=l", "short=s"}), Read(u"\\S\\P"));
}

// DeleteTree clears read-only bits of files and folders before deleting; an entry that still
// cannot go keeps its other bits, and the call reports the failure.
TEST_F(FileCommands, DeleteTreeClearsReadOnlyFirst) {
    Make(u"\\D", {"ro=1", "Sub\\", "Sub\\ro=2"});
    ASSERT_TRUE(SetFileAttributesW(u"\\D\\ro", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(u"\\D\\Sub\\ro", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(u"\\D\\Sub", FILE_ATTRIBUTE_READONLY));
    ASSERT_TRUE(SetFileAttributesW(u"\\D", FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(0u, filecmd::DeleteTree(u"\\D"));
    EXPECT_EQ(Tree{"<missing>"}, Read(u"\\D"));

    Make(u"\\E", {"f=f"});
    ASSERT_EQ(0u, m_device->Files().MountStorage(u"\\E\\Card"));
    ASSERT_TRUE(SetFileAttributesW(u"\\E\\Card", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    SetLastError(kSentinel);
    DWORD error = filecmd::DeleteTree(u"\\E");
    EXPECT_NE(0u, error);
    EXPECT_EQ(error, GetLastError());
    EXPECT_EQ(Tree{"Card\\"}, Read(u"\\E"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY),
              GetFileAttributesW(u"\\E\\Card"));
}

// CopyTree's results: the source's kind when it is no folder, 1 for a file in the target's place
// or a target it created, 0 for an existing target, the error when the target cannot be made.
TEST_F(FileCommands, CopyTreeResults) {
    Make(u"\\S", {"a=a"});
    ASSERT_TRUE(Put(u"\\file", "x"));
    ASSERT_TRUE(CreateDirectoryW(u"\\Existing", nullptr));
    using filecmd::CopyMode;
    EXPECT_EQ(0u, filecmd::CopyTree(u"\\missing", u"\\T", CopyMode::Merge));
    EXPECT_EQ(1u, filecmd::CopyTree(u"\\file", u"\\T", CopyMode::Merge));
    EXPECT_EQ(Tree{"<missing>"}, Read(u"\\T"));
    EXPECT_EQ(1u, filecmd::CopyTree(u"\\S", u"\\file", CopyMode::Merge));
    EXPECT_EQ("x", Get(u"\\file"));
    EXPECT_EQ(1u, filecmd::CopyTree(u"\\S", u"\\T", CopyMode::Merge));
    EXPECT_EQ(0u, filecmd::CopyTree(u"\\S", u"\\Existing", CopyMode::Merge));
    EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), filecmd::CopyTree(u"\\S", u"\\none\\T", CopyMode::Merge));
    EXPECT_EQ(Tree{"a=a"}, Read(u"\\T"));
    EXPECT_EQ(Tree{"a=a"}, Read(u"\\Existing"));
}

// A joined path of 260 units or more is refused, never cut into another name: the copy of a
// long name is skipped, not written under its first 259 units.
TEST_F(FileCommands, LongJoinedPathsAreRefused) {
    WCHAR buffer[MAX_PATH];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    std::u16string folder = u"\\" + std::u16string(200, u'd');
    std::u16string name(57, u'n');
    EXPECT_TRUE(filecmd::JoinPath(buffer, folder.c_str(), name.c_str()));  // 259 units
    EXPECT_EQ(folder + u"\\" + name, std::u16string(buffer));
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_FALSE(filecmd::JoinPath(buffer, folder.c_str(), (name + u"n").c_str()));
    EXPECT_EQ(std::u16string(MAX_PATH, u'#'), std::u16string(buffer, MAX_PATH));
    EXPECT_TRUE(filecmd::JoinPath(buffer, u"\\", u"a"));
    EXPECT_EQ(u"\\a", std::u16string(buffer));

    std::u16string target = u"\\" + std::u16string(240, u't');  // target\ + 17 units fits
    Make(u"\\S", {"short=s", std::string(17, 'a') + "=fits", std::string(18, 'a') + "=long"});
    Invoke(CmdCopyTo, {{u"FROM", u"\\S"}, {u"TO", target}});
    const Tree copied = {std::string(17, 'a') + "=fits", "short=s"};
    EXPECT_EQ(copied, Read(target));
    Invoke(CmdLDRename, {{u"FROM", u"short"}, {u"TO", std::u16string(20, u'x')}, {u"ROOT", target}});
    EXPECT_EQ(copied, Read(target));
}

// Names match when equal after upper-casing, beyond ASCII too, and an empty side matches
// anything; a prefix is no match.
TEST_F(FileCommands, CompareNoCaseRules) {
    EXPECT_EQ(0, filecmd::CompareNoCase(u"Programs", u"pROGRAMS"));
    EXPECT_EQ(0, filecmd::CompareNoCase(u"\u0444\u0430\u0439\u043B", u"\u0424\u0410\u0419\u041B"));
    EXPECT_EQ(0, filecmd::CompareNoCase(u"", u"anything"));
    EXPECT_EQ(0, filecmd::CompareNoCase(u"anything", u""));
    EXPECT_NE(0, filecmd::CompareNoCase(u"A", u"ab"));
}

// Name searches list in discovery order: a folder before what is found inside it; the file
// search never lists folders and the folder search never lists files.
TEST_F(FileCommands, NameSearchesListInDiscoveryOrder) {
    Make(u"\\R", {"Name=1", "A\\", "A\\NAME\\", "A\\NAME\\name=2", "B\\", "B\\name\\", "other=3"});
    CLPA list;
    filecmd::FindFilesByName(u"\\R", u"name", &list);
    EXPECT_EQ((std::vector<std::string>{"\\R\\Name", "\\R\\A\\NAME\\name"}), Strings(&list));
    filecmd::FindDirectoriesByName(u"\\R", u"Name", &list);
    EXPECT_EQ((std::vector<std::string>{"\\R\\A\\NAME", "\\R\\B\\name"}), Strings(&list));
    filecmd::FindFilesByName(u"\\missing", u"name", &list);
    EXPECT_EQ(0, list.GetCount());
}

// Swap keeps the file in use as the current language's variant and puts the target language's
// variant in its place; identifiers are lower-case hexadecimal without leading zeros.
TEST_F(FileCommands, SwapExchangesLanguageVariants) {
    Make(u"\\W", {"x.dll=en", "x.dll.0419=ru", "y.dll=en"});
    ASSERT_TRUE(SetFileAttributesW(u"\\W\\x.dll", FILE_ATTRIBUTE_READONLY));
    g_dwCurrentLanguage = 0x409;
    g_dwTargetLanguage = 0x419;
    Invoke(CmdSwap, {{u"NAME", u"\\W\\x.dll"}});
    Invoke(CmdSwap, {{u"NAME", u"\\W\\y.dll"}});
    EXPECT_EQ((Tree{"x.dll.0409=en", "x.dll=ru", "y.dll=en"}), Read(u"\\W"));

    g_dwCurrentLanguage = 0x40C;
    g_dwTargetLanguage = 0x7;
    Make(u"\\V", {"z=fr", "z.07=de"});
    Invoke(CmdSwap, {{u"NAME", u"\\V\\z"}});
    EXPECT_EQ((Tree{"z.040c=fr", "z=de"}), Read(u"\\V"));
    g_dwCurrentLanguage = g_dwTargetLanguage = 0;
}

// Without a file for the target language nothing changes, attributes included: switching to the
// same language again keeps the backup the first switch made, the only copy of the old text. A
// folder in the variant's place is no variant either.
TEST_F(FileCommands, SwapWithoutVariantChangesNothing) {
    Make(u"\\W", {"x.dll=en", "x.dll.0419=ru", "y.dll=ru", "y.dll.0409=en", "y.dll.0419\\"});
    g_dwCurrentLanguage = 0x409;
    g_dwTargetLanguage = 0x419;
    Invoke(CmdSwap, {{u"NAME", u"\\W\\x.dll"}});
    ASSERT_TRUE(SetFileAttributesW(u"\\W\\x.dll", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    const Tree once = {"x.dll.0409=en", "x.dll=ru", "y.dll.0409=en", "y.dll.0419\\", "y.dll=ru"};
    ASSERT_EQ(once, Read(u"\\W"));
    Invoke(CmdSwap, {{u"NAME", u"\\W\\x.dll"}});
    Invoke(CmdSwap, {{u"NAME", u"\\W\\y.dll"}});
    EXPECT_EQ(once, Read(u"\\W"));
    EXPECT_EQ(DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), GetFileAttributesW(u"\\W\\x.dll"));
    g_dwCurrentLanguage = g_dwTargetLanguage = 0;
}

// A step that fails stops the swap before anything is lost: a backup that cannot be written (a
// folder in its place) leaves NAME as it was, and a NAME that cannot be written (open without
// sharing writes) keeps the variant.
TEST_F(FileCommands, SwapStopsAtAFailedCopy) {
    g_dwCurrentLanguage = 0x409;
    g_dwTargetLanguage = 0x419;
    Make(u"\\W", {"x.dll=en", "x.dll.0409\\", "x.dll.0419=ru"});
    Invoke(CmdSwap, {{u"NAME", u"\\W\\x.dll"}});
    EXPECT_EQ((Tree{"x.dll.0409\\", "x.dll.0419=ru", "x.dll=en"}), Read(u"\\W"));

    Make(u"\\V", {"y.dll=en", "y.dll.0419=ru"});
    HANDLE open = CreateFileW(u"\\V\\y.dll", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    Invoke(CmdSwap, {{u"NAME", u"\\V\\y.dll"}});
    CloseHandle(open);
    EXPECT_EQ((Tree{"y.dll.0409=en", "y.dll.0419=ru", "y.dll=en"}), Read(u"\\V"));

    // Without a file in NAME's place there is nothing to keep: the variant takes it.
    Make(u"\\U", {"z.dll.0419=ru"});
    Invoke(CmdSwap, {{u"NAME", u"\\U\\z.dll"}});
    EXPECT_EQ((Tree{"z.dll=ru"}), Read(u"\\U"));
    g_dwCurrentLanguage = g_dwTargetLanguage = 0;
}

std::string Pattern(size_t size, int seed) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = char((i * 7 + seed) % 251);
    return bytes;
}

class ExpandCommand : public ImageTestBase<::testing::TestWithParam<const char*>> {
protected:
    void SetUp() override {
        ImageTestBase::SetUp();
        ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
        Make(u"\\Cab", {});
        for (const char* kind : {"plain.", "hostile."})
            InstallFile(std::filesystem::path(VX_TEST_DATA_DIR) / (kind + std::string(GetParam())),
                        u"\\Cab\\" + FromUtf8(kind) + u"arc");
    }
    void TearDown() override {
        CoUninitialize();
        ImageTestBase::TearDown();
    }
};

// The root files are extracted into TO, an existing longer file written over from its start
// without being cut; sub-folder items are not extracted, and a missing TO gets nothing.
TEST_P(ExpandCommand, ExtractsRootFilesIntoAnExistingFolder) {
    Make(u"\\Out", {"alpha.txt=XXXXXXXXXX"});
    Invoke(CmdExpand, {{u"FROM", u"\\Cab\\plain.arc"}, {u"TO", u"\\Out"}});
    EXPECT_EQ((Tree{"alpha.txt=alphaXXXXX", "empty.txt=", "exact.bin=" + Pattern(10240, 1),
                    "large.bin=" + Pattern(25000, 3)}),
              Read(u"\\Out"));
    Invoke(CmdExpand, {{u"FROM", u"\\Cab\\plain.arc"}, {u"TO", u"\\Missing"}});
    EXPECT_EQ(Tree{"<missing>"}, Read(u"\\Missing"));
}

// Names that climb out, are absolute or carry a drive write nothing anywhere in the image.
TEST_P(ExpandCommand, HostileNamesWriteNothingOutsideTo) {
    Make(u"\\Out", {"In\\"});
    Tree expected = Read(u"");
    Invoke(CmdExpand, {{u"FROM", u"\\Cab\\hostile.arc"}, {u"TO", u"\\Out\\In"}});
    expected.push_back("Out\\In\\safe.txt=safe");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, Read(u""));
}

// An output path of 260 units or more is refused rather than cut to a shorter name.
TEST_P(ExpandCommand, LongOutputPathIsRefused) {
    std::u16string to = u"\\" + std::u16string(200, u'o') + u"\\" + std::u16string(52, u'p');  // 254 units
    Make(u"\\" + std::u16string(200, u'o'), {});
    Make(to, {"alph=keep"});  // what "alpha.txt" would be cut to
    Invoke(CmdExpand, {{u"FROM", u"\\Cab\\plain.arc"}, {u"TO", to}});
    EXPECT_EQ(Tree{"alph=keep"}, Read(to));
}

INSTANTIATE_TEST_SUITE_P(FileCommands, ExpandCommand, ::testing::Values("cab", "zip"));

// A stand-in component checks the transfer itself: reads of exactly 10 240 bytes until the first
// short one, and item paths whose last part would leave TO refused. Its objects are static, so
// reference counts do not matter.
struct FakeItem final : IArchiveItem, ISequentialStream {
    const char16_t* path;
    std::vector<ULONG> reads;  // what each Read returns
    char fill;
    size_t next = 0;
    FakeItem(const char16_t* p, std::vector<ULONG> r, char f) : path(p), reads(std::move(r)), fill(f) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE get_Name(BSTR* name) override { return get_Path(name); }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* text) override { return (*text = SysAllocString(path)) ? S_OK : E_OUTOFMEMORY; }
    HRESULT STDMETHODCALLTYPE get_Size(ULONGLONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OpenStream(ISequentialStream** stream) override { return *stream = this, S_OK; }
    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
};
std::vector<FakeItem> g_fakeItems;
std::vector<ULONG> g_requested;

HRESULT FakeItem::Read(void* buffer, ULONG size, ULONG* read) {
    g_requested.push_back(size);
    *read = next < reads.size() ? reads[next++] : 0;
    memset(buffer, fill, *read);
    return S_OK;
}

struct FakeArchive final : IClassFactory, IArchive, IArchiveFolder, IArchiveItems {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        return *object = static_cast<IClassFactory*>(this), S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** object) override {
        return *object = static_cast<IArchive*>(this), S_OK;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Open(LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_RootFolder(IArchiveFolder** folder) override { return *folder = this, S_OK; }
    HRESULT STDMETHODCALLTYPE Close() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE get_Files(IArchiveItems** items) override { return *items = this, S_OK; }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override { return *count = LONG(g_fakeItems.size()), S_OK; }
    HRESULT STDMETHODCALLTYPE Item(LONG index, IArchiveItem** item) override { return *item = &g_fakeItems[index], S_OK; }
} g_fakeArchive;

TEST_F(FileCommands, ExpandTransfersInFixedChunksAndRefusesBadNames) {
    g_fakeItems = {{u"a\\b\\first", {10240, 10240, 100, 5}, 'a'},
                   {u"..", {1}, 'b'},
                   {u"x\\", {1}, 'c'},
                   {u"a/../../up", {1}, 'd'},
                   {u"whole", {10240, 0}, 'e'}};
    host::RegisterBuiltinClass(CLSID_Archive, []() -> IClassFactory* { return &g_fakeArchive; });
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    Make(u"\\Out", {});
    Invoke(CmdExpand, {{u"FROM", u"\\any"}, {u"TO", u"\\Out"}});
    CoUninitialize();
    host::RegisterBuiltinClass(CLSID_Archive, host::MakeArchiveFactory);
    EXPECT_EQ((Tree{"first=" + std::string(20580, 'a'), "whole=" + std::string(10240, 'e')}), Read(u"\\Out"));
    EXPECT_EQ(std::vector<ULONG>(5, 10240), g_requested);
}

}  // namespace
