// The setup manifest of a device cabinet: what the writer writes, the reader reads back
// unchanged; a manifest whose offsets, counts, lengths or references do not hold is refused with
// the table and entry named, and nothing is read from it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/cabinet/ce_manifest.h"
#include "platform/registry.h"

namespace {

using host::CeManifest;

std::vector<uint8_t> Utf16(std::u16string_view text) {
    std::vector<uint8_t> data;
    for (char16_t unit : text) {
        data.push_back(uint8_t(unit & 0xFF));
        data.push_back(uint8_t(unit >> 8));
    }
    return data;
}

CeManifest Sample() {
    CeManifest m;
    m.appName = u"Vexor";
    m.provider = u"Norvane";
    m.unsupportedPlatforms = {u"HPC", u"Jupiter"};
    m.architecture = 2577;
    m.minVersionMajor = 4;
    m.minVersionMinor = 20;
    m.maxBuild = 0xFFFFFFFF;
    m.directories = {{1, {u"%CE2%"}}, {7, {u"%CE1%", u"Vexor", u"Skins"}}, {3, {u"%InstallDir%"}}};
    m.files = {{1, 1, 0, u"vexor.dll"}, {2, 7, host::kCeFileNoOverwrite | 0x80000000u, u"Classic.vxs"},
               {12, 3, 0, u"readme.txt"}};
    m.registryKeys = {{1, host::CeRegistryRoot::LocalMachine, {u"Software", u"Vexor"}},
                      {2, host::CeRegistryRoot::CurrentUser, {u"MUI"}}};
    host::CeRegistryValue dword{1, 0, false, u"Lang", REG_DWORD, {0x19, 0x04, 0, 0}};
    host::CeRegistryValue text{1, 1, true, u"Dir", REG_SZ, Utf16(std::u16string(u"%InstallDir%\\a") + u'\0')};
    host::CeRegistryValue multi{2, 0, false, u"", REG_MULTI_SZ, Utf16(std::u16string(u"a\0bc\0\0", 6))};
    host::CeRegistryValue binary{2, 0, false, u"Blob", REG_BINARY, {0, 1, 2, 0xFF}};
    m.registryValues = {dword, text, multi, binary};
    m.shortcuts = {{4, 1, true, {u"Vexor"}}, {11, 7, false, {u"Tools", u"Skins"}}, {0, 0, false, {u"Home"}}};
    return m;
}

std::string Written(const CeManifest& m, int codePage = 1252) {
    std::string bytes, error;
    EXPECT_TRUE(host::WriteCeManifest(m, codePage, &bytes, &error)) << error;
    return bytes;
}

uint16_t U16(const std::string& b, size_t at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }
uint32_t U32(const std::string& b, size_t at) { return U16(b, at) | uint32_t(U16(b, at + 2)) << 16; }
void PutU16(std::string* b, size_t at, uint16_t v) {
    (*b)[at] = char(v & 0xFF);
    (*b)[at + 1] = char(v >> 8);
}
void PutU32(std::string* b, size_t at, uint32_t v) {
    PutU16(b, at, uint16_t(v));
    PutU16(b, at + 2, uint16_t(v >> 16));
}

// Header fields: counts at 48 + 2*table, offsets at 60 + 4*table.
enum Table { kStrings, kDirs, kFiles, kHives, kKeys, kLinks };

// Expects the reader to refuse with a reason holding `words`, leaving the manifest as it was.
void ExpectRefused(const std::string& bytes, const std::string& words) {
    CeManifest untouched;
    untouched.appName = u"sentinel";
    std::string error;
    EXPECT_FALSE(host::ParseCeManifest(bytes, 1252, &untouched, &error));
    EXPECT_NE(error.find(words), std::string::npos) << "reason: " << error;
    EXPECT_EQ(untouched.appName, u"sentinel");
    EXPECT_TRUE(untouched.files.empty());
}

}  // namespace

TEST(CeManifest, ReadsBackWhatItWrote) {
    const CeManifest m = Sample();
    const std::string bytes = Written(m);
    ASSERT_EQ(bytes.substr(0, 4), "MSCE");
    EXPECT_EQ(U32(bytes, 8), bytes.size());
    CeManifest back;
    std::string error;
    ASSERT_TRUE(host::ParseCeManifest(bytes, 1252, &back, &error)) << error;
    EXPECT_EQ(back, m);
}

// Texts are in the device's ANSI code page: Cyrillic names survive on a 1251 device, and a name
// the code page cannot spell is refused by the writer rather than written wrongly.
TEST(CeManifest, TextsTravelInTheDevicesCodePage) {
    CeManifest m = Sample();
    m.appName = u"Клавиатура";
    m.files[0].name = u"Раскладка.dll";
    const std::string bytes = Written(m, 1251);
    EXPECT_NE(bytes.find("\xCA\xEB\xE0\xE2\xE8\xE0\xF2\xF3\xF0\xE0"), std::string::npos);
    CeManifest back;
    std::string error;
    ASSERT_TRUE(host::ParseCeManifest(bytes, 1251, &back, &error)) << error;
    EXPECT_EQ(back, m);
    std::string ignored;
    EXPECT_FALSE(host::WriteCeManifest(m, 1252, &ignored, &error));
    EXPECT_NE(error.find("code page"), std::string::npos) << error;
}

