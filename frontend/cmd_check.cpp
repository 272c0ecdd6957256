// pocketsim check: reads language packages and configuration scripts as host files, without
// running them, and says what the engine would do with them that their author may not expect.
// What a command reads comes from the command tables' own descriptions (script/command_spec.h),
// and the companion pairs from the engine's merge table, so the checker cannot drift from them.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli.h"
#include "commands.h"
#include "platform/text.h"
#include "platform/xmldom.h"
#include "runner/mui_engine.h"
#include "script/command_table.h"
#include "script/script_engine.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim check FILE... [--table lingo|muiapply] [--companion FILE]\n"
    "Checks language packages and configuration scripts (host files) without running them, against\n"
    "the command table they will run in: lingo, the language switcher's (default), or muiapply,\n"
    "the configuration runner's. Prints one line per finding:\n"
    "  FILE:LINE: error: MESSAGE      the script does not do what it says (unknown command, a needed\n"
    "                                 attribute missing, a value the command cannot use, a document\n"
    "                                 that does not parse: FILE:LINE:COLUMN)\n"
    "  FILE:LINE: warning: MESSAGE    a default is used, an attribute is not read, an ID has no partner\n"
    "  --companion FILE  the package of the language being left: each LDRename, LDAbsRename and\n"
    "                    LDDeleteRegKey ID is paired with it as the switch pairs them\n"
    "Exit status 1 when any file has an error, 0 when there are only warnings or none.\n";

// Scripts are small; a larger file is not a script.
constexpr size_t kMaxScriptBytes = 16u << 20;

struct Table {
    const CommandEntry* entries;
    size_t count;
    bool runner;  // the configuration runner's build: If tests rom as well as lng
    const char* name;
};

Table LingoTable() { return {CommandTable::Entries(), CommandTable::CommandCount(), false, "the language switcher"}; }
Table RunnerTable() {
    return {MuiCommandTable::Entries(), MuiCommandTable::CommandCount(), true, "the configuration runner"};
}

std::string U8(std::u16string_view text) { return ToUtf8(text); }

