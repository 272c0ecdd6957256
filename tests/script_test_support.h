// What the script engine's tests share: scripts written into the image as device files, and a
// command sink that records every command it is handed.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"
#include "platform/text.h"
#include "script/command_table.h"

namespace script_test {

inline void WriteDeviceFile(const WCHAR* path, std::string_view bytes) {
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << ToUtf8(path) << " error " << GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr));
    ASSERT_EQ(written, bytes.size());
    CloseHandle(file);
}

// The texts of a Data list up to its double zero.
inline std::vector<std::u16string> DataTexts(const WCHAR* list) {
    std::vector<std::u16string> texts;
    for (const WCHAR* p = list; *p; p += wcslen(p) + 1) texts.emplace_back(p);
    return texts;
}

struct RecordedCommand {
    std::u16string name;
    std::vector<AttributeEntry> attributes;  // in map order; a Data list is kept whole
};

class RecordingSink : public CommandSink {
public:
    int Execute(const WCHAR* commandName, AttributeMap* attributes, DWORD* result, int skip) override {
        RecordedCommand command{commandName, {}};
        for (size_t i = 0; i < attributes->Count(); ++i) command.attributes.push_back(attributes->At(i));
        commands.push_back(std::move(command));
        skips.push_back(skip);
        *result = 0x5EED;
        return 1;
    }
    // The command names in the order they arrived, joined by spaces.
    std::string Names() const {
        std::string names;
        for (auto& c : commands) names += (names.empty() ? "" : " ") + ToUtf8(c.name);
        return names;
    }

    std::vector<RecordedCommand> commands;
    std::vector<int> skips;
};

}  // namespace script_test
