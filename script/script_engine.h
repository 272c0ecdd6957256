// The script engine: loads a language script (and, while switching languages, the script of the
// language being left as its companion), merges the companion's language-dependent names into
// the main script, resolves the `If` elements, and hands every command element of the root, in
// document order, to a command sink. Commands report nothing back; only a failure of the DOM
// stops a script. Operations return 1 or 0 and keep the last failure in m_hrStatus.
#pragma once

#include <string>
#include <string_view>

#include "attribute_map.h"
#include "command_table.h"
#include "platform/wintypes.h"
#include "platform/xmldom.h"

// One kind of element whose attribute the companion script supplies: the main element with the
// same "ID" gets the companion's source attribute as its target attribute.
struct LdMergeEntry {
    const WCHAR* command;
    const WCHAR* sourceAttribute;
    const WCHAR* targetAttribute;
};

// The elements a companion supplies names for, as Run merges them (three entries).
constexpr size_t kLanguageMergeCount = 3;
const LdMergeEntry* LanguageMergeTable();

// Longest XPath query, in units, that a merge builds; longer ones are refused.
constexpr size_t kMergeQueryUnits = 255;

class ScriptEngine {
public:
    ScriptEngine() = default;
    virtual ~ScriptEngine() { ReleaseDocuments(); }
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Forgets any companion and creates the main document; on failure m_hrStatus holds why and
    // the main document stays null. Returns the creation HRESULT.
    HRESULT CreateDocument();
    // Loads mainSource (and companionSource when not null), merges, resolves conditions and
    // executes the commands. 1 on success, 0 on failure with m_hrStatus telling why.
    int Run(const WCHAR* mainSource, const WCHAR* companionSource);
    void ReleaseDocuments();

    // Copies the companion's values into the main document's elements that share an "ID", and
    // records each (companion value, main value) pair in the RenameLog. Returns the number of
    // main elements changed.
    int MergeLanguageDocument();
    // Replaces every matching `If` child of the root by copies of its children and removes every
    // `If`. The HRESULT of the last `If` handled (S_OK when there was none).
    HRESULT ApplyConditions();
    // Hands each element child of the root to the sink. 1 when the walk completed, else 0.
    int ExecuteCommands();

    HRESULT m_hrStatus = S_OK;
    CommandSink* m_pSink = nullptr;  // not owned; null drops every command
    LdMergeEntry m_LdMergeTable[3] = {};
    int m_nMergeCount = 0;
    IXmlDocument* m_pMainDocument = nullptr;
    IXmlDocument* m_pCompanionDocument = nullptr;

protected:
    // How many times the children of an `If` element take its place: 1 when its "lng" names the
    // current language, else 0. Other builds of the engine test other attributes.
    virtual int ConditionCopies(IXmlElement* condition);

private:
    static HRESULT NewDocument(IXmlDocument** document);
    // status of the load as Run reports it: S_OK, the load's failure, or 0 when the source
    // could not be opened (which is still a failure: *loaded stays false).
    static HRESULT LoadSource(IXmlDocument* document, const WCHAR* source, bool* loaded);
    void MergeEntry(const LdMergeEntry& entry, int* changed);
    // Fills map with the element's attributes and, when it has child nodes, its Data list,
    // built in spare's memory.
    static HRESULT CollectParameters(IXmlNode* element, AttributeMap* map, std::u16string* spare);
};

// A Data list being filled: kDataListUnits zero units into which texts are appended one after
// the other, each with its terminator. Room is always kept for the closing empty text, so the
// list stays readable to its double zero however much is appended.
class DataListBuilder {
public:
    // storage may be a former list whose memory is reused.
    explicit DataListBuilder(std::u16string storage = {}) : m_list(std::move(storage)) {
        m_list.assign(kDataListUnits, u'\0');
    }
    // Empty texts add nothing. A text that does not fit closes the list: it and every later text
    // are dropped (false), so a reader never sees a list with a hole in it.
    bool Append(std::u16string_view text);
    std::u16string Take() { return std::move(m_list); }

private:
    std::u16string m_list;
    size_t m_used = 0;
    bool m_closed = false;
};
