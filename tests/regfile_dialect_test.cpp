// .reg files as Windows' registry editor reads them: each case is headed by what Windows does
// with it. Files are read after both headers, in UTF-8 with LF, UTF-16LE with CR LF and UTF-8
// with CR alone; a file Windows would read only in part is refused whole, naming the line,
// applying nothing.
#include "host/registry/regfile.h"
#include "reg_test_image.h"

namespace {

enum class Form { Utf8Lf, Utf16Crlf, Utf8Cr };
const Form kForms[] = {Form::Utf8Lf, Form::Utf16Crlf, Form::Utf8Cr};
// The headers differ only in what hex(2) and hex(7) bytes mean, which the shared cases avoid.
const char* const kHeaders[] = {"REGEDIT4", "Windows Registry Editor Version 5.00"};

const char* FormName(Form form) {
    switch (form) {
    case Form::Utf8Lf: return "UTF-8, LF";
    case Form::Utf16Crlf: return "UTF-16LE with BOM, CR LF";
    case Form::Utf8Cr: return "UTF-8, CR";
    }
    return "";
}

// text is UTF-8 with LF line ends; the file Windows' way in the given form.
std::string Encode(std::string_view text, Form form) {
    std::string out;
    if (form == Form::Utf16Crlf) {
        out = "\xFF\xFE";
        for (char16_t c : FromUtf8(text)) {
            if (c == u'\n') out += std::string("\r\0", 2);
            out += char(c & 0xFF);
            out += char(c >> 8);
        }
        return out;
    }
    for (char c : text) out += c == '\n' && form == Form::Utf8Cr ? '\r' : c;
    return out;
}

struct Case {
    const char* body;
    const char* result;  // the values as exported, or "error: line N: REASON"
};

class RegDialectTest : public RegImageTest {
protected:
    // Each case in each form, after each header.
    void ExpectEveryForm(std::initializer_list<Case> cases) {
        for (const Case& c : cases)
            for (const char* header : kHeaders)
                for (Form form : kForms)
                    EXPECT_EQ(Import(header, c.body, form), c.result) << header << ", " << FormName(form) << "\n"
                                                                      << c.body;
    }
    // Imports header + "[HKEY_CURRENT_USER\T]" + `"ok"="1"` + body and returns the key's values
    // as exported, "ok" left out; or "error: REASON".
    std::string Import(std::string_view header, std::string_view body, Form form = Form::Utf8Lf) {
        const std::string text = std::string(header) + "\n[HKEY_CURRENT_USER\\T]\n\"ok\"=\"1\"\n" + std::string(body);
        return ImportBytes(Encode(text, form));
    }
    std::string ImportBytes(const std::string& bytes) {
        std::string error, exported;
        if (!host::ImportRegistry(*m_device, bytes, &error)) return "error: " + error;
        EXPECT_TRUE(host::ExportRegistry(*m_device, u"HKCU\\T", &exported, &error)) << error;
        RegDeleteKeyW(HKEY_CURRENT_USER, u"T");
        const std::string prefix = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\T]\n";
        const std::string ok = "\"ok\"=\"1\"\n";
        EXPECT_EQ(exported.substr(0, prefix.size()), prefix);
        const size_t at = exported.find(ok);
        EXPECT_NE(at, std::string::npos) << exported;
        if (at != std::string::npos) exported.erase(at, ok.size());
        return exported.substr(std::min(prefix.size(), exported.size()));
    }
};

TEST_F(RegDialectTest, CommentsFollowDataAfterASemicolonAndFillLinesStartingWithSemicolonOrHash) {
    ExpectEveryForm({
        /* Windows sets each value: a ; comment may follow data, with or without blanks. */
        {"\"a\"=\"b\" ;note\n\"c\"=\"d\";note\n\"e\"=\"f\"\t\t;note\n\"g\"=dword:00000001;note\n"
         "\"h\"=dword:1234 ;5678\n\"i\"=hex:01,02 ;note\n\"j\"=hex(0):03;note\n",
         "\"a\"=\"b\"\n\"c\"=\"d\"\n\"e\"=\"f\"\n\"g\"=dword:00000001\n\"h\"=dword:00001234\n"
         "\"i\"=hex:01,02\n\"j\"=hex(0):03\n"},
        /* Windows deletes a value whose '-' is followed by blanks or a ; comment. */
        {"\"k\"=\"x\"\n\"l\"=\"x\"\n\"k\"=- ;gone\n\"l\"=  \t-\t  \n", ""},
        /* Lines starting with # or ; (after blanks too) are comments, and their
           trailing '\' continues nothing; inside quotes both are text. */
        {"#comment\\\n\"m\"=\"3\"\n  #\"x\"=\"1\"\n\t;\"y\"=\"2\"\n\"n\"=\"#text\"\n\"o\"=\"a;b\"\n",
         "\"m\"=\"3\"\n\"n\"=\"#text\"\n\"o\"=\"a;b\"\n"},
    });
}

