#include "database_update.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "attribute_map.h"
#include "clpa.h"
#include "script_trace.h"
#include "command_table.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr int kNameUnits = 260;
constexpr int kRuleUnits = 2048;

// fgetws on a stream opened "rb": UTF-16LE units up to and including a line feed, at most
// capacity - 1 of them, terminated; false when the file had no unit left. An odd last byte is no
// unit.
bool ReadLine(FILE* file, WCHAR* buffer, int capacity) {
    int n = 0;
    while (n < capacity - 1) {
        const int low = getc(file);
        if (low == EOF) break;
        const int high = getc(file);
        if (high == EOF) break;
        const WCHAR unit = WCHAR(low | (high << 8));
        buffer[n++] = unit;
        if (unit == u'\n') break;
    }
    buffer[n] = 0;
    return n > 0;
}

// Ends the text at the next separator of one property (id#type#value;) and moves *text past it.
bool SplitProperty(WCHAR** text, long* id, long* type, WCHAR** value) {
    WCHAR* idEnd = wcschr(*text, u'#');
    if (!idEnd) return false;
    WCHAR* typeEnd = wcschr(idEnd + 1, u'#');
    if (!typeEnd) return false;
    WCHAR* valueEnd = wcschr(typeEnd + 1, u';');
    if (!valueEnd) return false;
    *idEnd = *typeEnd = *valueEnd = 0;
    *id = _wtol(*text);
    *type = _wtol(idEnd + 1);
    *value = typeEnd + 1;
    *text = valueEnd + 1;
    return true;
}

bool ConvertProperty(long id, long type, WCHAR* value, CEPROPVAL* property) {
    switch (type) {
    // A 16-bit value fills the low half of the union's first word; the upper half stays 0.
    case CEVT_I2:
    case CEVT_UI2: property->val.ulVal = DWORD(_wtol(value)) & 0xFFFF; break;
    case CEVT_I4:
    case CEVT_UI4: property->val.ulVal = DWORD(_wtol(value)); break;
    case CEVT_LPWSTR: property->val.lpwstr = value; break;
    default: return false;
    }
    property->propid = (DWORD(id) << 16) | DWORD(type);
    return true;
}

// A rule as parsed, once per command: its two properties (texts point into the rule's copy in the
// rules list), or the result code that ends the rules at it.
struct ParsedRule {
    CEPROPVAL match;
    CEPROPVAL set;
    DWORD code;
};

// The update context of one command.
class DatabaseUpdate {
public:
    explicit DatabaseUpdate(const WCHAR* rulesPath) : m_pszRulesPath(rulesPath) {
        CREATE_SYSTEMGUID(&m_ceguid);
        // Rules files may be long: the lists grow in steps rather than one entry at a time.
        m_Rules.m_nGrowStep = 256;
        m_Applied.m_nGrowStep = 256;
    }
    ~DatabaseUpdate() {
        if (m_pReadBuffer) LocalFree(m_pReadBuffer);
        if (m_hDatabase != INVALID_HANDLE_VALUE) CloseHandle(m_hDatabase);
        m_Rules.FreeAll();
        m_Applied.Clear();
    }
    DatabaseUpdate(const DatabaseUpdate&) = delete;
    DatabaseUpdate& operator=(const DatabaseUpdate&) = delete;

    DWORD UpdateDatabase() {
        DWORD code = ReadRules();
        if (!code) code = OpenDatabase();
        if (!code) {
            IndexRules();
            UpdateRecords();
            code = InsertUnmatched();
            // A record the walk could not read or write is a failure too, though the walk went on.
            if (!code) code = m_dwWalkError;
        }
        if (m_hDatabase != INVALID_HANDLE_VALUE) CloseHandle(m_hDatabase);
        m_hDatabase = INVALID_HANDLE_VALUE;
        return code;
    }

private:
    DWORD ReadRules() {
        FILE* file = _wfopen(m_pszRulesPath, u"rb");
        if (!file) return GetLastError();
        DWORD code = ReadRulesFrom(file);
        fclose(file);
        return code;
    }

