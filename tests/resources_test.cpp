// The resource readers over files the MinGW resource compiler wrote (PE32 for ARM, PE32+, .res,
// an ELF library's ".vxres"), and over hand-made malformed input.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "data/bitmap_pattern.h"
#include "data/resources_ids.h"
#include "host/gdi/bitmap.h"
#include "host/modules/elf_sections.h"
#include "host/modules/pe_image.h"
#include "host/modules/res_file.h"
#include "host/modules/version_info.h"

namespace {

using host::ResourceKey;
using host::ResourceTree;

std::vector<uint8_t> ReadData(const std::string& name) {
    std::ifstream in(std::string(VX_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::vector<uint8_t> Bytes(std::span<const uint8_t> span) { return {span.begin(), span.end()}; }

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = v & 0xFF;
    b[at + 1] = (v >> 8) & 0xFF;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

ResourceTree ReadSource(const std::string& file) {
    ResourceTree tree;
    std::string error;
    bool ok = file.ends_with(".res") ? host::ReadResFile(ReadData(file), &tree, &error)
                                     : host::ReadPeResources(ReadData(file), &tree, nullptr, &error);
    EXPECT_TRUE(ok) << file << ": " << error;
    return tree;
}

// The same .rc source compiled three ways must read the same.
class ResourceReader : public ::testing::TestWithParam<const char*> {
protected:
    ResourceTree m_tree = ReadSource(GetParam());
};

TEST_P(ResourceReader, NamesAndTypesAreFoundWithoutRegardToCase) {
    std::ifstream in(VX_SOURCE_DIR "/tests/data/layout.txt", std::ios::binary);
    std::vector<uint8_t> layout((std::istreambuf_iterator<char>(in)), {});
    ResourceKey type, name;
    ASSERT_TRUE(ResourceKey::FromArgument(u"rc_Data", &type));
    ASSERT_TRUE(ResourceKey::FromArgument(u"Layout", &name));
    const host::ResourceEntry* entry = m_tree.Find(type, name);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(Bytes(m_tree.Data(*entry)), layout);
    EXPECT_EQ(entry->language, 0x0409);
}

TEST_P(ResourceReader, HashNumberNamesANumericId) {
    ResourceKey type = ResourceKey::Name(u"RC_DATA"), name;
    ASSERT_TRUE(ResourceKey::FromArgument(u"#201", &name));
    EXPECT_TRUE(name.isNumber);
    EXPECT_EQ(name.number, IDR_NUMERIC_DATA);
    EXPECT_EQ(m_tree.Find(type, name), m_tree.Find(type, ResourceKey::Number(IDR_NUMERIC_DATA)));
    EXPECT_NE(m_tree.Find(type, name), nullptr);
    // A '#' not followed by a 16-bit decimal number is an ordinary name.
    ASSERT_TRUE(ResourceKey::FromArgument(u"#70000", &name));
    EXPECT_FALSE(name.isNumber);
}

TEST_P(ResourceReader, PredefinedNumericTypeHoldsInlineData) {
    const host::ResourceEntry* entry = m_tree.Find(ResourceKey::Number(10), ResourceKey::Name(u"inlinedata"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(Bytes(m_tree.Data(*entry)), (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 'A', 'B'}));
}

TEST_P(ResourceReader, LookupsTellAMissingTypeFromAMissingName) {
    host::ResourceLookup result;
    EXPECT_EQ(m_tree.Find(ResourceKey::Name(u"NOSUCHTYPE"), ResourceKey::Number(1), &result), nullptr);
    EXPECT_EQ(result, host::ResourceLookup::TypeNotFound);
    EXPECT_EQ(m_tree.Find(ResourceKey::Name(u"RC_DATA"), ResourceKey::Name(u"NOSUCHNAME"), &result), nullptr);
    EXPECT_EQ(result, host::ResourceLookup::NameNotFound);
    // A numeric type never matches the string spelling of the same word.
    EXPECT_EQ(m_tree.Find(ResourceKey::Number(10), ResourceKey::Name(u"LAYOUT")), nullptr);
}

TEST_P(ResourceReader, StringTablesAreFoundByBlockAndIndex) {
    std::u16string_view text;
    ASSERT_TRUE(host::FindTableString(m_tree, IDS_FIRST, &text));
    EXPECT_EQ(text, u"First string");
    ASSERT_TRUE(host::FindTableString(m_tree, IDS_BLOCK2, &text));
    EXPECT_EQ(text, u"In the second block");
    ASSERT_TRUE(host::FindTableString(m_tree, IDS_UNICODE, &text));
    EXPECT_EQ(text, u"Привет, Ελλάδα");
    ASSERT_TRUE(host::FindTableString(m_tree, IDS_LAST, &text));
    EXPECT_EQ(text, u"Last id");
    // Absent ids of a present block, empty strings and absent blocks are all missing.
    EXPECT_FALSE(host::FindTableString(m_tree, 3, &text));
    EXPECT_FALSE(host::FindTableString(m_tree, IDS_EMPTY, &text));
    EXPECT_FALSE(host::FindTableString(m_tree, 1000, &text));
}

TEST_P(ResourceReader, StoredBitmapsDecodeToThePattern) {
    const int ids[] = {IDB_BPP1, IDB_BPP1TD, IDB_BPP4, IDB_BPP8, IDB_BPP8TD, IDB_BPP24, IDB_BPP24TD, IDB_BPP32, IDB_BPP32BF};
    int i = 0;
    for (const auto& pattern : testdata::kPatternBitmaps) {
        SCOPED_TRACE(pattern.file);
        const host::ResourceEntry* entry = m_tree.Find(ResourceKey::Number(2), ResourceKey::Number(ids[i++]));
        ASSERT_NE(entry, nullptr);
        std::string error;
        auto bitmap = host::DecodeDib(m_tree.Data(*entry), &error);
        ASSERT_NE(bitmap, nullptr) << error;
        EXPECT_EQ(bitmap->Width(), pattern.width);
        EXPECT_EQ(bitmap->Height(), pattern.height);
        EXPECT_EQ(bitmap->Depth(), pattern.depth);
        for (int y = 0; y < pattern.height; ++y)
            for (int x = 0; x < pattern.width; ++x)
                ASSERT_EQ(bitmap->Pixel(x, y), testdata::PatternPixel(pattern, x, y)) << x << "," << y;
        if (pattern.depth <= 8) {
            EXPECT_EQ(bitmap->PaletteIndex(1, 1), testdata::PatternIndex(pattern, 1, 1));
        }
    }
}

TEST_P(ResourceReader, VersionResourceAnswersQueries) {
    const host::ResourceEntry* entry = m_tree.FindFirstOfType(ResourceKey::Number(16));
    ASSERT_NE(entry, nullptr);
    auto block = m_tree.Data(*entry);
    ASSERT_EQ(host::VersionBlockLength(block), block.size());
    const uint8_t* value = nullptr;
    UINT length = 0;

    ASSERT_TRUE(host::QueryVersionValue(block, u"\\", &value, &length));
    ASSERT_EQ(length, 52u);
    EXPECT_EQ(host::ReadLe32(value), 0xFEEF04BDu);
    EXPECT_EQ(host::ReadLe32(value + 8), 0x00070000u);   // FILEVERSION 7,0,...
    EXPECT_EQ(host::ReadLe32(value + 12), 0x00010017u);  // ...,1,23

    // Text lengths count UTF-16 units with the terminator; components fold case.
    ASSERT_TRUE(host::QueryVersionValue(block, u"\\stringfileinfo\\040904b0\\FILEDESCRIPTION", &value, &length));
    EXPECT_EQ(length, 18u);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(value)), u"Test skin library");
    ASSERT_TRUE(host::QueryVersionValue(block, u"\\StringFileInfo\\041904E3\\FileDescription", &value, &length));
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(value)), u"Тестовая библиотека");
    ASSERT_TRUE(host::QueryVersionValue(block, u"\\StringFileInfo\\040904B0\\Comments", &value, &length));
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(value[0] | value[1], 0);

    ASSERT_TRUE(host::QueryVersionValue(block, u"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 8u);
    EXPECT_EQ(host::ReadLe32(value), 0x04B00409u);
    EXPECT_EQ(host::ReadLe32(value + 4), 0x04E30419u);

    EXPECT_FALSE(host::QueryVersionValue(block, u"\\StringFileInfo\\040904B0\\ProductName", &value, &length));
    EXPECT_FALSE(host::QueryVersionValue(block, u"\\StringFileInfo\\04090000\\FileDescription", &value, &length));
    // A block cut short does not parse at all.
    EXPECT_FALSE(host::QueryVersionValue(block.first(block.size() - 1), u"\\", &value, &length));
}

INSTANTIATE_TEST_SUITE_P(CompiledThreeWays, ResourceReader,
                         ::testing::Values("skin_arm.dll", "skin_x64.dll", "resources.res"));

TEST(ResourceReaderHeaders, MachineAndFormatComeFromTheHeaders) {
    ResourceTree tree;
    host::PeHeaders arm, x64;
    ASSERT_TRUE(host::ReadPeResources(ReadData("skin_arm.dll"), &tree, &arm, nullptr));
    ASSERT_TRUE(host::ReadPeResources(ReadData("skin_x64.dll"), &tree, &x64, nullptr));
    EXPECT_EQ(arm.machine, 0x01C0);
    EXPECT_FALSE(arm.pe32Plus);
    EXPECT_EQ(arm.subsystem, 9);
    EXPECT_EQ(x64.machine, 0x8664);
    EXPECT_TRUE(x64.pe32Plus);
}

// A PE32 image whose only section (RVA 0x1000, file offset 0x200) is the resource section.
std::vector<uint8_t> SyntheticPe(const std::vector<uint8_t>& section) {
    std::vector<uint8_t> file(0x200 + section.size(), 0);
    file[0] = 'M';
    file[1] = 'Z';
    Put32(file, 0x3C, 0x40);
    std::memcpy(&file[0x40], "PE\0\0", 4);
    Put16(file, 0x44, 0x01C0);
    Put16(file, 0x46, 1);
    Put16(file, 0x54, 224);
    const size_t opt = 0x58;
    Put16(file, opt, 0x10B);
    Put32(file, opt + 92, 16);
    Put32(file, opt + 96 + 16, 0x1000);
    Put32(file, opt + 96 + 20, static_cast<uint32_t>(section.size()));
    const size_t table = opt + 224;
    std::memcpy(&file[table], ".rsrc", 5);
    Put32(file, table + 8, static_cast<uint32_t>(section.size()));
    Put32(file, table + 12, 0x1000);
    Put32(file, table + 16, static_cast<uint32_t>(section.size()));
    Put32(file, table + 20, 0x200);
    std::copy(section.begin(), section.end(), file.begin() + 0x200);
    return file;
}

// type 10 -> id 1 -> language 0x409 -> "hi": offsets of each piece, so tests can break one.
struct SmallDirectory {
    enum : size_t { kRoot = 0, kNames = 24, kLanguages = 48, kData = 72, kBytes = 88, kSize = 92 };
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kSize, 0);
    SmallDirectory() {
        for (size_t dir : {kRoot, kNames, kLanguages}) Put16(bytes, dir + 14, 1);
        Put32(bytes, kRoot + 16, 10);
        Put32(bytes, kRoot + 20, 0x80000000u | kNames);
        Put32(bytes, kNames + 16, 1);
        Put32(bytes, kNames + 20, 0x80000000u | kLanguages);
        Put32(bytes, kLanguages + 16, 0x409);
        Put32(bytes, kLanguages + 20, kData);
        Put32(bytes, kData, 0x1000 + kBytes);
        Put32(bytes, kData + 4, 2);
        bytes[kBytes] = 'h';
        bytes[kBytes + 1] = 'i';
    }
    bool Read(std::string* error) {
        ResourceTree tree;
        return host::ReadPeResources(SyntheticPe(bytes), &tree, nullptr, error);
    }
};

TEST(ResourceReaderMalformed, BrokenDirectoriesFailWithAReason) {
    std::string error;
    ASSERT_TRUE(SmallDirectory().Read(&error)) << error;

    struct Case {
        const char* rule;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"a directory that leads back to the root is a cycle", SmallDirectory::kLanguages + 20, 0x80000000u},
        {"a subdirectory beyond the section", SmallDirectory::kRoot + 20, 0x80000000u | 0x10000},
        {"an entry count beyond the section", SmallDirectory::kNames + 14, 0xFFFF},
        {"a data entry beyond the section", SmallDirectory::kLanguages + 20, 0x7FFFFFF0},
        {"data beyond the file", SmallDirectory::kData, 0x5000},
        {"an absurd data size", SmallDirectory::kData + 4, 0xFFFFFFF0u},
        {"data where a directory belongs", SmallDirectory::kRoot + 20, SmallDirectory::kData},
        {"a directory where data belongs", SmallDirectory::kLanguages + 20, 0x80000000u | SmallDirectory::kRoot},
        {"a name beyond the section", SmallDirectory::kRoot + 16, 0x80000000u | 0x9000},
        {"a name longer than the section", SmallDirectory::kRoot + 16, 0x80000000u | SmallDirectory::kBytes},
        {"a named language", SmallDirectory::kLanguages + 16, 0x80000000u | SmallDirectory::kBytes},
    };
    for (const auto& c : cases) {
        SmallDirectory dir;
        Put32(dir.bytes, c.at, c.value);
        error.clear();
        EXPECT_FALSE(dir.Read(&error)) << c.rule;
        EXPECT_FALSE(error.empty()) << c.rule;
    }
}

TEST(ResourceReaderMalformed, CutFilesFailBeforeTheirLastResource) {
    for (const char* file : {"skin_arm.dll", "skin_x64.dll", "resources.res"}) {
        SCOPED_TRACE(file);
        std::vector<uint8_t> whole = ReadData(file);
        ResourceTree full = ReadSource(file);
        size_t end = 0;
        for (const auto& entry : full.Entries()) end = std::max(end, entry.offset + entry.size);
        ASSERT_GT(end, 0u);
        for (size_t length = 0; length < end; ++length) {
            std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<long>(length));
            ResourceTree tree;
            bool isRes = std::string(file).ends_with(".res");
            bool ok = isRes ? host::ReadResFile(cut, &tree, nullptr) : host::ReadPeResources(cut, &tree, nullptr, nullptr);
            // A .res file cut between two entries is a shorter valid file; a PE file cut anywhere
            // before its last resource has lost data its directory points at.
            if (isRes) {
                EXPECT_TRUE(!ok || tree.Entries().size() < full.Entries().size()) << length;
            } else {
                EXPECT_FALSE(ok) << length;
            }
        }
    }
}

