// End-to-end: `pocketsim db` on fresh images, checked by what it prints and what the images hold
// afterwards; and the sample database through the language packages.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "host/kernel/device.h"
#include "platform/text.h"
#include "run_program.h"
#include "test_image.h"

namespace {

// Every type, and a text with every character the text form escapes.
const char kAllTypes[] =
    "1#2#-32768;2#18#65535;3#3#-2147483648;4#19#4294967295;5#11#01000000;6#5#000000000000f03f;"
    "7#64#0011223344556677;8#65#;9#65#00ff;10#31#a\\\\b\\;c\\#d\\r\\ne\tf \xD0\xAF \xF0\x9F\x98\x80 \\uD800;\n"
    "65535#31#;\n";

class PocketsimDbTest : public testing_support::PocketsimTestBase {
protected:
    std::string Dump(const std::string& image, const std::string& name) {
        auto r = Run({"db", image, "dump", name});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }
    // The text as a rules file: UTF-16LE with its mark.
    void WriteRules(const std::string& name, const std::u16string& text) {
        std::string bytes = "\xFF\xFE";
        for (char16_t c : text) {
            bytes += char(c & 0xFF);
            bytes += char(c >> 8);
        }
        WriteFile("image/store/Temp/" + name, bytes);
    }
};

}  // namespace

