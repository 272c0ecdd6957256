// Message boxes as the device records and answers them, ShowMessage, and the CLPA array whose
// allocation failures are reported through ShowMessage.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_image.h"
#include "host/kernel/device.h"
#include "platform/text.h"
#include "platform/winbase.h"
#include "script/clpa.h"
#include "script/showmessage.h"

namespace fs = std::filesystem;

namespace {

// A fresh image per test whose console lines are collected.
class MessageTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        m_device->SetConsole([this](std::string_view line) { m_lines.emplace_back(line); });
    }

    std::string Journal() const {
        std::ifstream in(m_device->Root() / "journal.log", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::vector<std::string> m_lines;
};

// ---------------------------------------------------------------------------------------------
// MessageBoxW

// One line per box; backslash, quote, CR and LF are escaped, other text is UTF-8 as it is.
TEST_F(MessageTest, MessageBoxIsOneEscapedLine) {
    EXPECT_EQ(IDOK, MessageBoxW(nullptr, u"C:\\path \"quoted\"\r\nnext\tline", u"Vexor 7", MB_OK));
    EXPECT_EQ(IDYES, MessageBoxW(nullptr, u"Сброс?", u"\"Cap\"", MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND));
    EXPECT_EQ(IDOK, MessageBoxW(nullptr, nullptr, nullptr, MB_OK));
    ASSERT_EQ(3u, m_lines.size());
    EXPECT_EQ("MessageBox \"C:\\\\path \\\"quoted\\\"\\r\\nnext\tline\" caption=\"Vexor 7\" style=0x00000000", m_lines[0]);
    EXPECT_EQ("MessageBox \"\xD0\xA1\xD0\xB1\xD1\x80\xD0\xBE\xD1\x81?\" caption=\"\\\"Cap\\\"\" style=0x00010024",
              m_lines[1]);
    EXPECT_EQ("MessageBox \"\" caption=\"\" style=0x00000000", m_lines[2]);
    // The journal in the image holds the same lines.
    EXPECT_EQ(m_lines[0] + "\n" + m_lines[1] + "\n" + m_lines[2] + "\n", Journal());
}

// Queued answers are used in order; an answer the box has no button for is used up and gives the
// first button; with none left every box gets its first button.
TEST_F(MessageTest, AnswersAreUsedInOrder) {
    m_device->QueueAnswer(IDCANCEL);
    m_device->QueueAnswer(IDNO);
    m_device->QueueAnswer(IDNO);
    m_device->QueueAnswer(IDCANCEL);
    EXPECT_EQ(IDCANCEL, MessageBoxW(nullptr, u"1", u"", MB_OKCANCEL));
    EXPECT_EQ(IDNO, MessageBoxW(nullptr, u"2", u"", MB_YESNO));
    EXPECT_EQ(IDOK, MessageBoxW(nullptr, u"3", u"", MB_OK | MB_SETFOREGROUND));
    EXPECT_EQ(IDCANCEL, MessageBoxW(nullptr, u"4", u"", MB_YESNOCANCEL));

    EXPECT_EQ(IDOK, MessageBoxW(nullptr, u"", u"", MB_OK));
    EXPECT_EQ(IDOK, MessageBoxW(nullptr, u"", u"", MB_OKCANCEL));
    EXPECT_EQ(IDABORT, MessageBoxW(nullptr, u"", u"", MB_ABORTRETRYIGNORE));
    EXPECT_EQ(IDYES, MessageBoxW(nullptr, u"", u"", MB_YESNOCANCEL | MB_ICONWARNING));
    EXPECT_EQ(IDYES, MessageBoxW(nullptr, u"", u"", MB_YESNO | MB_DEFBUTTON2));
    EXPECT_EQ(IDRETRY, MessageBoxW(nullptr, u"", u"", MB_RETRYCANCEL));
    EXPECT_EQ(10u, m_lines.size());
}

// Without a device there is nobody to show the box to.
TEST(MessageBoxNoDevice, FailsWithInvalidHandle) {
    host::ScopedDevice none(nullptr);
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(0, MessageBoxW(nullptr, u"text", u"", MB_OK));
    EXPECT_EQ(DWORD(ERROR_INVALID_HANDLE), GetLastError());
}

// ---------------------------------------------------------------------------------------------
// ShowMessage

// The text is cut to 254 units and shown with an empty caption and MB_SETFOREGROUND only.
TEST_F(MessageTest, ShowMessageCutsTextAndUsesForegroundStyle) {
    std::u16string longText(300, u'x');
    longText[253] = u'Y';
    longText[254] = u'Z';
    EXPECT_EQ(IDOK, ShowMessage(longText.c_str()));
    std::u16string exact(254, u'e');
    EXPECT_EQ(IDOK, ShowMessage(exact.c_str()));
    // A box with one button takes any answer as OK.
    m_device->QueueAnswer(IDCANCEL);
    EXPECT_EQ(IDOK, ShowMessage(u"Done"));
    EXPECT_EQ(IDOK, ShowMessage(nullptr));

    ASSERT_EQ(4u, m_lines.size());
    EXPECT_EQ("MessageBox \"" + std::string(253, 'x') + "Y\" caption=\"\" style=0x00010000", m_lines[0]);
    EXPECT_EQ("MessageBox \"" + std::string(254, 'e') + "\" caption=\"\" style=0x00010000", m_lines[1]);
    EXPECT_EQ("MessageBox \"Done\" caption=\"\" style=0x00010000", m_lines[2]);
    EXPECT_EQ("MessageBox \"\" caption=\"\" style=0x00010000", m_lines[3]);
}

// ---------------------------------------------------------------------------------------------
// CLPA

using ClpaTest = MessageTest;

// The fields keep their order: array, count, capacity, growth step, longest string.
static_assert(offsetof(CLPA, m_pEntries) < offsetof(CLPA, m_nCount) &&
              offsetof(CLPA, m_nCount) < offsetof(CLPA, m_nCapacity) &&
              offsetof(CLPA, m_nCapacity) < offsetof(CLPA, m_nGrowStep) &&
              offsetof(CLPA, m_nGrowStep) < offsetof(CLPA, m_nMaxStrLen));

// The first add allocates step + 1 entries; an add beyond the capacity grows to count + step,
// or by exactly one entry with a step of 0. Clear frees the array only.
TEST_F(ClpaTest, GrowsByTheStep) {
    CLPA list;
    list.m_nGrowStep = 3;
    const int capacities[] = {4, 4, 4, 4, 7, 7, 7, 10};
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(list.Add(uintptr_t(100 + i), uintptr_t(i)));
        EXPECT_EQ(capacities[i], list.m_nCapacity) << i;
    }
    EXPECT_EQ(8, list.GetCount());
    EXPECT_EQ(100u, list.GetAt(0));
    EXPECT_EQ(107u, list.GetAt(7));
    EXPECT_EQ(7u, list.m_pEntries[7].extra);
    list.Clear();
    EXPECT_TRUE(list.m_pEntries == nullptr && list.m_nCount == 0 && list.m_nCapacity == 0);

    list.m_nGrowStep = 0;
    for (int i = 1; i <= 3; ++i) {
        ASSERT_TRUE(list.Add(uintptr_t(i)));
        EXPECT_EQ(i, list.m_nCapacity);
    }
    list.Clear();
    EXPECT_TRUE(m_lines.empty());
}