TEST(ResourceReaderMalformed, ResFilesJoinButRefuseGarbage) {
    std::vector<uint8_t> one = ReadData("resources.res");
    ResourceTree single = ReadSource("resources.res");
    std::vector<uint8_t> two = one;
    two.insert(two.end(), one.begin(), one.end());
    ResourceTree joined;
    ASSERT_TRUE(host::ReadResFile(two, &joined, nullptr));
    EXPECT_EQ(joined.Entries().size(), 2 * single.Entries().size());

    std::vector<uint8_t> padded = one;
    padded.insert(padded.end(), {0, 0, 0});
    EXPECT_TRUE(host::ReadResFile(padded, &joined, nullptr));
    std::vector<uint8_t> garbage = one;
    garbage.insert(garbage.end(), {1, 2, 3});
    EXPECT_FALSE(host::ReadResFile(garbage, &joined, nullptr));

    // The first real entry starts after the 32-byte marker entry.
    std::vector<uint8_t> huge = one;
    Put32(huge, 32, 0x7FFFFFFF);
    EXPECT_FALSE(host::ReadResFile(huge, &joined, nullptr));
    std::vector<uint8_t> tiny = one;
    Put32(tiny, 36, 8);
    EXPECT_FALSE(host::ReadResFile(tiny, &joined, nullptr));
}

