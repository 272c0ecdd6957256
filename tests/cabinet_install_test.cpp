// The cabinet installer on a fresh image, run in-process: what a cabinet installs and how it is
// removed; and that a cabinet it must refuse (a path out of the image, a setup library that does
// not load or that cancels, a store that fills up) leaves the device exactly as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "host/cabinet/ce_cabinet_builder.h"
#include "host/cabinet/install_plan.h"
#include "host/registry/regfile.h"
#include "host/shell/shortcut.h"
#include "platform/files.h"
#include "platform/modules.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "standins/cab_installer.h"
#include "test_image.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSetupLibrary = fs::path(VX_TEST_DATA_DIR) / "cab_setup.so";

std::string HostBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<uint8_t> Utf16(std::u16string_view text) {
    std::vector<uint8_t> data;
    for (char16_t unit : text) {
        data.push_back(uint8_t(unit & 0xFF));
        data.push_back(uint8_t(unit >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

struct InstallerRun {
    int code = -1;
    std::string out, err;
};

class CabInstaller : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        for (const WCHAR* folder : {u"\\Windows", u"\\Windows\\StartUp", u"\\Temp", u"\\Program Files"})
            ASSERT_TRUE(CreateDirectoryW(folder, nullptr));
    }

    // A cabinet of two files, three values and a start-up shortcut, by the package's provider.
    static host::CeCabinetDescription Description() {
        host::CeCabinetDescription d;
        d.appName = u"Dawn";
        d.provider = u"Norvane";
        d.memberBase = "DAWN";
        d.files.push_back({{{}, "program"}, u"%CE2%", u"Dawnstep.exe", 0});
        d.files.push_back({{{}, "notes"}, u"%InstallDir%\\Docs", u"readme.txt", 0});
        d.values.push_back({host::CeRegistryRoot::LocalMachine, u"Software\\Dawn", u"Count", REG_DWORD, {7, 0, 0, 0}});
        d.values.push_back(
            {host::CeRegistryRoot::CurrentUser, u"Software\\Dawn", u"Home", REG_SZ, Utf16(u"%InstallDir%\\Docs"), false, true});
        d.values.push_back(
            {host::CeRegistryRoot::LocalMachine, u"Software\\Dawn", u"Kept", REG_SZ, Utf16(u"new"), true});
        d.shortcuts.push_back({u"%CE4%", u"Dawnstep", u"Dawnstep.exe"});
        return d;
    }

    void PutCabinet(const std::string& bytes, const WCHAR* path = u"\\Temp\\t.cab") {
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
        CloseHandle(file);
    }
    void PutCabinet(const host::CeCabinetDescription& d) {
        std::string bytes, error;
        ASSERT_TRUE(host::BuildCeCabinet(d, &bytes, &error)) << error;
        PutCabinet(bytes);
    }
    // A cabinet the builder would refuse: the manifest and members written directly.
    void PutRawCabinet(const host::CeManifest& m, std::vector<host::CabinetMember> members) {
        std::string manifest, bytes, error;
        ASSERT_TRUE(host::WriteCeManifest(m, 1252, &manifest, &error)) << error;
        members.insert(members.begin(), {"RAW.000", manifest});
        ASSERT_TRUE(host::WriteCabinet(members, &bytes, &error)) << error;
        PutCabinet(bytes);
    }

    InstallerRun Install(std::u16string commandLine = u"/noui \\Temp\\t.cab") {
        InstallerRun run;
        char *out = nullptr, *err = nullptr;
        size_t outSize = 0, errSize = 0;
        FILE* outStream = open_memstream(&out, &outSize);
        FILE* errStream = open_memstream(&err, &errSize);
        run.code = standins::RunCabInstaller(commandLine, outStream, errStream);
        std::fclose(outStream);
        std::fclose(errStream);
        run.out.assign(out, outSize);
        run.err.assign(err, errSize);
        std::free(out);
        std::free(err);
        return run;
    }

    // Everything the device holds: each file with its content, and the registry.
    std::string Snapshot() {
        std::string text;
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(m_device->StoreRoot()))
            files.push_back(fs::relative(entry.path(), m_device->StoreRoot()).string() + "=" +
                            (entry.is_regular_file() ? HostBytes(entry.path()) : "<dir>"));
        std::sort(files.begin(), files.end());
        for (const std::string& line : files) text += line + "\n";
        std::string registry, error;
        EXPECT_TRUE(host::ExportRegistry(*m_device, u"", &registry, &error)) << error;
        return text + registry;
    }

    std::string DeviceFile(const WCHAR* path) {
        fs::path host;
        DWORD error = 0;
        return m_device->Files().ResolveExisting(path, &host, &error) ? HostBytes(host) : "<missing>";
    }

    std::u16string Text(HKEY root, const WCHAR* key, const WCHAR* name) {
        HKEY open = nullptr;
        WCHAR buffer[256] = {};
        DWORD size = sizeof buffer, type = 0;
        if (RegOpenKeyExW(root, key, 0, 0, &open) != ERROR_SUCCESS) return u"<no key>";
        const LONG rc = RegQueryValueExW(open, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        RegCloseKey(open);
        return rc == ERROR_SUCCESS ? std::u16string(buffer) : u"<no value>";
    }
    DWORD Number(HKEY root, const WCHAR* key, const WCHAR* name) {
        HKEY open = nullptr;
        DWORD value = 0xDEADBEEF, size = sizeof value, type = 0;
        if (RegOpenKeyExW(root, key, 0, 0, &open) != ERROR_SUCCESS) return 0xDEADBEEF;
        RegQueryValueExW(open, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        RegCloseKey(open);
        return value;
    }
    void SetAnswer(const WCHAR* name, DWORD answer) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\VxCabTest", 0, nullptr, 0, 0, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&answer), sizeof answer);
        RegCloseKey(key);
    }
    // The test setup library in the cabinet, trusted at its staged path as pocketsim trusts the
    // build's own.
    void AddSetupLibrary(host::CeCabinetDescription* d) {
        d->setupLibrary = host::CabinetContent{kSetupLibrary, {}};
        std::string reason;
        ASSERT_TRUE(host::TrustExpectedCode(*m_device, u"\\Windows\\DAWN.999", host::HashBytes(HostBytes(kSetupLibrary)),
                                            &reason))
            << reason;
    }
};

}  // namespace

TEST_F(CabInstaller, InstallsFilesValuesAndShortcutThenRemovesThem) {
    HKEY kept = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, u"Software\\Dawn", 0, nullptr, 0, 0, nullptr, &kept, nullptr), 0);
    const auto old = Utf16(u"old");
    RegSetValueExW(kept, u"Kept", 0, REG_SZ, old.data(), DWORD(old.size()));
    RegCloseKey(kept);
    PutCabinet(Description());

    const InstallerRun run = Install();
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "file \\Windows\\Dawnstep.exe\n"
              "file \\Program Files\\Dawn\\Docs\\readme.txt\n"
              "reg HKLM\\Software\\Dawn \"Count\"\n"
              "reg HKCU\\Software\\Dawn \"Home\"\n"
              "reg HKLM\\Software\\Dawn \"Kept\" kept\n"
              "shortcut \\Windows\\StartUp\\Dawnstep.lnk\n"
              "installed \"Norvane Dawn\"\n");
    EXPECT_EQ(DeviceFile(u"\\Windows\\Dawnstep.exe"), "program");
    EXPECT_EQ(DeviceFile(u"\\Program Files\\Dawn\\Docs\\readme.txt"), "notes");
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, u"Software\\Dawn", u"Count"), 7u);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, u"Software\\Dawn", u"Home"), u"\\Program Files\\Dawn\\Docs");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\Dawn", u"Kept"), u"old");
    host::Shortcut shortcut;
    std::string error;
    ASSERT_TRUE(host::ParseShortcut(DeviceFile(u"\\Windows\\StartUp\\Dawnstep.lnk"), 1252, &shortcut, &error)) << error;
    EXPECT_EQ(shortcut.target, u"\\Windows\\Dawnstep.exe");
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Apps\\Norvane Dawn", u"Instl"), 1u);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Apps\\Norvane Dawn", u"InstlDir"), u"\\Program Files\\Dawn");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Apps\\Norvane Dawn", u"CabFile"), u"\\Temp\\t.cab");

    const InstallerRun removal = Install(u"/u \"Norvane Dawn\"");
    ASSERT_EQ(removal.code, 0) << removal.err;
    EXPECT_EQ(DeviceFile(u"\\Windows\\Dawnstep.exe"), "<missing>");
    EXPECT_EQ(DeviceFile(u"\\Windows\\StartUp\\Dawnstep.lnk"), "<missing>");
    EXPECT_EQ(GetFileAttributesW(u"\\Program Files\\Dawn"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(u"\\Program Files"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, u"Software\\Dawn", u"Count"), 0xDEADBEEFu);
    // The value that was there before stays; the key it made for HKCU goes with its value.
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\Dawn", u"Kept"), u"old");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, u"Software\\Dawn", u"Home"), u"<no key>");
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Apps\\Norvane Dawn", u"Instl"), 0xDEADBEEFu);
    EXPECT_EQ(Install(u"/u \"Norvane Dawn\"").code, 1);
}