    DWORD ReadRulesFrom(FILE* file) {
        unsigned char mark[2];
        if (fread(mark, 1, 2, file) < 2) return kUpdateNoMark;
        if (mark[0] != 0xFF || mark[1] != 0xFE) return kUpdateWrongMark;
        if (!ReadLine(file, m_szDatabaseName, kNameUnits)) return kUpdateNoName;
        WCHAR* end = m_szDatabaseName;
        for (const WCHAR* p = m_szDatabaseName; *p; ++p)
            if (*p != u'\r' && *p != u'\n') *end++ = *p;
        *end = 0;
        WCHAR line[kRuleUnits];
        while (ReadLine(file, line, kRuleUnits)) {
            // Both lists hold one entry per rule, or the command stops: a rule without its flag
            // would take another rule's.
            if (!m_Rules.AddString(line)) return ERROR_NOT_ENOUGH_MEMORY;
            if (!m_Applied.Add(0, 0)) return ERROR_NOT_ENOUGH_MEMORY;
            const int n = m_Rules.GetCount() - 1;
            ParsedRule rule{};
            if (DWORD offset = ParseRuleLine(reinterpret_cast<WCHAR*>(m_Rules.GetAt(n)), &rule.match, &rule.set))
                rule.code = DWORD(n) * 100 + offset;
            m_Parsed.push_back(rule);
            // Nothing after a rule that does not parse is ever applied or inserted.
            if (rule.code) return 0;
        }
        // A read that failed part way would apply a cut list as if it were whole.
        if (ferror(file)) return ERROR_READ_FAULT;
        return m_Rules.GetCount() ? 0 : kUpdateNoRules;
    }

    DWORD OpenDatabase() {
        m_hDatabase = CeOpenDatabaseEx(&m_ceguid, &m_oidDatabase, m_szDatabaseName, 0, 0, nullptr);
        return m_hDatabase == INVALID_HANDLE_VALUE ? GetLastError() : 0;
    }

    void NoteWalkError(DWORD error) {
        if (!m_dwWalkError) m_dwWalkError = error ? error : DWORD(ERROR_WRITE_FAULT);
    }

    // The next record in creation order into the read buffer; false at the end of the records.
    bool ReadNextRecord() {
        for (;;) {
            if (m_pReadBuffer) LocalFree(m_pReadBuffer);
            m_pReadBuffer = nullptr;
            m_cbReadBuffer = 0;
            m_wPropCount = 0;
            DWORD index = 0;
            if (!CeSeekDatabase(m_hDatabase, CEDB_SEEK_BEGINNING, m_dwRecordIndex, &index)) {
                if (GetLastError() != ERROR_NO_MORE_ITEMS) NoteWalkError(GetLastError());
                return false;
            }
            ++m_dwRecordIndex;
            m_oidRecord = CeReadRecordPropsEx(m_hDatabase, CEDB_ALLOWREALLOC, &m_wPropCount, nullptr, &m_pReadBuffer,
                                              &m_cbReadBuffer, nullptr);
            if (m_oidRecord) return true;
            // A record that cannot be read is passed over rather than ending the walk: the rules it
            // would not reach would otherwise count as matching nothing and be inserted. One that
            // another program deleted meanwhile is simply gone.
            const DWORD error = GetLastError();
            if (error != ERROR_KEY_DELETED) {
                DebugTrace(u"BaseUpdate: record %u not read, error %u\n", unsigned(m_dwRecordIndex - 1), unsigned(error));
                NoteWalkError(error);
            }
        }
    }

    // The rules by their match property and value, so that a record finds the rules it matches
    // without trying every rule in turn. The rules of each entry stay in file order.
    void IndexRules() {
        for (int n = 0; n < int(m_Parsed.size()); ++n) {
            const ParsedRule& rule = m_Parsed[size_t(n)];
            if (rule.code) break;
            if (TypeFromPropID(rule.match.propid) == CEVT_LPWSTR)
                m_TextRules[rule.match.propid][std::u16string_view(rule.match.val.lpwstr)].push_back(n);
            else
                m_NumberRules[NumberKey(rule.match)].push_back(n);
        }
    }

    // Types 2, 3, 18 and 19 compare the union's first 32-bit word.
    static uint64_t NumberKey(const CEPROPVAL& property) {
        uint32_t word;
        std::memcpy(&word, &property.val, sizeof word);
        return uint64_t(property.propid) << 32 | word;
    }

    // RecordMatches for every rule at once: the rules the record read matches, in file order. A
    // record matches when one of its properties has the match propid and an equal value; texts
    // compare exactly.
    void MatchingRules(std::vector<int>* rules) const {
        rules->clear();
        int lists = 0;
        for (WORD i = 0; i < m_wPropCount; ++i) {
            const CEPROPVAL& property = Props()[i];
            const std::vector<int>* found = nullptr;
            switch (TypeFromPropID(property.propid)) {
            case CEVT_I2:
            case CEVT_UI2:
            case CEVT_I4:
            case CEVT_UI4: {
                auto it = m_NumberRules.find(NumberKey(property));
                if (it != m_NumberRules.end()) found = &it->second;
                break;
            }
            case CEVT_LPWSTR: {
                auto byId = m_TextRules.find(property.propid);
                if (byId == m_TextRules.end() || !property.val.lpwstr) break;
                auto it = byId->second.find(std::u16string_view(property.val.lpwstr));
                if (it != byId->second.end()) found = &it->second;
                break;
            }
            default: break;
            }
            if (!found) continue;
            rules->insert(rules->end(), found->begin(), found->end());
            ++lists;
        }
        if (lists > 1) std::sort(rules->begin(), rules->end());
    }