// A DIB of the given header fields with palette and bits appended.
std::vector<uint8_t> Dib(int32_t width, int32_t height, int depth, uint32_t compression, uint32_t coloursUsed,
                         const std::vector<uint32_t>& palette, const std::vector<uint8_t>& bits) {
    std::vector<uint8_t> dib(40, 0);
    Put32(dib, 0, 40);
    Put32(dib, 4, static_cast<uint32_t>(width));
    Put32(dib, 8, static_cast<uint32_t>(height));
    Put16(dib, 12, 1);
    Put16(dib, 14, depth);
    Put32(dib, 16, compression);
    Put32(dib, 32, coloursUsed);
    for (uint32_t c : palette) {
        dib.resize(dib.size() + 4);
        Put32(dib, dib.size() - 4, c);
    }
    dib.insert(dib.end(), bits.begin(), bits.end());
    return dib;
}

TEST(DibDecoder, MonochromeRowsAreBottomUpWithTheirPalette) {
    // Rows of 4 bytes; the first stored row is the bottom one.
    auto dib = Dib(3, 2, 1, 0, 0, {0x00112233, 0x00AABBCC}, {0xA0, 0, 0, 0, 0x40, 0, 0, 0});
    auto bitmap = host::DecodeDib(dib, nullptr);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Depth(), 1);
    EXPECT_EQ(bitmap->WidthBytes(), 2);
    EXPECT_EQ(bitmap->Pixel(0, 1), 0x00AABBCCu);
    EXPECT_EQ(bitmap->Pixel(1, 1), 0x00112233u);
    EXPECT_EQ(bitmap->Pixel(2, 1), 0x00AABBCCu);
    EXPECT_EQ(bitmap->Pixel(1, 0), 0x00AABBCCu);
    EXPECT_EQ(bitmap->PaletteIndex(0, 0), 0);
}

