// The sample content of a new image and its two language packages: switching from English to
// Russian localises the Start menu, the per-language file, the registry texts and the shell's
// button commands; switching back restores the image exactly.
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "frontend/sample_content.h"
#include "host/db/database_store.h"
#include "host/db/db_text.h"
#include "host/registry/regfile.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "script/command_table.h"
#include "script/conditions.h"
#include "script/rename_log.h"
#include "script/script_engine.h"
#include "test_image.h"

namespace {

class SampleContentTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        // What the image set-up makes before the sample content: \Windows and English as current.
        ASSERT_TRUE(CreateDirectoryW(u"\\Windows", nullptr));
        SetCurLang(0x409);
        std::string error;
        ASSERT_TRUE(setup::InstallSampleContent(*m_device, VX_SAMPLES_DIR, &error)) << error;
        ASSERT_TRUE(setup::InstallLanguagePackages(*m_device, VX_SAMPLES_DIR, &error)) << error;
    }
    void TearDown() override {
        ClearRenameLog();
        ImageTest::TearDown();
    }

    void SetCurLang(DWORD language) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"MUI", 0, nullptr, 0, 0, nullptr, &key, nullptr), ERROR_SUCCESS);
        RegSetValueExW(key, u"CurLang", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&language), 4);
        RegCloseKey(key);
    }

    // A language switch as the switcher makes it: run the target's package with the current
    // one as companion, then record the language and rewrite the button commands.
    void Switch(DWORD from, DWORD to) {
        g_dwCurrentLanguage = from;
        g_dwTargetLanguage = to;
        ClearRenameLog();
        std::u16string main = FormatW(u"\\Windows\\vl_%04x.xml", to);
        std::u16string companion = FormatW(u"\\Windows\\vl_%04x.xml", from);
        ProcessList processes;
        CommandTable table(&processes);
        ScriptEngine engine;
        ASSERT_EQ(engine.CreateDocument(), S_OK);
        engine.m_pSink = &table;
        EXPECT_EQ(engine.Run(main.c_str(), companion.c_str()), 1) << std::hex << engine.m_hrStatus;
        engine.ReleaseDocuments();
        SetCurLang(to);
        FixShellKeyCommands();
    }

    // Every file and folder below \ with its attributes and contents, sorted by path.
    std::vector<std::string> Tree() {
        std::vector<std::string> entries;
        Walk(u"", &entries);
        std::sort(entries.begin(), entries.end());
        return entries;
    }
    void Walk(const std::u16string& folder, std::vector<std::string>* entries) {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((folder + u"\\*.*").c_str(), &data);
        if (find == INVALID_HANDLE_VALUE) return;
        do {
            std::u16string path = folder + u"\\" + data.cFileName;
            std::string entry = ToUtf8(path) + " attributes=" + std::to_string(data.dwFileAttributes);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Walk(path, entries);
            else entry += " " + Contents(path.c_str());
            entries->push_back(entry);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    static std::string Contents(const WCHAR* path) {
        HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "<unreadable>";
        std::string bytes(65536, '\0');
        DWORD read = 0;
        ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
        CloseHandle(file);
        bytes.resize(read);
        return bytes;
    }
    std::string Registry() {
        std::string text, error;
        EXPECT_TRUE(host::ExportRegistry(*m_device, u"", &text, &error)) << error;
        return text;
    }
    std::u16string Text(const WCHAR* path, const WCHAR* name) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, 0, &key) != ERROR_SUCCESS) return u"<missing>";
        WCHAR buffer[600] = {};
        DWORD size = sizeof buffer - 2;
        LONG rc = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(key);
        return rc == ERROR_SUCCESS ? std::u16string(buffer) : u"<missing>";
    }
    // The categories database as dump text.
    std::string Categories() {
        host::DatabaseStore::Info info;
        std::vector<std::string> blobs;
        EXPECT_EQ(m_device->Databases().FindByName(u"Categories", &info), DWORD(ERROR_SUCCESS));
        EXPECT_EQ(m_device->Databases().ListRecords(info.oid, &blobs), DWORD(ERROR_SUCCESS));
        std::string text, line;
        for (const std::string& blob : blobs) {
            EXPECT_TRUE(host::cedb::FormatRecord(blob, &line));
            text += line + "\n";
        }
        return text;
    }
    static bool Exists(const WCHAR* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }
    std::string Journal() {
        std::ifstream in(m_device->Root() / "journal.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

TEST_F(SampleContentTest, EnglishStateHasShortcutsVariantsAndKeyCommands) {
    EXPECT_EQ(Contents(u"\\Windows\\Start Menu\\Programs\\Notes.lnk"), "20#\"\\Windows\\notes.exe\"");
    EXPECT_EQ(Contents(u"\\Windows\\Start Menu\\Programs\\Games\\Solitaire.lnk"), "23#\"\\Windows\\solitare.exe\"");
    EXPECT_EQ(Contents(u"\\Windows\\greeting.txt").rfind("Hello", 0), 0u);
    EXPECT_TRUE(Exists(u"\\Windows\\greeting.txt.0419"));
    EXPECT_TRUE(Exists(u"\\Windows\\vl_0409.xml"));
    EXPECT_TRUE(Exists(u"\\Windows\\vl_0419.xml"));
    EXPECT_EQ(Text(u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C3", u""), u"\\Windows\\Start Menu\\Programs\\Notes.lnk");
    EXPECT_EQ(Text(u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C3", u"ResetCmd"), u"\\windows\\notes.exe");
    EXPECT_EQ(Text(u"Software\\Vexor\\Sample\\Dictionary\\en-US", u"File"), u"\\Windows\\en-US.dic");
}

TEST_F(SampleContentTest, RussianPackageLocalisesEverything) {
    Switch(0x409, 0x419);
    /* The Start menu and every shortcut carry their Russian names; no English one is left. */
    EXPECT_FALSE(Exists(u"\\Windows\\Start Menu"));
    EXPECT_EQ(Contents(u"\\Windows\\Главное меню\\Программы\\Стандартные\\Часы.lnk"), "20#\"\\Windows\\clock.exe\"");
    for (const WCHAR* path : {u"\\Windows\\Главное меню\\Календарь.lnk", u"\\Windows\\Главное меню\\Контакты.lnk",
                              u"\\Windows\\Главное меню\\Программы\\Калькулятор.lnk",
                              u"\\Windows\\Главное меню\\Программы\\Заметки.lnk",
                              u"\\Windows\\Главное меню\\Программы\\Игры\\Пасьянс.lnk"})
        EXPECT_TRUE(Exists(path)) << ToUtf8(path);
    for (const std::string& entry : Tree()) {
        std::string path = entry.substr(0, entry.find(" attributes="));
        for (const char* english : {"Start Menu", "Programs", "Accessories", "Games", "Calendar", "Contacts",
                                    "Calculator", "Notes", "Clock", "Solitaire"})
            EXPECT_EQ(path.find(english), std::string::npos) << path;
    }

    /* The per-language file holds the Russian text; the English one is kept as its variant. */
    EXPECT_EQ(Contents(u"\\Windows\\greeting.txt").rfind("Здравствуйте", 0), 0u);
    EXPECT_EQ(Contents(u"\\Windows\\greeting.txt.0409").rfind("Hello", 0), 0u);
    EXPECT_FALSE(Exists(u"\\Windows\\greeting.txt.0419"));

    /* Registry texts of every type, the dictionary key and the setting of the If block. */
    EXPECT_EQ(Text(u"Software\\Vexor\\Sample", u"Welcome"), u"Добро пожаловать");
    EXPECT_EQ(Text(u"Software\\Vexor\\Sample", u"Folders"), u"Программы");
    EXPECT_EQ(Text(u"Software\\Vexor\\Sample\\Dictionary\\ru-RU", u"File"), u"\\Windows\\ru-RU.dic");
    EXPECT_EQ(Text(u"Software\\Vexor\\Sample\\Dictionary\\en-US", u"File"), u"<missing>");
    std::string exported = Registry();
    EXPECT_NE(exported.find("\"Locale\"=dword:00000419"), std::string::npos);
    EXPECT_NE(exported.find("\"Layout\"=hex:19,04,00,00"), std::string::npos);
    EXPECT_NE(exported.find("\"Transliterate\"=dword:00000001"), std::string::npos);

    /* The button commands follow the renamed folders and shortcuts. */
    EXPECT_EQ(Text(u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C3", u""), u"\\Windows\\Главное меню\\Программы\\Заметки.lnk");
    EXPECT_EQ(Text(u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C5", u""),
              u"\\Windows\\Главное меню\\Программы\\Стандартные\\Часы.lnk");
    EXPECT_EQ(Text(u"SOFTWARE\\Microsoft\\Shell\\Keys\\40C5", u"ResetCmd"), u"\\windows\\clock.exe");

    /* The categories database carries the Russian names and nothing more. */
    const std::string categories = Categories();
    EXPECT_EQ(categories.substr(0, categories.find('\n')), "1#18#1;2#31#Деловые;3#19#10112543;4#11#01000000;");
    EXPECT_EQ(std::count(categories.begin(), categories.end(), '\n'), 6);
    EXPECT_EQ(categories.find("Business"), std::string::npos);

    /* The block for a switch from German did not run: no message box was shown. */
    EXPECT_EQ(Journal().find("MessageBox"), std::string::npos);
}

TEST_F(SampleContentTest, SwitchingBackRestoresTheImageExactly) {
    std::string registry = Registry();
    std::vector<std::string> tree = Tree();
    std::string categories = Categories();
    Switch(0x409, 0x419);
    ASSERT_NE(Registry(), registry);
    ASSERT_NE(Categories(), categories);
    Switch(0x419, 0x409);
    EXPECT_EQ(Registry(), registry);
    EXPECT_EQ(Tree(), tree);
    EXPECT_EQ(Categories(), categories);
    /* And once more: the round trip does not drift. */
    Switch(0x409, 0x419);
    Switch(0x419, 0x409);
    EXPECT_EQ(Registry(), registry);
    EXPECT_EQ(Tree(), tree);
    EXPECT_EQ(Categories(), categories);
}

}  // namespace
