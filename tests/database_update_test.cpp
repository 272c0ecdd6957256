// BaseUpdate: the rules file, the rules' syntax and substitutions, the result codes, the walk of
// records and rules, and what a bad rule or a failed write leaves behind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/db/database_store.h"
#include "host/db/db_text.h"
#include "host/db/record_blob.h"
#include "platform/database.h"
#include "platform/text.h"
#include "script/command_table.h"
#include "script/database_update.h"
#include "script_test_support.h"
#include "test_image.h"

namespace {

const WCHAR kRules[] = u"\\rules.txt";

class DatabaseUpdateTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        m_device->SetTraceSink([this](std::u16string_view line) { m_trace += ToUtf8(line); });
    }
    // Makes the database Items holding these records (dump text, one record a line).
    void Items(const std::string& records) {
        std::vector<std::string> blobs;
        size_t line = 0;
        std::string error;
        ASSERT_TRUE(host::cedb::ParseRecords(records, &blobs, &line, &error)) << line << ": " << error;
        bool created = false;
        ASSERT_EQ(m_device->Databases().ReplaceRecords(u"Items", blobs, &created), DWORD(ERROR_SUCCESS));
    }
    // Items' records as dump text.
    std::string Dump() {
        host::DatabaseStore::Info info;
        std::vector<std::string> blobs;
        if (m_device->Databases().FindByName(u"Items", &info) || m_device->Databases().ListRecords(info.oid, &blobs))
            return "<no Items>";
        std::string text, line;
        for (const std::string& blob : blobs) {
            EXPECT_TRUE(host::cedb::FormatRecord(blob, &line));
            text += line + "\n";
        }
        return text;
    }
    // Writes the rules file: the mark, then text as UTF-16LE.
    static void Rules(std::u16string_view text, std::string mark = "\xFF\xFE") {
        std::string bytes = mark;
        for (char16_t c : text) {
            bytes += char(c & 0xFF);
            bytes += char(c >> 8);
        }
        script_test::WriteDeviceFile(kRules, bytes);
    }
    static DWORD Update() { return UpdateDatabase(kRules); }

    std::string m_trace;
};

}  // namespace