// A target outside the image is refused before anything is written, whichever way it leaves.
TEST_F(CabInstaller, PathsThatLeaveTheImageInstallNothing) {
    struct Case {
        host::CePath folder;
        std::u16string name;
    } cases[] = {
        {{u"%CE2%"}, u"..\\..\\x"}, {{u"%CE2%"}, u".."},        {{u"C:"}, u"x"},     {{u"%CE2%"}, u"C:\\x"},
        {{u"%CE2%"}, u"../../x"},   {{u"%CE2%", u".."}, u"x"}, {{u"/etc"}, u"x"},   {{u"%CE2%"}, u"a/b"},
        {{u"%CE99%"}, u"x"},        {{u"%CE2%", u"%CE1%"}, u"x"},
    };
    for (const Case& c : cases) {
        host::CeManifest m;
        m.appName = u"Evil";
        m.directories = {{1, c.folder}};
        m.files = {{1, 1, 0, u"ok.txt"}, {2, 1, 0, c.name}};
        PutRawCabinet(m, {{"RAW.001", "fine"}, {"RAW.002", "escape"}});
        const std::string withCabinet = Snapshot();
        const InstallerRun run = Install();
        EXPECT_EQ(run.code, 1) << ToUtf8(c.name);
        EXPECT_EQ(run.err.rfind("wceload: \\Temp\\t.cab: ", 0), 0u) << run.err;
        // Refused while planning, naming the entry, not when a write failed half way.
        EXPECT_TRUE(run.err.find(": directory 1 ") != std::string::npos || run.err.find(": file 2") != std::string::npos)
            << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(Snapshot(), withCabinet) << ToUtf8(c.name);
    }
    EXPECT_FALSE(fs::exists(m_dir / "x"));
    EXPECT_FALSE(fs::exists(m_device->Root() / "x"));
}