    void UpdateRecords() {
        m_dwRecordIndex = 0;
        std::vector<int> rules;
        while (ReadNextRecord()) {
            MatchingRules(&rules);
            for (int n : rules) {
                if (WriteRecord(n)) break;
                m_Applied.m_pEntries[n].value = 1;
            }
        }
    }

    // Writes the rule's set property to the record read. Only that property is written: the
    // platform keeps the record's others, so a change an earlier rule made to this record stays
    // (writing back every property as it was read would undo it).
    DWORD WriteRecord(int n) {
        if (CeWriteRecordProps(m_hDatabase, m_oidRecord, 1, &m_Parsed[size_t(n)].set)) return 0;
        const DWORD error = GetLastError();
        DebugTrace(u"BaseUpdate: record %u not written by rule %d, error %u\n", unsigned(m_oidRecord), n,
                   unsigned(error));
        NoteWalkError(error);
        return error ? error : DWORD(ERROR_WRITE_FAULT);
    }

    DWORD InsertUnmatched() {
        for (int n = 0; n < int(m_Parsed.size()); ++n) {
            if (m_Applied.GetAt(n)) continue;
            const ParsedRule& rule = m_Parsed[size_t(n)];
            if (rule.code) return rule.code;
            CEPROPVAL both[2] = {rule.match, rule.set};
            if (!CeWriteRecordProps(m_hDatabase, 0, 2, both)) {
                const DWORD error = GetLastError();
                return error ? error : DWORD(ERROR_WRITE_FAULT);
            }
        }
        return 0;
    }

    const CEPROPVAL* Props() const { return reinterpret_cast<const CEPROPVAL*>(m_pReadBuffer); }

    const WCHAR* m_pszRulesPath;
    WCHAR m_szDatabaseName[kNameUnits] = {};
    CEOID m_oidRecord = 0;
    CEOID m_oidDatabase = 0;
    HANDLE m_hDatabase = INVALID_HANDLE_VALUE;
    WORD m_wPropCount = 0;
    BYTE* m_pReadBuffer = nullptr;
    DWORD m_cbReadBuffer = 0;
    CEGUID m_ceguid;
    DWORD m_dwRecordIndex = 0;
    CLPA m_Rules;
    CLPA m_Applied;
    std::vector<ParsedRule> m_Parsed;
    DWORD m_dwWalkError = 0;
    std::unordered_map<uint64_t, std::vector<int>> m_NumberRules;
    std::unordered_map<CEPROPID, std::unordered_map<std::u16string_view, std::vector<int>>> m_TextRules;
};

}  // namespace

DWORD ParseRuleLine(WCHAR* line, CEPROPVAL* match, CEPROPVAL* set) {
    std::memset(match, 0, sizeof *match);
    std::memset(set, 0, sizeof *set);
    // Every "?" becomes U+F001 and every "\" U+F000. Neither has a case and each replacement is
    // one unit for one, so this is replacing the first occurrence until none is left, in one pass.
    for (WCHAR* p = line; *p; ++p) {
        if (*p == u'?') *p = 0xF001;
        else if (*p == u'\\') *p = 0xF000;
    }
    WCHAR* rest = line;
    long id = 0, type = 0;
    WCHAR* value = nullptr;
    if (!SplitProperty(&rest, &id, &type, &value)) return kUpdateMissingSeparator;
    if (!ConvertProperty(id, type, value, match)) return kUpdateBadMatchType;
    if (!SplitProperty(&rest, &id, &type, &value)) return kUpdateMissingSeparator;
    if (!ConvertProperty(id, type, value, set)) return kUpdateBadSetType;
    return 0;
}

DWORD UpdateDatabase(const WCHAR* rulesPath) {
    try {
        DatabaseUpdate update(rulesPath);
        return update.UpdateDatabase();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

// The outcome is not the script's business: the command always returns 1 and clears the handled
// flag. Without a "data" attribute there is nothing to apply.
DWORD CmdBaseUpdate(CommandTable*, AttributeMap* attributes, int* handled) {
    *handled = 0;
    const WCHAR* rulesPath = NeededAttribute(attributes, u"data");
    if (!rulesPath) {
        DebugTrace(u"BaseUpdate: no data attribute\n");
        return 1;
    }
    const DWORD code = UpdateDatabase(rulesPath);
    DebugTrace(u"BaseUpdate %s: %u\n", rulesPath, unsigned(code));
    return 1;
}