TEST_F(RegDialectTest, HexListsEndAtATrailingCommaAndContinueOnlyAfterACommaAndBackslash) {
    ExpectEveryForm({
        /* Windows ends a list at a comma that closes its line. */
        {"\"p\"=hex:01,02,\n\"q\"=hex(0):01,;note\n", "\"p\"=hex:01,02\n\"q\"=hex(0):01\n"},
        /* Windows continues after ",\" (blanks and a ; comment may follow the '\'),
           skipping blank, blank-only and ; comment lines, and also right after hex:. */
        {"\"r\"=hex:01,\\\n  02,  \\  ;note\n\t\n;comment\n  ;comment\n\n  03,\\;note\n  04\n"
         "\"s\"=hex(0):\\\n  05\n",
         "\"r\"=hex:01,02,03,04\n\"s\"=hex(0):05\n"},
        /* Windows ends the list at a '\' on the file's last line. */
        {"\"t\"=hex:06,07,\\", "\"t\"=hex:06,07\n"},
    });
}

TEST_F(RegDialectTest, BlanksAroundTheHeaderKeyNameEqualsSignAndData) {
    /* Windows reads blanks before the header, a key line and a value line, around '=', after
       dword: and after the data. */
    for (const char* header : kHeaders)
        for (Form form : kForms)
            EXPECT_EQ(ImportBytes(Encode(" \t " + std::string(header) +
                                             "\n\n\t[HKEY_CURRENT_USER\\T]\n  \"ok\"  =  \"1\"   \n"
                                             "\t@\t=\tdword:\t00000008\t\n\"w\"=dword:  0000000a\n",
                                         form)),
                      "@=dword:00000008\n\"w\"=dword:0000000a\n")
                << header << ", " << FormName(form);
}

TEST_F(RegDialectTest, JoinsWindowsRefusesAreErrorsOfTheFileAndApplyNothing) {
    ExpectEveryForm({
        /* Windows refuses data followed by a # comment, and a '-' followed by text. */
        {"\"a\"=\"b\" #note\n", "error: line 4: unexpected text after the closing quote"},
        {"\"a\"=dword:1 #note\n", "error: line 4: unexpected text after the dword: number"},
        {"\"a\"=hex:01 #note\n", "error: line 4: expected ',' between hex bytes"},
        {"\"a\"=-\"b\"\n", "error: line 4: unexpected text after '-'"},
        /* Windows continues only hex lists: not a dword:, a quoted value or a name. */
        {"\"a\"=dword:1234\\\n5678\n",
         "error: line 4: only a hex list may continue on the next line (after a comma and '\\')"},
        {"\"a\"=\"b \\\nc\"\n", "error: line 4: a quoted text cannot continue on the next line"},
        {"\"a\\\nb\"=\"c\"\n", "error: line 4: a quoted text cannot continue on the next line"},
        /* Windows refuses a continuation that splits a byte or lacks its comma. */
        {"\"a\"=hex:01,7\\\n5,00\n", "error: line 4: a '\\' continues a hex list only after a comma"},
        {"\"a\"=hex:01,02\\\n  03\n", "error: line 4: a '\\' continues a hex list only after a comma"},
        {"\"a\"=hex:01,\\\n  ,02\n", "error: line 5: expected the hex bytes that continue the list of line 4"},
        /* Windows refuses a line of only '\', a # line or text after the '\' of a
           continuation, and takes the next value or key line as the list's end. */
        {"\"a\"=hex:01,\\\n\\\n  02\n", "error: line 5: a line holding only '\\' inside a continued hex list"},
        {"\"a\"=hex:01,\\\n  #note\n  02\n",
         "error: line 5: a # line inside a continued hex list (only ; comments may be there)"},
        {"\"a\"=hex:01,\\#note\n  02\n",
         "error: line 4: only white space and a ; comment may follow a '\\' that continues a hex list"},
        {"\"a\"=hex:01,\\\n;note\n\n\"b\"=\"c\"\n",
         "error: line 7: expected the hex bytes that continue the list of line 4"},
        {"\"a\"=hex:01,\\\n[HKEY_CURRENT_USER\\T2]\n",
         "error: line 5: expected the hex bytes that continue the list of line 4"},
        /* Windows applies 01,02 and skips the orphan line; a file with an error
           applies nothing here. */
        {"\"a\"=hex:01,02,\n  03\n", "error: line 5: expected [KEY], \"name\"=, @= or a ; or # comment"},
        {"\"a\"=hex:100\n", "error: line 4: a hex byte has at most 2 digits"},
        {"\\\n", "error: line 4: a line holding only '\\' continues nothing"},
    });
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"T"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"T2"));

    /* Windows reads neither another spelling of a header nor the 3.1 form. */
    for (const char* header : {"regedit4\n", "REGEDIT4 FOO\n", "Windows Registry Editor version 5.00\n"})
        EXPECT_EQ(ImportBytes(header),
                  "error: line 1: expected the header REGEDIT4 or Windows Registry Editor Version 5.00");
    EXPECT_EQ(ImportBytes("REGEDIT\nHKEY_CLASSES_ROOT\\T = v\n"),
              "error: line 1: the Windows 3.1 form (REGEDIT) is not read; expected the header REGEDIT4 or Windows "
              "Registry Editor Version 5.00");
}