TEST_F(CabInstaller, RefusesWhatIsNoCabinetOrNoManifest) {
    PutCabinet(std::string("MSCF but nothing more"));
    InstallerRun run = Install();
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("wceload: \\Temp\\t.cab: "), std::string::npos) << run.err;
    std::string bytes, error;
    ASSERT_TRUE(host::WriteCabinet({{"DAWN.001", "x"}}, &bytes, &error)) << error;
    PutCabinet(bytes);
    run = Install();
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("no setup manifest"), std::string::npos) << run.err;
    EXPECT_EQ(Install(u"\\Temp\\missing.cab").code, 1);
    EXPECT_EQ(Install(u"/bogus x").code, 2);
    EXPECT_EQ(Install(u"").code, 2);
}

// A setup library that is no library, or one without the installer's exports, stops the
// installation before anything is written, and the staged copy goes too.
TEST_F(CabInstaller, SetupLibraryThatDoesNotServeInstallsNothing) {
    host::CeCabinetDescription garbage = Description();
    garbage.setupLibrary = host::CabinetContent{{}, "not a library at all"};
    PutCabinet(garbage);
    std::string before = Snapshot();
    InstallerRun run = Install();
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("\\Windows\\DAWN.999 does not load"), std::string::npos) << run.err;
    EXPECT_EQ(Snapshot(), before);

    // A library the emulator trusts, but not a setup library.
    host::CeCabinetDescription plain = Description();
    plain.setupLibrary = host::CabinetContent{VX_FLASHMGR_LIBRARY, {}};
    PutCabinet(plain);
    std::string reason;
    ASSERT_TRUE(host::TrustExpectedCode(*m_device, u"\\Windows\\DAWN.999",
                                        host::HashBytes(HostBytes(VX_FLASHMGR_LIBRARY)), &reason));
    before = Snapshot();
    run = Install();
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("lacks the export Install_Init"), std::string::npos) << run.err;
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(CabInstaller, SetupLibraryIsAskedBeforeAndToldAfter) {
    host::CeCabinetDescription d = Description();
    AddSetupLibrary(&d);
    PutCabinet(d);
    SetAnswer(u"InitAnswer", 1);
    const std::string before = Snapshot();
    InstallerRun run = Install();
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("Install_Init answered 1"), std::string::npos) << run.err;
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, u"Software\\VxCabTest", u"InitFlags"), 1u);
    // Only the library's own note differs.
    HKEY notes = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\VxCabTest", 0, 0, &notes), 0);
    RegDeleteValueW(notes, u"InitDir");
    RegDeleteValueW(notes, u"InitFlags");
    RegCloseKey(notes);
    EXPECT_EQ(Snapshot(), before);

    SetAnswer(u"InitAnswer", 0);
    run = Install();
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\VxCabTest", u"InitDir"), u"\\Program Files\\Dawn");
    HKEY key = nullptr;
    WORD counts[5] = {9, 9, 9, 9, 9};
    DWORD size = sizeof counts;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software\\VxCabTest", 0, 0, &key), 0);
    ASSERT_EQ(RegQueryValueExW(key, u"ExitCalls", nullptr, nullptr, reinterpret_cast<BYTE*>(counts), &size), 0);
    RegCloseKey(key);
    EXPECT_EQ(std::vector<WORD>(counts, counts + 5), std::vector<WORD>(5, 0));
    EXPECT_EQ(DeviceFile(u"\\Windows\\DAWN.999"), "<missing>");

    // Removal asks the library again, from the cabinet, which is still there; a refusal keeps all.
    SetAnswer(u"UninstallAnswer", 1);
    run = Install(u"/u Norvane Dawn");
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("Uninstall_Init answered 1"), std::string::npos) << run.err;
    EXPECT_EQ(DeviceFile(u"\\Windows\\Dawnstep.exe"), "program");
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, u"SOFTWARE\\Apps\\Norvane Dawn", u"Instl"), 1u);
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, u"Software\\VxCabTest", u"UninstallExitCalls"), 0xDEADBEEFu);

    SetAnswer(u"UninstallAnswer", 0);
    run = Install(u"/u Norvane Dawn");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(DeviceFile(u"\\Windows\\Dawnstep.exe"), "<missing>");
    EXPECT_EQ(Number(HKEY_LOCAL_MACHINE, u"Software\\VxCabTest", u"UninstallExitCalls"), 1u);
    EXPECT_EQ(DeviceFile(u"\\Windows\\DAWN.999"), "<missing>");
}

