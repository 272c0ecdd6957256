// The script engine: loading, the walk that turns command elements into attribute maps and Data
// lists, `If` resolution, the companion merge into the RenameLog, and how Run fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_program.h"
#include "script_test_support.h"
#include "test_image.h"
#include "platform/registry.h"
#include "platform/winerror.h"
#include "script/reghelpers.h"
#include "script/rename_log.h"
#include "script/script_engine.h"

using script_test::DataTexts;
using script_test::RecordingSink;
using script_test::WriteDeviceFile;

namespace {

constexpr HRESULT kStatusSentinel = HRESULT(0xDEADBEEF);

class ScriptEngineTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        ClearRenameLog();
        m_engine.m_hrStatus = kStatusSentinel;
        ASSERT_EQ(m_engine.CreateDocument(), S_OK);
        m_engine.m_pSink = &m_sink;
    }
    void TearDown() override {
        m_engine.ReleaseDocuments();
        ClearRenameLog();
        ImageTest::TearDown();
    }
    void SetCurLang(DWORD language) {
        ASSERT_EQ(RegWriteValue(HKEY_CURRENT_USER, u"MUI", u"CurLang", &language, 4, u"REG_DWORD"), 0);
    }
    // Writes the script to \main.xml and runs it.
    int RunScript(const std::string& xml) {
        WriteDeviceFile(u"\\main.xml", xml);
        return m_engine.Run(u"\\main.xml", nullptr);
    }
    const AttributeEntry* Attribute(size_t command, const WCHAR* name) {
        for (auto& entry : m_sink.commands.at(command).attributes)
            if (entry.key == NameHash(name)) return &entry;
        return nullptr;
    }

    ScriptEngine m_engine;
    RecordingSink m_sink;
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The walk

// Only element children of the root are commands; comments, texts and processing instructions
// among them are passed over, and each command arrives with skip 0.
TEST_F(ScriptEngineTest, OnlyRootElementsReachTheSinkInDocumentOrder) {
    ASSERT_EQ(RunScript("<?xml version=\"1.0\"?>\n<script>\n <!-- note -->\n <description NAME=\"Deutsch\"/>\n"
                        " loose text\n <?pi data?>\n <CopyFile Source=\"a\"/>\n <Msg text=\"t\"><Inner/></Msg>\n"
                        "</script>"),
              1);
    EXPECT_EQ(m_engine.m_hrStatus, S_OK);
    EXPECT_EQ(m_sink.Names(), "description CopyFile Msg");
    EXPECT_EQ(m_sink.skips, std::vector<int>(3, 0));
}

// Attributes keep the DOM's order, keyed by the hash of their names, values copied as written
// (spaces kept). The Data list comes after them, and an attribute named Data is found first.
TEST_F(ScriptEngineTest, AttributesKeepTheirOrderAndADataAttributeComesFirst) {
    ASSERT_EQ(RunScript("<s><CreateRegValue root=\"HKCU\" path=\" p \" DATA=\"own\" name=\"n\"><v>child</v>"
                        "</CreateRegValue></s>"),
              1);
    ASSERT_EQ(m_sink.commands.size(), 1u);
    const auto& attributes = m_sink.commands[0].attributes;
    ASSERT_EQ(attributes.size(), 5u);
    EXPECT_EQ(attributes[0].key, NameHash(u"root"));
    EXPECT_EQ(attributes[1].key, NameHash(u"path"));
    EXPECT_EQ(attributes[1].value, u" p ");
    EXPECT_EQ(attributes[2].key, NameHash(u"Data"));
    EXPECT_EQ(attributes[2].value, u"own");
    EXPECT_EQ(attributes[3].key, NameHash(u"name"));
    EXPECT_EQ(attributes[4].key, NameHash(u"Data"));
    EXPECT_EQ(DataTexts(attributes[4].value.c_str()), std::vector<std::u16string>{u"child"});

    AttributeMap map;
    for (auto& entry : attributes) map.Add(entry.key, entry.value);
    EXPECT_EQ(std::u16string(map.Find(u"data")), u"own");
}