TEST_F(RegDialectTest, Regedit4StringDataIsAnsiTextAndVersion5DataIsUtf16) {
    /* Windows converts REGEDIT4's hex(2) and hex(7) bytes from the ANSI code page (1252 here:
       0x80 is the euro sign) and keeps the other types' bytes as they are. */
    EXPECT_EQ(Import("REGEDIT4", "\"e\"=hex(2):25,50,41,54,48,25,00\n\"m\"=hex(7):4c,69,00,80,00,00\n"
                                 "\"s\"=hex(1):61,00,00,00\n\"b\"=hex:80\n"),
              "\"b\"=hex:80\n\"e\"=hex(2):25,00,50,00,41,00,54,00,48,00,25,00,00,00\n"
              "\"m\"=hex(7):4c,00,69,00,00,00,ac,20,00,00,00,00\n\"s\"=\"a\"\n");
    /* The version 5.00 form holds UTF-16 already, as the exporter writes it. */
    EXPECT_EQ(Import("Windows Registry Editor Version 5.00", "\"e\"=hex(2):25,00,00,00\n"),
              "\"e\"=hex(2):25,00,00,00\n");
    /* A Russian device's code page is 1251: 0xCF is П. */
    ASSERT_TRUE(m_device->SetSetting("ansi.codepage", "1251"));
    EXPECT_EQ(Import("REGEDIT4", "\"e\"=hex(2):cf,00\n"), "\"e\"=hex(2):1f,04,00,00\n");
}

TEST_F(RegDialectTest, AFileWithoutByteOrderMarkThatIsNotUtf8IsAnsiInTheDeviceCodePage) {
    const std::string ansi =
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\T]\r\n\"ok\"=\"1\"\r\n\"\xCF\xF3\xF1\xEA\"=\"\x80\xDF\"\r\n";
    /* 1252 by default: Ïóñê, and € ß. */
    EXPECT_EQ(ImportBytes(ansi), "\"\xC3\x8F\xC3\xB3\xC3\xB1\xC3\xAA\"=\"\xE2\x82\xAC\xC3\x9F\"\n");
    /* 1251 on a Russian device: Пуск, and Ђ Я. */
    ASSERT_TRUE(m_device->SetSetting("ansi.codepage", "1251"));
    EXPECT_EQ(ImportBytes(ansi), "\"\xD0\x9F\xD1\x83\xD1\x81\xD0\xBA\"=\"\xD0\x82\xD0\xAF\"\n");
    /* Valid UTF-8 stays UTF-8 whatever the code page. */
    EXPECT_EQ(Import("REGEDIT4", "\"\xD0\x9F\"=\"\xC3\x9F\"\n"), "\"\xD0\x9F\"=\"\xC3\x9F\"\n");

    /* UTF-8 cut inside its last character is refused, not read as ANSI; so is a code page the
       emulator has no table for. Neither applies anything. */
    EXPECT_EQ(Import("REGEDIT4", "\"a\"=\"b\";\xD0"),
              "error: line 4: the UTF-8 text ends in the middle of a character");
    ASSERT_TRUE(m_device->SetSetting("ansi.codepage", "437"));
    EXPECT_EQ(Import("REGEDIT4", ""),
              "error: the image's ANSI code page setting (ansi.codepage) is \"437\"; 1252 or 1251 is supported");
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, u"T"));
}

}  // namespace