TEST_F(PocketsimDbTest, ListDumpLoadAndDrop) {
    Init();
    auto r = Run({"db", m_image, "list"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "\"Categories\" type=0x56430001 records=6\n");

    /* What load reads, dump writes back exactly. */
    WriteFile("types.txt", kAllTypes);
    r = Run({"db", m_image, "load", "Types", (m_dir / "types.txt").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Dump(m_image, "Types"), kAllTypes);
    /* Into another image, and back out: the same text. */
    const std::string other = (m_dir / "other").string();
    ASSERT_EQ(Run({"init", other}).exitCode, 0);
    const std::string categories = Dump(m_image, "Categories");
    WriteFile("categories.txt", categories);
    r = Run({"db", other, "load", "CATEGORIES", (m_dir / "categories.txt").string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Dump(other, "Categories"), categories);
    EXPECT_EQ(Run({"db", other, "list"}).out, "\"Categories\" type=0x56430001 records=6\n");
    /* Loading replaces every record; an empty file leaves none. */
    WriteFile("empty.txt", "");
    EXPECT_EQ(Run({"db", other, "load", "Categories", (m_dir / "empty.txt").string()}).exitCode, 0);
    EXPECT_EQ(Dump(other, "Categories"), "");

    r = Run({"db", m_image, "drop", "types"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Run({"db", m_image, "list"}).out, "\"Categories\" type=0x56430001 records=6\n");
    r = Run({"db", m_image, "drop", "Types"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "pocketsim: no database named Types\n");
}

// A malformed file is reported as FILE:LINE and changes nothing, neither an existing database
// nor the list of databases.
TEST_F(PocketsimDbTest, AMalformedLoadChangesNothing) {
    Init();
    const std::string before = Dump(m_image, "Categories");
    const std::string file = (m_dir / "bad.txt").string();
    struct Case {
        const char* text;
        const char* error;
    } cases[] = {
        {"1#18#1;\n1#18#70000;\n", ":2: property 1: a CEVT_UI2 value is a number from 0 to 65535"},
        {"1#18#1;2#31#x\n", ":1: property 2: no ';' ends its value"},
        {"1#18#1;\n\n1#18#2;\n", ":2: a record needs at least one property"},
        {"1#7#1;\n", ":1: property 1: the type is not one of 2, 3, 5, 11, 18, 19, 31, 64, 65"},
        {"70000#3#1;\n", ":1: property 1: the identifier is a number from 0 to 65535"},
        {"1#3#1;1#3#2;\n", ":1: property 2: 1#3 appears twice"},
        {"1#31#a#b;\n", ":1: property 1: a # in a text is written \\#"},
        {"1#31#a\\tb;\n", ":1: property 1: unknown escape \\t"},
        {"1#31#\xC3(;\n", ":1: property 1: not UTF-8 text"},
        {"1#11#01;\n", ":1: property 1: this type's value is 4 bytes"},
        {"1#65#0g;\n", ":1: property 1: a value in hexadecimal holds only 0-9 and a-f"},
        {"1#3#1;junk", ":1: property 2: expected ID#TYPE#VALUE;"},
    };
    for (const Case& c : cases) {
        WriteFile("bad.txt", c.text);
        for (const char* name : {"Categories", "New"}) {
            auto r = Run({"db", m_image, "load", name, file});
            EXPECT_EQ(r.exitCode, 1) << c.text;
            EXPECT_EQ(r.err, "pocketsim: " + file + c.error + "\n") << c.text;
        }
    }
    WriteFile("bad.txt", "1#31#" + std::string(40000, 'x') + ";\n");
    auto r = Run({"db", m_image, "load", "New", file});
    EXPECT_EQ(r.err, "pocketsim: " + file + ":1: property 1: a value holds at most 65472 bytes\n");
    EXPECT_EQ(Dump(m_image, "Categories"), before);
    EXPECT_EQ(Run({"db", m_image, "list"}).out, "\"Categories\" type=0x56430001 records=6\n");
}

// Bad usage is exit status 2, a failed run 1, each with one line on standard error.
TEST_F(PocketsimDbTest, UsageAndFailures) {
    Init();
    WriteFile("one.txt", "1#3#1;\n");
    const std::string one = (m_dir / "one.txt").string();
    for (std::vector<std::string> args : {std::vector<std::string>{"db"},
                                          {"db", m_image},
                                          {"db", m_image, "show"},
                                          {"db", m_image, "list", "x"},
                                          {"db", m_image, "dump"},
                                          {"db", m_image, "load", "X"},
                                          {"db", m_image, "dump", "0123456789012345678901234567890123"},
                                          {"db", m_image, "dump", ""},
                                          {"db", m_image, "drop", "a\tb"},
                                          {"db", m_image, "dump", "\xFF"},
                                          {"db", m_image, "list", "--force"}}) {
        auto r = Run(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_EQ(Lines(r.err), 1) << r.err;
    }
    for (std::vector<std::string> args : {std::vector<std::string>{"db", m_image, "dump", "Missing"},
                                          {"db", m_image, "load", "X", (m_dir / "missing.txt").string()},
                                          {"db", m_image, "load", "X", m_dir.string()},
                                          {"db", (m_dir / "nowhere").string(), "list"}}) {
        auto r = Run(args);
        EXPECT_EQ(r.exitCode, 1) << args.back();
        EXPECT_EQ(Lines(r.err), 1) << r.err;
    }
    auto r = testing_support::RunPocketsim({"db", m_image, "dump", "Categories"}, m_dir / "full", "/dev/full");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Lines(r.err), 1) << r.err;
}

// A load the object store has no room for fails saying so and changes nothing.
TEST_F(PocketsimDbTest, ALoadBeyondTheStoresCapacity) {
    Init();
    {
        std::string error;
        auto device = host::Device::Open(m_image, &error);
        ASSERT_TRUE(device) << error;
        ASSERT_TRUE(device->SetSetting("store.capacity", std::to_string(StoredBytes(device->StoreRoot()) + 4096)));
    }
    const std::string before = Dump(m_image, "Categories");
    std::string big;
    for (int i = 0; i < 200; ++i) big += "1#3#" + std::to_string(i) + ";2#31#" + std::string(20, 'x') + ";\n";
    WriteFile("big.txt", big);
    auto r = Run({"db", m_image, "load", "Categories", (m_dir / "big.txt").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "pocketsim: cannot load Categories: the object store is full (see init --store-size)\n");
    EXPECT_EQ(Dump(m_image, "Categories"), before);
}

// The sample packages rename the categories and, switched back, restore them exactly.
TEST_F(PocketsimDbTest, SwitchingToRussianAndBackRestoresTheSampleDatabase) {
    Init();
    const std::string english = Dump(m_image, "Categories");
    auto r = Run({"script", m_image, "\\Windows\\vl_0419.xml", "--companion", "\\Windows\\vl_0409.xml", "--cur", "409",
                  "--target", "419"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string russian = Dump(m_image, "Categories");
    EXPECT_EQ(russian.substr(0, russian.find('\n')), "1#18#1;2#31#Деловые;3#19#10112543;4#11#01000000;");
    EXPECT_EQ(Lines(russian), 6);
    r = Run({"script", m_image, "\\Windows\\vl_0409.xml", "--companion", "\\Windows\\vl_0419.xml", "--cur", "419",
             "--target", "409"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Dump(m_image, "Categories"), english);
}

// Programs updating one database at once lose nothing: two scripts set different properties of
// the same records while a third program reads them all.
TEST_F(PocketsimDbTest, ProgramsUpdatingOneDatabaseLoseNothing) {
    Init();
    constexpr int kRecords = 300;
    std::string records;
    std::u16string first = u"Categories\r\n", second = u"Categories\r\n";
    for (int i = 0; i < kRecords; ++i) {
        records += "1#3#" + std::to_string(i) + ";\n";
        first += u"1#3#" + FromUtf8(std::to_string(i)) + u";2#31#first;\r\n";
        second += u"1#3#" + FromUtf8(std::to_string(i)) + u";3#31#second;\r\n";
    }
    WriteFile("records.txt", records);
    ASSERT_EQ(Run({"db", m_image, "load", "Categories", (m_dir / "records.txt").string()}).exitCode, 0);
    WriteRules("first.rules", first);
    WriteRules("second.rules", second);
    WriteFile("image/store/Temp/first.xml", "<s><BaseUpdate data=\"\\Temp\\first.rules\"/></s>");
    WriteFile("image/store/Temp/second.xml", "<s><BaseUpdate data=\"\\Temp\\second.rules\"/></s>");

    std::vector<std::future<testing_support::RunResult>> runs;
    for (const char* script : {"\\Temp\\first.xml", "\\Temp\\second.xml"})
        runs.push_back(std::async(std::launch::async, [this, script, n = runs.size()] {
            return testing_support::RunPocketsim({"script", m_image, script}, m_dir / ("run" + std::to_string(n)));
        }));
    for (int i = 0; i < 3; ++i) {
        auto r = testing_support::RunPocketsim({"db", m_image, "dump", "Categories"}, m_dir / "reader");
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(Lines(r.out), kRecords);
    }
    for (auto& run : runs) EXPECT_EQ(run.get().exitCode, 0);
    const std::string after = Dump(m_image, "Categories");
    EXPECT_EQ(Lines(after), kRecords) << "nothing inserted";
    size_t start = 0;
    for (int i = 0; i < kRecords; ++i) {
        const std::string line = after.substr(start, after.find('\n', start) - start);
        start += line.size() + 1;
        EXPECT_NE(line.find("2#31#first;"), std::string::npos) << line;
        EXPECT_NE(line.find("3#31#second;"), std::string::npos) << line;
    }
}