// The texts of the child nodes, descendants included, form the list; empty texts add nothing;
// no children means no Data entry at all, and only empty children an empty list. The buffer is
// always the full size, zero past what was appended.
TEST_F(ScriptEngineTest, DataListsAreTheChildTexts) {
    ASSERT_EQ(RunScript("<s><A><x>a</x><y>b<z>c</z></y><e/></A><B><e/></B><C/><D>text</D></s>"), 1);
    ASSERT_EQ(m_sink.Names(), "A B C D");
    const AttributeEntry* data = Attribute(0, u"Data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->value.size(), kDataListUnits);
    EXPECT_EQ(DataTexts(data->value.c_str()), (std::vector<std::u16string>{u"a", u"bc"}));
    EXPECT_EQ(data->value.find_first_not_of(u'\0', 5), std::u16string::npos);

    data = Attribute(1, u"Data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->value.size(), kDataListUnits);
    EXPECT_TRUE(DataTexts(data->value.c_str()).empty());

    EXPECT_EQ(Attribute(2, u"Data"), nullptr);
    data = Attribute(3, u"Data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(DataTexts(data->value.c_str()), std::vector<std::u16string>{u"text"});
}

// A text that would not fit with its terminator and the closing empty text ends the list: it
// and every later text are dropped, and the list still ends in a double zero.
TEST_F(ScriptEngineTest, DataListsStopAtTheFirstTextThatDoesNotFit) {
    const std::string big(6000, 'x');
    ASSERT_EQ(RunScript("<s><A><t>" + big + "</t><t>" + big + "</t><t>" + big + "</t><t>z</t></A></s>"), 1);
    const AttributeEntry* data = Attribute(0, u"Data");
    ASSERT_NE(data, nullptr);
    ASSERT_EQ(data->value.size(), kDataListUnits);
    auto texts = DataTexts(data->value.c_str());
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[1].size(), 6000u);

    /* The boundary: a text of kDataListUnits - 2 units fits exactly, one more unit does not. */
    DataListBuilder exact;
    EXPECT_TRUE(exact.Append(std::u16string(kDataListUnits - 2, u'y')));
    EXPECT_FALSE(exact.Append(u"z"));
    std::u16string list = exact.Take();
    EXPECT_EQ(list.size(), kDataListUnits);
    EXPECT_EQ(list[kDataListUnits - 2], u'\0');
    EXPECT_EQ(list[kDataListUnits - 1], u'\0');

    DataListBuilder over;
    EXPECT_TRUE(over.Append(u""));
    EXPECT_FALSE(over.Append(std::u16string(kDataListUnits - 1, u'y')));
    EXPECT_FALSE(over.Append(u"short"));
    EXPECT_TRUE(DataTexts(over.Take().c_str()).empty());
}

// Without a sink the commands are walked and dropped, and the run still succeeds.
TEST_F(ScriptEngineTest, ANullSinkDropsEveryCommand) {
    m_engine.m_pSink = nullptr;
    EXPECT_EQ(RunScript("<s><Msg text=\"x\"/><CreateDirectory Destination=\"\\Made\"/></s>"), 1);
    EXPECT_EQ(m_engine.m_hrStatus, S_OK);
    // Nothing was carried out: no message box, no folder.
    EXPECT_EQ(testing_support::ReadWholeFile(m_device->Root() / "journal.log"), "");
    EXPECT_EQ(GetFileAttributesW(u"\\Made"), INVALID_FILE_ATTRIBUTES);
}

// ---------------------------------------------------------------------------------------------
// If elements

// A matching If is replaced in place by its children, so they run before the commands after it;
// a non-matching one and one without "lng" vanish with their content.
TEST_F(ScriptEngineTest, MatchingIfRunsItsChildrenInPlace) {
    const std::string script =
        "<s><A/><If lng=\"409\"><B/><C/></If><D/><If lng=\"0419\"><E/></If><If><F/></If><If lng=\"zz\"><G/></If>"
        "<H/></s>";
    SetCurLang(0x0409);
    ASSERT_EQ(RunScript(script), 1);
    EXPECT_EQ(m_engine.m_hrStatus, S_OK);
    EXPECT_EQ(m_sink.Names(), "A B C D H");

    m_sink.commands.clear();
    SetCurLang(0x0419);
    ASSERT_EQ(m_engine.Run(u"\\main.xml", nullptr), 1);
    EXPECT_EQ(m_sink.Names(), "A D E H");

    /* With CurLang missing only a text that reads as 0 holds. */
    ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"MUI"), ERROR_SUCCESS);
    m_sink.commands.clear();
    ASSERT_EQ(RunScript("<s><If lng=\"0\"><Zero/></If><If lng=\"409\"><B/></If></s>"), 1);
    EXPECT_EQ(m_sink.Names(), "Zero");
}