TEST(DibDecoder, IndexBeyondAShortPaletteIsBlack) {
    auto dib = Dib(2, 1, 4, 0, 1, {0x00FFFFFF}, {0x05, 0, 0, 0});
    auto bitmap = host::DecodeDib(dib, nullptr);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Pixel(0, 0), 0x00FFFFFFu);
    EXPECT_EQ(bitmap->Pixel(1, 0), 0u);
    EXPECT_EQ(bitmap->PaletteIndex(1, 0), 5);
}

TEST(DibDecoder, SixteenBitsDefaultToFiveFiveFive) {
    auto dib = Dib(1, 1, 16, 0, 0, {}, {0x1F, 0x7C, 0, 0});  // 0x7C1F: red and blue full
    auto bitmap = host::DecodeDib(dib, nullptr);
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(bitmap->Pixel(0, 0), 0x00FF00FFu);
}

TEST(DibDecoder, UnsupportedOrAbsurdBitmapsAreRefused) {
    std::vector<uint8_t> row(4, 0);
    struct Case {
        const char* rule;
        std::vector<uint8_t> dib;
    } cases[] = {
        {"run-length compression", Dib(1, 1, 8, 1, 0, std::vector<uint32_t>(256), row)},
        {"a depth the device never stores", Dib(1, 1, 2, 0, 0, std::vector<uint32_t>(4), row)},
        {"bit fields on a palette depth", Dib(1, 1, 8, 3, 0, std::vector<uint32_t>(256), row)},
        {"no width", Dib(0, 1, 24, 0, 0, {}, row)},
        {"negative width", Dib(-4, 1, 24, 0, 0, {}, row)},
        {"no height", Dib(1, 0, 24, 0, 0, {}, row)},
        {"more pixels than any screen", Dib(0x10000, 0x10000, 24, 0, 0, {}, row)},
        {"a colour table cut short", Dib(1, 1, 8, 0, 0, {0, 0}, {})},
        {"a colour table that is too large", Dib(1, 1, 32, 0, 100000, {}, row)},
        {"bits cut short", Dib(5, 3, 24, 0, 0, {}, std::vector<uint8_t>(31))},
        {"a header cut short", std::vector<uint8_t>{40, 0, 0, 0, 1}},
        {"an old core header", std::vector<uint8_t>{12, 0, 0, 0, 1, 0, 1, 0, 1, 0, 24, 0}},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(host::DecodeDib(c.dib, &error), nullptr) << c.rule;
        EXPECT_FALSE(error.empty()) << c.rule;
    }
}