// Strings are heap copies; the longest length only grows; removal moves later entries down and
// does not free; FreeAll frees values and extra words and empties the array.
TEST_F(ClpaTest, StringsAndRemoval) {
    CLPA list;
    WCHAR text[16] = u"second";
    ASSERT_TRUE(list.AddString(u"first"));
    ASSERT_TRUE(list.AddString(text));
    ASSERT_TRUE(list.AddString(u"3rd"));
    EXPECT_FALSE(list.AddString(nullptr));
    text[0] = u'S';
    EXPECT_EQ(std::u16string(u"second"), list.GetString(1));
    EXPECT_NE(static_cast<const WCHAR*>(text), list.GetString(1));
    EXPECT_EQ(6, list.m_nMaxStrLen);
    EXPECT_EQ(3, list.GetCount());

    auto* removed = const_cast<WCHAR*>(list.GetString(1));
    ASSERT_TRUE(list.RemoveAt(1));
    free(removed);
    EXPECT_EQ(2, list.GetCount());
    EXPECT_EQ(std::u16string(u"3rd"), list.GetString(1));
    EXPECT_FALSE(list.RemoveAt(2));
    EXPECT_FALSE(list.RemoveAt(-1));
    EXPECT_EQ(6, list.m_nMaxStrLen);

    // An entry whose extra word holds a second block has both freed (checked by the leak and
    // double-free detectors of the sanitizer build).
    ASSERT_TRUE(list.Add(reinterpret_cast<uintptr_t>(_wcsdup(u"old")), reinterpret_cast<uintptr_t>(_wcsdup(u"new"))));
    ASSERT_TRUE(list.Add(0, 0));
    list.FreeAll();
    EXPECT_EQ(nullptr, list.m_pEntries);
    EXPECT_EQ(0, list.m_nCount);
    EXPECT_EQ(0, list.m_nCapacity);
}

// An allocation the device could not make shows the message and drops the add, leaving the
// array as it was.
TEST_F(ClpaTest, AllocationFailureShowsMessageAndDropsTheAdd) {
    CLPA list;
    list.m_nGrowStep = 0x10000000;
    EXPECT_FALSE(list.Add(1));
    EXPECT_EQ(nullptr, list.m_pEntries);
    EXPECT_EQ(0, list.m_nCount);
    EXPECT_EQ(0, list.m_nCapacity);

    list.m_nGrowStep = 0;
    ASSERT_TRUE(list.AddString(u"kept"));
    list.m_nGrowStep = 0x10000000;
    CLPAEntry* before = list.m_pEntries;
    EXPECT_FALSE(list.AddString(u"a longer string"));
    EXPECT_EQ(before, list.m_pEntries);
    EXPECT_EQ(1, list.m_nCount);
    EXPECT_EQ(1, list.m_nCapacity);
    EXPECT_EQ(4, list.m_nMaxStrLen);

    ASSERT_EQ(2u, m_lines.size());
    EXPECT_EQ("MessageBox \"CLPA: alloc error!\" caption=\"\" style=0x00010000", m_lines[0]);
    EXPECT_EQ("MessageBox \"CLPA: realloc error!\" caption=\"\" style=0x00010000", m_lines[1]);
    list.FreeAll();
}

}  // namespace