// A store that fills up half way: what the run wrote goes, what it replaced comes back.
TEST_F(CabInstaller, FullStoreUndoesTheWholeRun) {
    HANDLE old = CreateFileW(u"\\Windows\\Dawnstep.exe", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD written = 0;
    WriteFile(old, "previous", 8, &written, nullptr);
    CloseHandle(old);
    host::CeCabinetDescription d = Description();
    d.files[1].content.bytes = std::string(4000, 'n');
    PutCabinet(d);
    const std::string before = Snapshot();
    ASSERT_TRUE(m_device->SetSetting("store.capacity", std::to_string(m_device->Files().UsedBytes() + 2000)));
    const InstallerRun run = Install();
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("error 112"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("nothing was installed"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(DeviceFile(u"\\Windows\\Dawnstep.exe"), "previous");
}

// A folder where a file goes is not replaced: the run fails and leaves the folder as it was.
TEST_F(CabInstaller, FolderInTheWayOfAFileUndoesTheRun) {
    ASSERT_TRUE(CreateDirectoryW(u"\\Windows\\Dawnstep.exe", nullptr));
    PutCabinet(Description());
    const std::string before = Snapshot();
    const InstallerRun run = Install();
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("cannot write file \\Windows\\Dawnstep.exe (error 5)"), std::string::npos) << run.err;
    EXPECT_EQ(Snapshot(), before);
}

// The installer trusts nothing it writes: host code a cabinet brings runs only where the front
// end recorded the build's own content before the installation.
TEST_F(CabInstaller, InstalledHostCodeRunsOnlyWhenRecordedBeforehand) {
    host::CeCabinetDescription d = Description();
    d.files.push_back({{VX_FLASHMGR_LIBRARY, {}}, u"%CE2%", u"known.dll", 0});
    d.files.push_back({{VX_FLASHMGR_LIBRARY, {}}, u"%CE2%", u"unknown.dll", 0});
    std::string bytes, error;
    ASSERT_TRUE(host::BuildCeCabinet(d, &bytes, &error)) << error;
    PutCabinet(bytes);
    host::CeCabinet cabinet;
    host::InstallPlan plan;
    ASSERT_TRUE(host::ReadCeCabinet(bytes, {}, 1252, &cabinet, &error) && host::PlanInstall(cabinet, &plan, &error))
        << error;
    const auto expected = host::KnownCodeInPlan(cabinet, plan, {host::HashBytes(HostBytes(VX_FLASHMGR_LIBRARY))});
    ASSERT_EQ(expected.size(), 2u);
    ASSERT_TRUE(host::TrustExpectedCode(*m_device, expected[0].path, expected[0].hash, &error)) << error;
    ASSERT_EQ(Install().code, 0);
    HMODULE known = LoadLibraryW(u"\\Windows\\known.dll");
    EXPECT_NE(known, nullptr);
    if (known) FreeLibrary(known);
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(u"\\Windows\\unknown.dll"), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
}

// With its staged library and its cabinet both gone, removal has no one to ask and goes ahead.
TEST_F(CabInstaller, RemovalWithoutItsSetupLibraryAsksNoOne) {
    host::CeCabinetDescription d = Description();
    AddSetupLibrary(&d);
    PutCabinet(d);
    ASSERT_EQ(Install().code, 0);
    ASSERT_TRUE(DeleteFileW(u"\\Temp\\t.cab"));
    SetAnswer(u"UninstallAnswer", 1);
    const InstallerRun run = Install(u"/u Norvane Dawn");
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(DeviceFile(u"\\Windows\\Dawnstep.exe"), "<missing>");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, u"Software\\VxCabTest", u"UninstallDir"), u"<no value>");
}