TEST(ElfSections, ResourceSectionOfTheTestModule) {
    std::vector<uint8_t> file = ReadData("libtestmodule.so");
    host::ElfSection section;
    ASSERT_EQ(host::FindElfSection(file, ".vxres", &section, nullptr), host::ElfLookup::Found);
    ResourceTree tree;
    ASSERT_TRUE(host::ReadResFile(std::vector<uint8_t>(file.begin() + static_cast<long>(section.offset),
                                                       file.begin() + static_cast<long>(section.offset + section.size)),
                                  &tree, nullptr));
    EXPECT_NE(tree.FindFirstOfType(ResourceKey::Number(16)), nullptr);
    EXPECT_EQ(host::FindElfSection(file, ".vxre", &section, nullptr), host::ElfLookup::NotFound);

    std::vector<uint8_t> fromDisk;
    EXPECT_EQ(host::ReadElfSection(std::string(VX_TEST_DATA_DIR) + "/libtestmodule.so", ".vxres", 1 << 20, &fromDisk,
                                   nullptr),
              host::ElfLookup::Found);
    EXPECT_EQ(fromDisk.size(), section.size);
    EXPECT_EQ(host::ReadElfSection(std::string(VX_TEST_DATA_DIR) + "/libtestmodule.so", ".vxres", 8, &fromDisk, nullptr),
              host::ElfLookup::Malformed);
}