// The file's own failures end the command before the database is touched: a missing file with
// the platform's error, no mark, only a name line (with a database that does not exist, which
// would fail the open).
TEST_F(DatabaseUpdateTest, FileFailuresChangeNothing) {
    EXPECT_EQ(Update(), DWORD(ERROR_FILE_NOT_FOUND));
    Items("2#31#Old;\n");
    script_test::WriteDeviceFile(kRules, "\xFF");
    EXPECT_EQ(Update(), kUpdateNoMark);
    Rules(u"Items\r\n2#31#Old;3#31#New;\r\n", "\xFE\xFF");
    EXPECT_EQ(Update(), kUpdateWrongMark);
    Rules(u"");
    EXPECT_EQ(Update(), kUpdateNoName);
    Rules(u"Nowhere\r\n");
    EXPECT_EQ(Update(), kUpdateNoRules);
    Rules(u"Nowhere\r\n2#31#Old;3#31#New;\r\n");
    EXPECT_EQ(Update(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Dump(), "2#31#Old;\n");
}

// Every record whose property matches gets the set property, replaced in place or appended, its
// other properties kept; a rule that matches no record adds one holding both properties.
TEST_F(DatabaseUpdateTest, RulesChangeEveryMatchingRecordAndInsertTheUnmatched) {
    Items("2#31#Old;3#31#Was;4#3#7;\n2#31#Other;\n1#18#5;2#31#Old;\n2#31#old;\n");
    Rules(u"Items\r\n2#31#Old;3#31#New;\r\n2#31#None;3#31#Added; anything after the second ; is ignored\r\n"
          u"1#18#5;4#3#-1;\r\n");
    EXPECT_EQ(Update(), 0u);
    EXPECT_EQ(Dump(),
              "2#31#Old;3#31#New;4#3#7;\n2#31#Other;\n1#18#5;2#31#Old;3#31#New;4#3#-1;\n2#31#old;\n"
              "2#31#None;3#31#Added;\n");
    /* Numbers compare by value and type: 16-bit values by their 16 bits. */
    Items("1#2#-1;\n1#18#65535;\n1#3#65535;\n");
    Rules(u"Items\n1#2#-1;9#19#1;\n1#3#65535;9#19#3;\n");
    EXPECT_EQ(Update(), 0u);
    EXPECT_EQ(Dump(), "1#2#-1;9#19#1;\n1#18#65535;\n1#3#65535;9#19#3;\n");
}

// A rule that does not parse ends the rules of every record at it and is the result, once the
// rules before it took full effect (applied, and inserted when they matched nothing); the
// separators of a property are checked before its type.
TEST_F(DatabaseUpdateTest, ABadRuleStopsTheRulesAfterIt) {
    Items("2#31#a;\n2#31#b;\n");
    Rules(u"Items\r\n2#31#a;3#31#A;\r\n2#31#z;3#31#Z;\r\n2#5#b;3#31#B;\r\n2#31#b;3#31#never;\r\n");
    EXPECT_EQ(Update(), 9000207u);
    EXPECT_EQ(Dump(), "2#31#a;3#31#A;\n2#31#b;\n2#31#z;3#31#Z;\n");

    struct Case {
        const char16_t* rule;
        DWORD code;
    } cases[] = {
        {u"2#31#a;3#31#A", 9000006},   // no final ";"
        {u"2#31#a;3#31#A;\r\n2#5#b;3#31#B;", 9000107},
        {u"2#31#a;3#5#A;", 9000008},
        {u"2#5#a;3#31", 9000007},
        {u"2#31a;3#31#A;", 9000006},
        {u"\r\n2#31#a;3#31#A;", 9000006},   // an empty line is a rule too
    };
    for (const Case& c : cases) {
        Items("2#31#a;\n");
        Rules(u"Items\r\n" + std::u16string(c.rule) + u"\r\n");
        EXPECT_EQ(Update(), c.code) << ToUtf8(c.rule);
        EXPECT_EQ(Dump(), c.code == 9000107 ? "2#31#a;3#31#A;\n" : "2#31#a;\n") << ToUtf8(c.rule);
    }
    /* A line longer than 2047 units is read in pieces, each a rule: the first lacks its ";". */
    Rules(u"Items\r\n2#31#a;3#31#" + std::u16string(3000, u'x') + u";\r\n");
    EXPECT_EQ(Update(), 9000006u);
}

// "?" and "\" in the file stand for U+F001 and U+F000, in what is compared and what is written.
TEST_F(DatabaseUpdateTest, QuestionMarkAndBackslashAreSubstituted) {
    bool created = false;
    std::string record;
    host::cedb::AppendProperty(&record, PROPID_FROM(2, CEVT_LPWSTR), std::string("a\0\0\xF0\x01\xF0", 6));
    ASSERT_EQ(m_device->Databases().ReplaceRecords(u"Items", {record}, &created), DWORD(ERROR_SUCCESS));
    Rules(u"Items\r\n2#31#a\\?;3#31#\\b?;\r\n");
    EXPECT_EQ(Update(), 0u);
    EXPECT_EQ(Dump(), "2#31#a\uF000\uF001;3#31#\uF000b\uF001;\n");
}

// Two rules that match one record both take effect: each writes only its own property, so the
// second does not put back what the first changed.
TEST_F(DatabaseUpdateTest, EveryRuleOnARecordTakesEffect) {
    Items("2#31#Old;3#31#x;4#31#y;\n");
    Rules(u"Items\r\n2#31#Old;3#31#A;\r\n2#31#Old;4#31#B;\r\n2#31#Old;2#31#New;\r\n2#31#Old;5#31#C;\r\n");
    EXPECT_EQ(Update(), 0u);
    /* Every rule matches the record as it was read. */
    EXPECT_EQ(Dump(), "2#31#New;3#31#A;4#31#B;5#31#C;\n");
}

// A write that fails leaves its record unchanged and ends that record's rules; the walk goes on
// with the next record, the rules applied elsewhere are not inserted, and the failure is the
// result and a trace line.
TEST_F(DatabaseUpdateTest, AFailedWriteLeavesItsRecordAndTheWalkGoesOn) {
    const std::string longText(300, 'L');
    Items("2#31#Old;\n2#31#Old;\n2#31#Shrink;3#31#" + longText + ";\n");
    Rules(u"Items\r\n2#31#Old;3#31#" + FromUtf8(longText) + u";\r\n2#31#Old;4#18#1;\r\n2#31#Shrink;3#31#s;\r\n");
    // Room for the first record's 608 more bytes, not for the second's.
    const uint64_t used = StoredBytes(m_device->StoreRoot()) + m_device->Databases().StoredBytes();
    ASSERT_TRUE(m_device->SetSetting("store.capacity", std::to_string(used + 900)));
    EXPECT_EQ(Update(), DWORD(ERROR_DISK_FULL));
    EXPECT_EQ(Dump(), "2#31#Old;3#31#" + longText + ";4#18#1;\n2#31#Old;\n2#31#Shrink;3#31#s;\n");
    EXPECT_NE(m_trace.find("not written by rule 0, error 112"), std::string::npos) << m_trace;
}

// A record that cannot be read (an image from someone else may hold anything) is passed over:
// the records after it are still updated, the rules they match are not inserted, and the
// failure is the result.
TEST_F(DatabaseUpdateTest, AnUnreadableRecordIsPassedOver) {
    Items("2#31#Old;\n2#31#Old;\n2#31#Old;\n");
    host::DatabaseStore::Info info;
    ASSERT_EQ(m_device->Databases().FindByName(u"Items", &info), DWORD(ERROR_SUCCESS));
    ASSERT_TRUE(m_device->Db()
                    .Prepare("UPDATE cedb_records SET props=x'0000' WHERE oid=(SELECT min(oid) FROM cedb_records WHERE db=?1)")
                    .Bind(1, int64_t(info.oid))
                    .Run());
    Rules(u"Items\r\n2#31#Old;3#31#New;\r\n");
    EXPECT_EQ(Update(), DWORD(ERROR_READ_FAULT));
    std::vector<std::string> blobs;
    ASSERT_EQ(m_device->Databases().ListRecords(info.oid, &blobs), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(blobs.size(), 3u) << "nothing inserted";
    std::string line;
    for (size_t i = 1; i < 3; ++i) {
        ASSERT_TRUE(host::cedb::FormatRecord(blobs[i], &line));
        EXPECT_EQ(line, "2#31#Old;3#31#New;");
    }
}

// The command returns 1 and clears the handled flag whatever happens; the result code is a trace
// line, and without "data" nothing is tried.
TEST_F(DatabaseUpdateTest, TheCommandReportsOnlyInTheTrace) {
    Items("2#31#Old;\n");
    Rules(u"Items\r\n2#31#Old;3#31#New;\r\n2#5#x;3#31#y;\r\n");
    ProcessList spared;
    CommandTable table(&spared);
    AttributeMap attributes;
    attributes.Add(NameHash(u"DATA"), kRules);
    DWORD result = 0;
    EXPECT_EQ(table.Execute(u"baseupdate", &attributes, &result, 0), 0);
    EXPECT_EQ(result, 1u);
    EXPECT_EQ(m_trace, "BaseUpdate \\rules.txt: 9000107\n");
    EXPECT_EQ(Dump(), "2#31#Old;3#31#New;\n");
    m_trace.clear();
    AttributeMap none;
    EXPECT_EQ(table.Execute(u"BaseUpdate", &none, &result, 0), 0);
    EXPECT_EQ(m_trace, "BaseUpdate: no data attribute\n");
}