// A cabinet is held to its limits as it is read, whatever its headers claim.
TEST(Cabinet, HostileSizesAreRefusedWhileReading) {
    std::string bytes, error;
    ASSERT_TRUE(host::WriteCabinet({{"A.000", "manifest"}, {"A.001", std::string(5000, 'x')}, {"A.002", "y"}}, &bytes,
                                   &error))
        << error;
    std::vector<host::CabinetMember> members;
    ASSERT_TRUE(host::ReadCabinet(bytes, {}, &members, &error)) << error;
    EXPECT_EQ(members.size(), 3u);
    EXPECT_EQ(members[1].bytes, std::string(5000, 'x'));
    members.clear();
    host::CabinetLimits small;
    small.maxMemberBytes = 4999;
    EXPECT_FALSE(host::ReadCabinet(bytes, small, &members, &error));
    EXPECT_NE(error.find("'A.001' is larger than 4999"), std::string::npos) << error;
    small = {};
    small.maxTotalBytes = 5005;
    EXPECT_FALSE(host::ReadCabinet(bytes, small, &members, &error));
    EXPECT_NE(error.find("more than 5005 bytes"), std::string::npos) << error;
    small = {};
    small.maxMembers = 2;
    EXPECT_FALSE(host::ReadCabinet(bytes, small, &members, &error));
    EXPECT_NE(error.find("more than 2 members"), std::string::npos) << error;
    EXPECT_TRUE(members.empty());
    // Cut short, the cabinet is refused rather than read in part.
    EXPECT_FALSE(host::ReadCabinet(bytes.substr(0, bytes.size() - 100), {}, &members, &error));
    EXPECT_TRUE(members.empty());
}