TEST(ElfSections, BrokenHeadersAreMalformed) {
    std::vector<uint8_t> file = ReadData("libtestmodule.so");
    ASSERT_GT(file.size(), 64u);
    host::ElfSection section;
    auto lookup = [&](std::vector<uint8_t> bytes) { return host::FindElfSection(bytes, ".vxres", &section, nullptr); };

    std::vector<uint8_t> bigEndian = file;
    bigEndian[5] = 2;
    EXPECT_EQ(lookup(bigEndian), host::ElfLookup::Malformed);
    std::vector<uint8_t> farTable = file;
    Put32(farTable, 0x28, 0xFFFFFFF0u);
    Put32(farTable, 0x2C, 0xFFFFFFFFu);
    EXPECT_EQ(lookup(farTable), host::ElfLookup::Malformed);
    std::vector<uint8_t> manySections = file;
    Put16(manySections, 0x3C, 0xFFFE);
    EXPECT_EQ(lookup(manySections), host::ElfLookup::Malformed);
    std::vector<uint8_t> badNames = file;
    Put16(badNames, 0x3E, 0xFFF0);
    EXPECT_EQ(lookup(badNames), host::ElfLookup::Malformed);
    // The section table sits at the end of the file: every cut loses it.
    for (size_t length : {size_t{0}, size_t{15}, size_t{63}, file.size() / 2, file.size() - 1})
        EXPECT_EQ(lookup(std::vector<uint8_t>(file.begin(), file.begin() + static_cast<long>(length))),
                  host::ElfLookup::Malformed)
            << length;
}

}  // namespace