// An If that is not a child of the root cannot be replaced or removed; when it is the last If
// the run fails with the removal's error before any command runs.
TEST_F(ScriptEngineTest, NestedIfAsTheLastIfFailsTheRun) {
    SetCurLang(0x0409);
    m_engine.m_hrStatus = kStatusSentinel;
    EXPECT_EQ(RunScript("<s><A/><If lng=\"409\"><B/></If><Cmd><If lng=\"409\"><C/></If></Cmd></s>"), 0);
    EXPECT_EQ(m_engine.m_hrStatus, E_INVALIDARG);
    EXPECT_TRUE(m_sink.commands.empty());

    /* Followed by a root If, the nested one stays inside its command and the run succeeds. */
    ASSERT_EQ(RunScript("<s><Cmd><If lng=\"409\"><C>c</C></If></Cmd><If lng=\"409\"><B/></If></s>"), 1);
    EXPECT_EQ(m_sink.Names(), "Cmd B");
    const AttributeEntry* data = Attribute(0, u"Data");
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(DataTexts(data->value.c_str()), std::vector<std::u16string>{u"c"});

    /* The copy of an If nested in a matching If is not resolved again: it reaches the sink. */
    m_sink.commands.clear();
    ASSERT_EQ(RunScript("<s><If lng=\"409\"><A/><If lng=\"409\"><B/></If></If><If lng=\"1\"/></s>"), 1);
    EXPECT_EQ(m_sink.Names(), "A If");
}

// ---------------------------------------------------------------------------------------------
// Companion merge

// The companion's TO becomes the FROM of the main element with the same ID, and the pair
// (companion TO, main TO) is recorded; LDDeleteRegKey takes the companion's name. Elements inside
// If elements take part; elements without a partner keep their attributes.
TEST_F(ScriptEngineTest, CompanionNamesAreMergedAndRecorded) {
    SetCurLang(0x0409);
    WriteDeviceFile(u"\\old.xml",
                    "<s><LDRename ID=\"7\" TO=\"Old\"/><LDAbsRename ID=\"3\" TO=\"\\Old Dir\"/>"
                    "<LDDeleteRegKey ID=\"k\" name=\"OldKey\"/><LDRename ID=\"9\" TO=\"Unpaired\"/>"
                    "<LDRename ID=\"4\" TO=\"Inside\"/></s>");
    WriteDeviceFile(u"\\new.xml",
                    "<s><LDRename ID=\"7\" TO=\"New\" FROM=\"x\"/><LDRename ID=\"8\" TO=\"z\" FROM=\"y\"/>"
                    "<LDAbsRename ID=\"3\" TO=\"\\New Dir\"/><LDDeleteRegKey ID=\"k\" name=\"NewKey\"/>"
                    "<If lng=\"409\"><LDRename ID=\"4\" FROM=\"f\"/></If></s>");
    ASSERT_EQ(m_engine.Run(u"\\new.xml", u"file://\\old.xml"), 1);
    EXPECT_EQ(m_engine.m_nMergeCount, 3);
    ASSERT_EQ(m_sink.Names(), "LDRename LDRename LDAbsRename LDDeleteRegKey LDRename");
    EXPECT_EQ(Attribute(0, u"FROM")->value, u"Old");
    EXPECT_EQ(Attribute(0, u"TO")->value, u"New");
    EXPECT_EQ(Attribute(1, u"FROM")->value, u"y");
    EXPECT_EQ(Attribute(2, u"FROM")->value, u"\\Old Dir");
    EXPECT_EQ(Attribute(3, u"name")->value, u"OldKey");
    EXPECT_EQ(Attribute(4, u"FROM")->value, u"Inside");

    /* Records in merge order: LDRename, LDAbsRename, LDDeleteRegKey; none for a partner without TO. */
    CLPA& log = RenameLog();
    ASSERT_EQ(log.GetCount(), 3);
    auto record = [&](int i) { return reinterpret_cast<const RenameRecord*>(log.GetAt(i)); };
    EXPECT_EQ(std::u16string(record(0)->oldText), u"Old");
    EXPECT_EQ(std::u16string(record(0)->newText), u"New");
    EXPECT_EQ(std::u16string(record(1)->oldText), u"\\Old Dir");
    EXPECT_EQ(std::u16string(record(1)->newText), u"\\New Dir");
    EXPECT_EQ(std::u16string(record(2)->oldText), u"OldKey");
    EXPECT_EQ(std::u16string(record(2)->newText), u"NewKey");
}