// Levenshtein distance, letters compared without regard to ASCII case as the engine compares names.
size_t Distance(std::u16string_view a, std::u16string_view b) {
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c; };
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (fold(a[i - 1]) == fold(b[j - 1]) ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The closest of the candidates when it is close enough to be a slip of the keyboard, else empty.
std::u16string Closest(std::u16string_view name, const std::vector<std::u16string>& candidates) {
    std::u16string best;
    size_t bestDistance = std::max<size_t>(2, name.size() / 3) + 1;
    for (const auto& candidate : candidates) {
        size_t d = Distance(name, candidate);
        if (d < bestDistance) bestDistance = d, best = candidate;
    }
    return best;
}

std::string Suggest(const std::u16string& closest) {
    return closest.empty() ? std::string() : " (did you mean " + U8(closest) + "?)";
}

class Findings {
public:
    explicit Findings(std::string file) : m_file(std::move(file)) {}
    void Error(LONG line, const std::string& message) { Print(line, "error", message), ++m_errors; }
    void Warning(LONG line, const std::string& message) { Print(line, "warning", message); }
    void ParseError(LONG line, LONG column, const std::string& message) {
        cli::PrintLine(cli::Name(m_file) + ":" + std::to_string(line) + ":" + std::to_string(column) +
                       ": error: " + message);
        ++m_errors;
    }
    // An error already told in a line of its own.
    void CountError() { ++m_errors; }
    int errors() const { return m_errors; }
    const std::string& file() const { return m_file; }

private:
    void Print(LONG line, const char* kind, const std::string& message) {
        cli::PrintLine(cli::Name(m_file) + ":" + std::to_string(line) + ": " + kind + ": " + message);
    }
    std::string m_file;
    int m_errors = 0;
};

template <class T>
struct Ref {
    T* p = nullptr;
    ~Ref() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
};

LONG LineOf(IXmlNode* node) {
    LONG line = 0;
    node->get_sourceLine(&line);
    return line;
}

std::u16string NameOf(IXmlNode* node) {
    std::u16string name;
    node->get_nodeName(&name);
    return name;
}

struct Attribute {
    std::u16string name, value;
};

std::vector<Attribute> AttributesOf(IXmlNode* element) {
    std::vector<Attribute> result;
    Ref<IXmlNodeList> list;
    if (FAILED(element->get_attributes(&list.p)) || !list.p) return result;
    LONG count = 0;
    list->get_length(&count);
    for (LONG i = 0; i < count; ++i) {
        Ref<IXmlNode> attribute;
        if (FAILED(list->get_item(i, &attribute.p)) || !attribute.p) continue;
        Attribute a;
        attribute->get_nodeName(&a.name);
        attribute->get_text(&a.value);
        result.push_back(std::move(a));
    }
    return result;
}

// The element children of node, each with a reference of its own.
std::vector<IXmlNode*> ElementChildren(IXmlNode* node) {
    std::vector<IXmlNode*> result;
    Ref<IXmlNodeList> children;
    if (FAILED(node->get_childNodes(&children.p)) || !children.p) return result;
    LONG count = 0;
    children->get_length(&count);
    for (LONG i = 0; i < count; ++i) {
        IXmlNode* child = nullptr;
        if (FAILED(children->get_item(i, &child)) || !child) continue;
        DOMNodeType type = NODE_INVALID;
        if (SUCCEEDED(child->get_nodeType(&type)) && type == NODE_ELEMENT) result.push_back(child);
        else child->Release();
    }
    return result;
}

void ReleaseAll(std::vector<IXmlNode*>& nodes) {
    for (IXmlNode* node : nodes) node->Release();
    nodes.clear();
}

// The texts of the element's child nodes as the engine makes its Data list of them: trimmed,
// empty ones left out.
std::vector<std::u16string> DataTexts(IXmlNode* element) {
    std::vector<std::u16string> texts;
    Ref<IXmlNodeList> children;
    if (FAILED(element->get_childNodes(&children.p)) || !children.p) return texts;
    LONG count = 0;
    children->get_length(&count);
    for (LONG i = 0; i < count; ++i) {
        Ref<IXmlNode> child;
        std::u16string text;
        if (SUCCEEDED(children->get_item(i, &child.p)) && child.p && SUCCEEDED(child->get_text(&text)) &&
            !text.empty())
            texts.push_back(std::move(text));
    }
    return texts;
}

const Attribute* FindAttribute(const std::vector<Attribute>& attributes, const WCHAR* name) {
    for (const auto& a : attributes)
        if (NameHash(a.name.c_str()) == NameHash(name)) return &a;
    return nullptr;
}

// The description and the companion merge read their attributes by the DOM, spelt exactly.
const Attribute* FindExact(const std::vector<Attribute>& attributes, const WCHAR* name) {
    for (const auto& a : attributes)
        if (a.name == name) return &a;
    return nullptr;
}

bool IsHexDigit(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

// Why a value cannot be a device path, or empty when it can be one.
std::string DevicePathProblem(const std::u16string& path) {
    if (path.empty()) return "is empty";
    if (path[0] != u'\\') return "is not a device path: device paths start with \\ (\\Windows\\...)";
    if (path.size() >= MAX_PATH) return "is longer than a device path can be (" + std::to_string(MAX_PATH - 1) + ")";
    if (path.find(u'/') != std::u16string::npos) return "holds a /: device paths separate names with \\";
    if (path.find(u':') != std::u16string::npos) return "holds a ':': the device has no drive letters";
    for (char16_t c : path)
        if (c < 0x20) return "holds a control character";
    size_t at = 1;
    while (at <= path.size()) {
        size_t end = path.find(u'\\', at);
        if (end == std::u16string::npos) end = path.size();
        std::u16string_view component(path.data() + at, end - at);
        if (component == u"." || component == u"..") return "holds a . or .. name, which the device refuses";
        if (component.empty() && end < path.size()) return "holds an empty name (\\\\)";
        at = end + 1;
    }
    return {};
}

const WCHAR* const kRoots[] = {u"HKLM", u"HKCU", u"HKCR"};
const WCHAR* const kTypes[] = {u"SZ", u"DWORD", u"BINARY", u"MULTI_SZ"};

std::vector<std::u16string> Words(const WCHAR* const* words, size_t count) {
    return std::vector<std::u16string>(words, words + count);
}

class Checker {
public:
    Checker(Findings& findings, const Table& table) : m_findings(findings), m_table(table) {}

    void CheckDocument(IXmlDocument* document) {
        Ref<IXmlElement> root;
        if (document->get_documentElement(&root.p) != S_OK || !root.p) {
            m_findings.Error(1, "the document has no root element");
            return;
        }
        bool described = false;
        std::vector<IXmlNode*> children = ElementChildren(root.p);
        for (IXmlNode* child : children) {
            std::u16string name = NameOf(child);
            if (name == u"If") CheckCondition(child);
            else if (name == u"description") {
                if (described) m_findings.Warning(LineOf(child), "a second description: the language switcher reads the first");
                else if (!m_table.runner) CheckDescription(child);
                described = true;
            } else CheckCommand(child);
        }
        ReleaseAll(children);
        // The engine removes each If from the root once resolved; one elsewhere cannot be
        // removed, and when it is the last If handled, that failure ends the run.
        Ref<IXmlNode> last;
        if (document->selectSingleNode(u"(//If)[last()][parent::*/parent::*]", &last.p) == S_OK && last.p)
            m_findings.Error(LineOf(last.p), "the document's last If is inside another element: the engine cannot "
                                             "remove it, and the run fails (Run=0)");
        if (!described && !m_table.runner)
            m_findings.Warning(LineOf(root.p), "no description element: the language switcher does not list this package");
    }

private:
    const CommandEntry* Find(const std::u16string& name, const Table& table) const {
        for (size_t i = 0; i < table.count; ++i)
            if (table.entries[i].hash == NameHash(name.c_str())) return &table.entries[i];
        return nullptr;
    }

    void CheckDescription(IXmlNode* node) {
        const LONG line = LineOf(node);
        auto attributes = AttributesOf(node);
        const Attribute* id = FindExact(attributes, u"ID");
        if (!id) {
            m_findings.Error(line, "description has no ID: the language switcher does not list this package");
        } else {
            // Read as the switcher reads it: leading hexadecimal digits, after an optional 0x.
            std::u16string digits = id->value;
            size_t at = 0;
            while (at < digits.size() && (digits[at] == u' ' || digits[at] == u'\t')) ++at;
            if (at + 1 < digits.size() && digits[at] == u'0' && (digits[at + 1] == u'x' || digits[at + 1] == u'X'))
                at += 2;
            size_t start = at;
            DWORD value = 0;
            for (; at < digits.size() && IsHexDigit(digits[at]); ++at) {
                const char16_t c = digits[at];
                value = value * 16 + DWORD(c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10);
            }
            if (at == start || value == 0)
                m_findings.Error(line, "description ID \"" + U8(id->value) +
                                           "\" is not a hexadecimal language identifier other than 0: the language "
                                           "switcher does not list this package");
            else if (at != digits.size())
                m_findings.Warning(line, "description ID \"" + U8(id->value) + "\" is read as " +
                                             U8(digits.substr(start, at - start)) + ": the rest is ignored");
        }
        const Attribute* name = FindExact(attributes, u"NAME");
        if (!name || name->value.empty())
            m_findings.Error(line, "description has no NAME: the language switcher lists the package without a name");
    }

    void CheckCondition(IXmlNode* node) {
        const LONG line = LineOf(node);
        auto attributes = AttributesOf(node);
        std::vector<std::u16string> known{u"lng"};
        if (m_table.runner) known.push_back(u"rom");
        bool tested = false;
        // The conditions read their attributes by exact name, not by the commands' hash.
        for (const auto& a : attributes) {
            if (a.name == u"lng") {
                tested = true;
                DWORD language = 0;
                if (ScanHex(a.value.c_str(), &language) != 1)
                    m_findings.Error(line, "If lng=\"" + U8(a.value) +
                                               "\" is not a hexadecimal language identifier: the If never holds");
            } else if (a.name == u"rom" && m_table.runner) {
                tested = true;
                CheckVersion(line, a.value);
            } else {
                std::string why = a.name == u"rom" ? " (rom is tested by the configuration runner only)"
                                                   : Suggest(Closest(a.name, known));
                m_findings.Warning(line, "If does not test " + U8(a.name) + why);
            }
        }
        if (!tested)
            m_findings.Error(line, std::string("If tests nothing it knows (") + (m_table.runner ? "lng or rom" : "lng") +
                                       "): it never holds");
        std::vector<IXmlNode*> children = ElementChildren(node);
        if (children.empty()) m_findings.Warning(line, "If holds no commands");
        for (IXmlNode* child : children) {
            if (NameOf(child) == u"If")
                m_findings.Warning(LineOf(child), "an If inside an If is not resolved: its copy reaches the table as a "
                                                  "command named If and is skipped");
            else CheckCommand(child);
        }
        ReleaseAll(children);
    }

    // E, G or L and major.minor.build, as the runner compares ROM versions.
    void CheckVersion(LONG line, const std::u16string& value) {
        const char* problem = nullptr;
        if (value.empty() || (value[0] != u'E' && value[0] != u'G' && value[0] != u'L'))
            problem = "does not start with E, G or L (equal, greater, less)";
        else {
            size_t at = 1;
            for (int part = 0; part < 3 && !problem; ++part) {
                size_t start = at;
                if (at < value.size() && (value[at] == u'-' || value[at] == u'+')) ++at;
                while (at < value.size() && value[at] >= u'0' && value[at] <= u'9') ++at;
                if (at == start) problem = "is not major.minor.build";
                else if (part < 2 && (at >= value.size() || value[at++] != u'.')) problem = "is not major.minor.build";
            }
        }
        if (problem) m_findings.Error(line, "If rom=\"" + U8(value) + "\" " + problem + ": the If never holds");
    }

    void CheckCommand(IXmlNode* node) {
        const LONG line = LineOf(node);
        const std::u16string name = NameOf(node);
        const CommandEntry* entry = Find(name, m_table);
        if (!entry) {
            const Table other = m_table.runner ? LingoTable() : RunnerTable();
            if (Find(name, other)) {
                m_findings.Error(line, U8(name) + " is a command of " + other.name + ", not of " + m_table.name +
                                           ": it is skipped");
                return;
            }
            std::vector<std::u16string> names;
            for (size_t i = 0; i < m_table.count; ++i) names.push_back(m_table.entries[i].name);
            m_findings.Error(line, "unknown command " + U8(name) + Suggest(Closest(name, names)) + ": it is skipped");
            return;
        }
        const CommandSpec& spec = *entry->spec;
        if (!spec.hasEffect) {
            m_findings.Warning(line, U8(name) + " does nothing in " + std::string(m_table.name) + "'s table");
            return;
        }
        auto attributes = AttributesOf(node);
        m_current = &attributes;
        // The table finds a command by its name in any case; the companion merge only by its
        // name as the merge table spells it.
        for (size_t k = 0; k < kLanguageMergeCount && !m_table.runner; ++k) {
            const WCHAR* merged = LanguageMergeTable()[k].command;
            if (NameHash(merged) == NameHash(name.c_str()) && name != merged && FindAttribute(attributes, u"ID"))
                m_findings.Warning(line, U8(name) + " runs, but the companion merge finds only " + U8(merged) +
                                             ", spelt so: its ID pairs nothing");
        }
        std::vector<std::u16string> known;
        for (size_t i = 0; i < spec.count; ++i) known.push_back(spec.attributes[i].name);
        std::vector<const Attribute*> unknown;
        for (const auto& a : attributes) {
            bool found = false;
            for (const auto& k : known) found = found || NameHash(k.c_str()) == NameHash(a.name.c_str());
            if (!found) unknown.push_back(&a);
        }
        const std::vector<std::u16string> data = spec.childData ? DataTexts(node) : std::vector<std::u16string>{};
        const Attribute* typeAttribute = FindAttribute(attributes, u"type");
        for (size_t i = 0; i < spec.count; ++i) {
            const AttributeSpec& want = spec.attributes[i];
            const Attribute* given = FindAttribute(attributes, want.name);
            std::u16string value;
            if (given) value = given->value;
            else if (want.kind == ValueKind::RegData && !data.empty()) value = data.front();
            else {
                Missing(line, name, want, unknown);
                continue;
            }
            CheckValue(line, name, want, value, typeAttribute, data);
        }
        for (const Attribute* a : unknown) {
            if (NameHash(a->name.c_str()) == NameHash(u"ID")) {
                m_findings.Warning(line, U8(name) + " takes no name from a companion: its ID pairs nothing");
                continue;
            }
            m_findings.Warning(line, U8(name) + " does not read " + U8(a->name) + Suggest(Closest(a->name, known)));
        }
    }

    void Missing(LONG line, const std::u16string& command, const AttributeSpec& want,
                 const std::vector<const Attribute*>& unknown) {
        const std::string what = U8(command) + " has no " + U8(want.name);
        switch (want.need) {
        case Need::Required: {
            std::string hint;
            for (const Attribute* a : unknown)
                if (Distance(a->name, want.name) <= 2) hint = " (" + U8(a->name) + " is not " + U8(want.name) + ")";
            if (want.kind == ValueKind::RegData) hint += ", neither as an attribute nor as text between its tags";
            m_findings.Error(line, what + hint + ": it does nothing");
            break;
        }
        case Need::Defaulted:
            m_findings.Warning(line, what + (want.kind == ValueKind::RegRoot ? ": HKLM is used" : ": SZ is used"));
            break;
        case Need::Optional: break;
        }
    }

    void CheckValue(LONG line, const std::u16string& command, const AttributeSpec& want, const std::u16string& value,
                    const Attribute* typeAttribute, const std::vector<std::u16string>& data) {
        const std::string head = U8(command) + " " + U8(want.name) + "=\"" + U8(value) + "\"";
        switch (want.kind) {
        case ValueKind::DevicePath: {
            std::string problem = DevicePathProblem(value);
            if (!problem.empty()) m_findings.Error(line, head + " " + problem);
            break;
        }
        case ValueKind::FileName:
            if (value.empty()) m_findings.Error(line, head + " is empty: the command does nothing");
            else if (value.find(u'\\') != std::u16string::npos)
                m_findings.Error(line, head + " holds a \\: it is one name, and the command does nothing");
            break;
        case ValueKind::RegRoot: {
            bool known = false;
            for (const WCHAR* root : kRoots) known = known || value == root;
            if (!known)
                m_findings.Error(line, head + " is not a root the command knows (HKLM, HKCU, HKCR)" +
                                           Suggest(Closest(value, Words(kRoots, 3))) + ": HKLM is used");
            break;
        }
        case ValueKind::RegType: {
            bool known = false;
            for (const WCHAR* type : kTypes) known = known || value == type;
            if (!known)
                m_findings.Error(line, head + " is not a type the command knows (SZ, DWORD, BINARY, MULTI_SZ)" +
                                           Suggest(Closest(value, Words(kTypes, 4))) + ": stored as SZ");
            break;
        }
        case ValueKind::RegName:
            // An empty name opens the key itself, and the deletion would empty the whole path.
            if (value.empty() && NameHash(command.c_str()) != NameHash(u"CreateRegValue") &&
                NameHash(command.c_str()) != NameHash(u"DeleteRegValue"))
                m_findings.Error(line, head + " is empty: the command does nothing");
            break;
        case ValueKind::RegData: CheckData(line, command, value, typeAttribute ? typeAttribute->value : u"SZ", data); break;
        case ValueKind::Flag:
            if (value != u"1" && value != u"0")
                m_findings.Warning(line, head + " is not 1: it counts as off");
            break;
        case ValueKind::Id:
            if (!FindExact(AttributesOfCurrent(), want.name))
                m_findings.Warning(line, U8(command) + " pairs with its companion by ID, in capitals: this one pairs "
                                                       "nothing");
            else if (value.find(u'"') != std::u16string::npos)
                m_findings.Warning(line, head + " holds a \": the companion merge cannot find it");
            break;
        case ValueKind::Text:
        case ValueKind::RegKey: break;
        }
    }

    void CheckData(LONG line, const std::u16string& command, const std::u16string& value, const std::u16string& type,
                   const std::vector<std::u16string>& data) {
        const std::string head = U8(command) + " value \"" + U8(value) + "\"";
        if (type == u"DWORD") {
            size_t at = 0;
            while (at < value.size() && (value[at] == u' ' || value[at] == u'\t')) ++at;
            if (at + 2 < value.size() && value[at] == u'0' && (value[at + 1] | 0x20) == u'x') at += 2;
            size_t start = at;
            while (at < value.size() && IsHexDigit(value[at])) ++at;
            if (at == start) m_findings.Error(line, head + " is not a hexadecimal number: 0 is stored");
            else if (at < value.size())
                m_findings.Warning(line, head + " is read as 0x" + U8(value.substr(start, at - start)) +
                                             ": the rest is ignored");
            else if (at - start > 8) m_findings.Error(line, head + " does not fit a DWORD");
        } else if (type == u"BINARY") {
            // Hexadecimal numbers, each followed by exactly one separator.
            size_t at = 0;
            while (at < value.size()) {
                size_t start = at;
                while (at < value.size() && IsHexDigit(value[at])) ++at;
                if (at == start) {
                    m_findings.Error(line, head + " is not hexadecimal bytes separated by single spaces");
                    break;
                }
                if (at - start > 2)
                    m_findings.Warning(line, head + ": " + U8(value.substr(start, at - start)) +
                                                 " is more than a byte; only its last two digits are stored");
                ++at;
            }
        }
        if (data.size() > 1 && type != u"MULTI_SZ")
            m_findings.Warning(line, U8(command) + " has " + std::to_string(data.size()) +
                                         " texts between its tags: only the first is stored (MULTI_SZ stores all)");
    }

    const std::vector<Attribute>& AttributesOfCurrent() const { return *m_current; }

    Findings& m_findings;
    const Table& m_table;
    const std::vector<Attribute>* m_current = nullptr;  // the attributes of the command being checked
};

struct LoadedDocument {
    Ref<IXmlDocument> document;
    bool ok = false;
};

// Reads and parses one host file, reporting why it cannot be read or parsed.
void Load(const std::string& path, Findings& findings, LoadedDocument* loaded) {
    std::string bytes, error;
    if (!cli::ReadInputFile(path, kMaxScriptBytes, "script", &bytes, &error)) {
        // The reason starts with the file's name, which the line already gives.
        if (error.rfind(path + ": ", 0) == 0) error.erase(0, path.size() + 2);
        cli::PrintLine(cli::Name(path) + ": error: " + cli::NameIn(error, path));
        findings.CountError();
        return;
    }
    if (FAILED(CreateXmlDocument(&loaded->document.p)) || !loaded->document.p) {
        cli::PrintLine(cli::Name(path) + ": error: no XML parser");
        findings.CountError();
        return;
    }
    VARIANT_BOOL success = VARIANT_FALSE;
    loaded->document->load(bytes.data(), bytes.size(), &success);
    if (success == VARIANT_TRUE) {
        loaded->ok = true;
        return;
    }
    XmlParseError parse;
    loaded->document->get_parseError(&parse);
    std::string reason = U8(parse.reason);
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    if (reason.empty()) reason = "does not parse";
    // Text in a single-byte code page read as UTF-8: the usual cause is a missing declaration.
    if (reason.find("UTF-8") != std::string::npos && bytes.find("encoding=") == std::string::npos)
        reason += " (declare the file's encoding: <?xml version=\"1.0\" encoding=\"windows-1252\"?>)";
    findings.ParseError(parse.line, parse.column, reason);
}

// The merge's elements of one kind that carry an ID, as the merge selects them (by exact name).
std::vector<std::pair<std::u16string, LONG>> IdsOf(IXmlDocument* document, const LdMergeEntry& entry) {
    std::vector<std::pair<std::u16string, LONG>> result;
    Ref<IXmlNodeList> list;
    std::u16string query = u"//" + std::u16string(entry.command);
    if (FAILED(document->selectNodes(query.c_str(), &list.p)) || !list.p) return result;
    LONG count = 0;
    list->get_length(&count);
    for (LONG i = 0; i < count; ++i) {
        Ref<IXmlNode> node;
        Ref<IXmlElement> element;
        if (FAILED(list->get_item(i, &node.p)) || !node.p || FAILED(node->QueryElement(&element.p)) || !element.p)
            continue;
        std::u16string id;
        if (element->getAttribute(u"ID", &id) == S_OK) result.emplace_back(id, LineOf(node.p));
    }
    return result;
}

// ID pairs between a package and the companion it will run with, as the merge forms them.
void CheckPairs(IXmlDocument* main, Findings& mainFindings, IXmlDocument* companion, Findings& companionFindings) {
    for (size_t k = 0; k < kLanguageMergeCount; ++k) {
        const LdMergeEntry& entry = LanguageMergeTable()[k];
        const auto mainIds = IdsOf(main, entry);
        const auto companionIds = IdsOf(companion, entry);
        const std::string command = U8(entry.command);
        for (size_t i = 0; i < mainIds.size(); ++i) {
            for (size_t j = 0; j < i; ++j)
                if (mainIds[j].first == mainIds[i].first) {
                    mainFindings.Warning(mainIds[i].second, command + " ID=\"" + U8(mainIds[i].first) +
                                                                "\" again: only the first, on line " +
                                                                std::to_string(mainIds[j].second) +
                                                                ", takes the companion's name");
                    break;
                }
            bool partner = false;
            for (const auto& c : companionIds) partner = partner || c.first == mainIds[i].first;
            if (!partner)
                mainFindings.Warning(mainIds[i].second, command + " ID=\"" + U8(mainIds[i].first) +
                                                            "\" has no partner in " + cli::Name(companionFindings.file()) +
                                                            ": its " + U8(entry.targetAttribute) + " stays as written");
        }
        for (const auto& c : companionIds) {
            bool partner = false;
            for (const auto& m : mainIds) partner = partner || m.first == c.first;
            if (!partner)
                companionFindings.Warning(c.second, command + " ID=\"" + U8(c.first) + "\" has no partner in " +
                                                        cli::Name(mainFindings.file()) + ": its " +
                                                        U8(entry.sourceAttribute) + " is not used");
        }
    }
}

}  // namespace

int Check(const std::vector<std::string>& argv) {
    cli::Args args;
    if (int code = 0; !cli::ParseCommand(argv, {"table", "companion"}, {}, kUsage, &args, &code)) return code;
    if (args.positional.empty()) return cli::Fail(cli::kUsage, "check takes FILE... (see --help)");
    const std::string tableName = args.Value("table", "lingo");
    if (tableName != "lingo" && tableName != "muiapply")
        return cli::Fail(cli::kUsage, "--table is lingo or muiapply, not '" + cli::Name(tableName) + "'");
    const Table table = tableName == "lingo" ? LingoTable() : RunnerTable();
    if (args.Has("companion") && table.runner)
        return cli::Fail(cli::kUsage, "the configuration runner runs a script without a companion");

    bool failed = false;
    Findings companionFindings(args.Value("companion"));
    LoadedDocument companion;
    if (args.Has("companion")) {
        Load(args.Value("companion"), companionFindings, &companion);
        failed = !companion.ok;
    }
    for (const std::string& file : args.positional) {
        Findings findings(file);
        LoadedDocument loaded;
        Load(file, findings, &loaded);
        if (loaded.ok) {
            Checker(findings, table).CheckDocument(loaded.document.p);
            if (companion.ok) CheckPairs(loaded.document.p, findings, companion.document.p, companionFindings);
        }
        failed = failed || findings.errors() > 0;
    }
    return failed ? cli::kFailure : cli::kOk;
}

}  // namespace commands