TEST(CeManifest, WriterRefusesWhatNoReaderCouldResolve) {
    std::string bytes, error;
    CeManifest twice = Sample();
    twice.directories[1].id = 1;
    EXPECT_FALSE(host::WriteCeManifest(twice, 1252, &bytes, &error));
    EXPECT_NE(error.find("used twice"), std::string::npos) << error;
    CeManifest dangling = Sample();
    dangling.shortcuts[0].target = 99;
    EXPECT_FALSE(host::WriteCeManifest(dangling, 1252, &bytes, &error));
    CeManifest shortNumber = Sample();
    shortNumber.registryValues[0].data.pop_back();
    EXPECT_FALSE(host::WriteCeManifest(shortNumber, 1252, &bytes, &error));
}

TEST(CeManifest, RefusesHeadersThatDoNotHold) {
    const std::string good = Written(Sample());
    ExpectRefused(good.substr(0, 60), "header needs 100 bytes");
    std::string bad = good;
    bad[0] = 'X';
    ExpectRefused(bad, "signature");
    ExpectRefused(good + "x", "length");
    bad = good;
    PutU16(&bad, 86, 200);  // the application name's length, past the end
    PutU16(&bad, 84, uint16_t(good.size() - 10));
    ExpectRefused(bad, "application name");
}

TEST(CeManifest, RefusesTablesAndEntriesPastTheEnd) {
    const std::string good = Written(Sample());
    std::string bad = good;
    PutU32(&bad, 60 + 4 * kStrings, uint32_t(good.size() + 1));
    ExpectRefused(bad, "string table");
    bad = good;
    PutU16(&bad, 48 + 2 * kFiles, 0xFFFF);
    ExpectRefused(bad, "file table");
    bad = good;
    PutU32(&bad, 60 + 4 * kLinks, 0xFFFFFFF0u);
    ExpectRefused(bad, "shortcut table");
    // The last string's length reaches past the end of the manifest.
    bad = good;
    const size_t firstString = U32(good, 60);
    PutU16(&bad, firstString + 2, 0xFFFF);
    ExpectRefused(bad, "string entry 0");
}

TEST(CeManifest, RefusesTextsWithoutTerminators) {
    const std::string good = Written(Sample());
    const size_t firstString = U32(good, 60);
    const size_t length = U16(good, firstString + 2);
    std::string bad = good;
    bad[firstString + 4 + length - 1] = 'x';
    ExpectRefused(bad, "not terminated");
    bad = good;
    bad[firstString + 4] = '\0';
    ExpectRefused(bad, "NUL inside");
    bad = good;
    const size_t firstFile = U32(good, 60 + 4 * kFiles);
    bad[firstFile + 12 + U16(good, firstFile + 10) - 1] = 'x';
    ExpectRefused(bad, "file entry 0's name is not terminated");
}

TEST(CeManifest, RefusesReferencesToNothing) {
    const std::string good = Written(Sample());
    std::string bad = good;
    const size_t firstFile = U32(good, 60 + 4 * kFiles);
    PutU16(&bad, firstFile + 2, 99);
    ExpectRefused(bad, "file entry 0: its directory 99");
    bad = good;
    const size_t firstDir = U32(good, 60 + 4 * kDirs);
    PutU16(&bad, firstDir + 4, 500);
    ExpectRefused(bad, "names string 500");
    bad = good;
    const size_t firstValue = U32(good, 60 + 4 * kKeys);
    PutU16(&bad, firstValue + 2, 77);
    ExpectRefused(bad, "registry value entry 0: its key 77");
    bad = good;
    PutU32(&bad, firstValue + 6, 0x00400001);
    ExpectRefused(bad, "unknown flags");
    bad = good;
    const size_t firstLink = U32(good, 60 + 4 * kLinks);
    PutU16(&bad, firstLink + 6, 55);
    ExpectRefused(bad, "target file 55");
    bad = good;
    PutU16(&bad, firstFile, 999);
    ExpectRefused(bad, "member number 999");
    // The first string ("%CE2%") emptied: a folder with an empty component is no folder.
    const size_t firstString = U32(good, 60);
    const size_t cut = U16(good, firstString + 2) - 1;
    bad = good.substr(0, firstString + 2) + std::string("\x01\x00\x00", 3) + good.substr(firstString + 4 + cut + 1);
    for (size_t table = kDirs; table <= kLinks; ++table) PutU32(&bad, 60 + 4 * table, U32(good, 60 + 4 * table) - uint32_t(cut));
    PutU32(&bad, 8, uint32_t(bad.size()));
    ExpectRefused(bad, "which is empty");
}