// An ID holding a double quote cannot be quoted in the partner query, and a query longer than
// 255 units is refused: such elements are not merged, the others still are.
TEST_F(ScriptEngineTest, MergeSkipsIdsThatCannotBeQueried) {
    const std::string fits(255 - 10 - 8, 'i'), tooLong(255 - 10 - 8 + 1, 'i');
    WriteDeviceFile(u"\\old.xml", "<s><LDRename ID='a\"b' TO=\"Q\"/><LDRename ID=\"" + tooLong +
                                      "\" TO=\"L\"/><LDRename ID=\"" + fits + "\" TO=\"F\"/></s>");
    WriteDeviceFile(u"\\new.xml", "<s><LDRename ID='a\"b' FROM=\"q\"/><LDRename ID=\"" + tooLong +
                                      "\" FROM=\"l\"/><LDRename ID=\"" + fits + "\" FROM=\"f\"/></s>");
    ASSERT_EQ(m_engine.Run(u"\\new.xml", u"\\old.xml"), 1);
    ASSERT_EQ(m_sink.commands.size(), 3u);
    EXPECT_EQ(Attribute(0, u"FROM")->value, u"q");
    EXPECT_EQ(Attribute(1, u"FROM")->value, u"l");
    EXPECT_EQ(Attribute(2, u"FROM")->value, u"F");
    EXPECT_EQ(RenameLog().GetCount(), 0);
}

// ---------------------------------------------------------------------------------------------
// How Run fails

TEST_F(ScriptEngineTest, RunFailuresSetTheStatus) {
    WriteDeviceFile(u"\\good.xml", "<s><A/></s>");
    WriteDeviceFile(u"\\bad.xml", "<s><A></s>");

    /* No source, or no document: E_INVALIDARG. */
    EXPECT_EQ(m_engine.Run(nullptr, nullptr), 0);
    EXPECT_EQ(m_engine.m_hrStatus, E_INVALIDARG);
    ScriptEngine unprepared;
    unprepared.m_hrStatus = kStatusSentinel;
    EXPECT_EQ(unprepared.Run(u"\\good.xml", nullptr), 0);
    EXPECT_EQ(unprepared.m_hrStatus, E_INVALIDARG);

    /* A source that does not open: failure with status 0. */
    m_engine.m_hrStatus = kStatusSentinel;
    EXPECT_EQ(m_engine.Run(u"\\missing.xml", nullptr), 0);
    EXPECT_EQ(m_engine.m_hrStatus, S_OK);

    /* A document that does not parse: the load's S_FALSE. */
    EXPECT_EQ(m_engine.Run(u"\\bad.xml", nullptr), 0);
    EXPECT_EQ(m_engine.m_hrStatus, S_FALSE);

    /* A companion that is missing or does not parse stops the run before any command. */
    m_engine.m_hrStatus = kStatusSentinel;
    EXPECT_EQ(m_engine.Run(u"\\good.xml", u"\\missing.xml"), 0);
    EXPECT_EQ(m_engine.m_hrStatus, S_OK);
    EXPECT_EQ(m_engine.Run(u"\\good.xml", u"FILE:\\bad.xml"), 0);
    EXPECT_EQ(m_engine.m_hrStatus, S_FALSE);
    EXPECT_TRUE(m_sink.commands.empty());

    /* After ReleaseDocuments there is nothing to load into. */
    m_engine.ReleaseDocuments();
    EXPECT_EQ(m_engine.m_pMainDocument, nullptr);
    EXPECT_EQ(m_engine.m_pCompanionDocument, nullptr);
    EXPECT_EQ(m_engine.Run(u"\\good.xml", nullptr), 0);
    EXPECT_EQ(m_engine.m_hrStatus, E_INVALIDARG);

    /* CreateDocument forgets the companion and the merge table. */
    ASSERT_EQ(m_engine.CreateDocument(), S_OK);
    EXPECT_EQ(m_engine.m_nMergeCount, 0);
    EXPECT_EQ(m_engine.Run(u"\\good.xml", nullptr), 1);
    EXPECT_EQ(m_sink.Names(), "A");
}

// The whole chain with the real command table: Msg shows its text literally, percent signs
// included, as one journal line with an empty caption and MB_SETFOREGROUND.
TEST_F(ScriptEngineTest, MsgThroughTheCommandTableShowsItsTextLiterally) {
    ProcessList spared;
    CommandTable table(&spared);
    m_engine.m_pSink = &table;
    ASSERT_EQ(RunScript("<s><Msg text=\"100%s done %d\"/><Msg/><description NAME=\"x\"/></s>"), 1);
    std::string journal = testing_support::ReadWholeFile(m_device->Root() / "journal.log");
    EXPECT_EQ(journal, "MessageBox \"100%s done %d\" caption=\"\" style=0x00010000\n");
}
