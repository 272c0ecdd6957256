// pocketsim db: the image's property databases for a person: list them, print one's records as
// text, load one from such text, drop one.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli.h"
#include "commands.h"
#include "host/db/database_store.h"
#include "host/db/db_text.h"
#include "platform/text.h"

namespace commands {

namespace {

const char kUsage[] =
    "usage: pocketsim db IMAGE list\n"
    "       pocketsim db IMAGE dump NAME\n"
    "       pocketsim db IMAGE load NAME FILE\n"
    "       pocketsim db IMAGE drop NAME\n"
    "list prints one line per database: \"NAME\" type=0xHHHHHHHH records=N.\n"
    "dump prints NAME's records in creation order, one per line, each property as ID#TYPE#VALUE;\n"
    "(ID and TYPE in decimal; numbers in decimal; texts in UTF-8 with \\ ; # CR LF written as\n"
    "\\\\ \\; \\# \\r \\n; other types as hexadecimal bytes).\n"
    "load reads that text (UTF-8) from FILE into NAME, creating it without a sort order or replacing\n"
    "all its records, in one step: a malformed line is reported as FILE:LINE and changes nothing.\n"
    "FILE is a regular file of at most 16 MiB. The records count towards the object store's capacity.\n"
    "drop deletes NAME with all its records. A NAME is 1 to 31 characters.\n";

// Far more than a handheld's database holds; the whole file is checked before anything changes.
constexpr size_t kMaxLoadBytes = 16u << 20;

// A database name as list shows it inside quotes: \ and " escaped, control characters as \xNN.
std::string Quoted(std::u16string_view name) {
    std::string out = "\"";
    for (char c : ToUtf8(name)) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", unsigned(static_cast<unsigned char>(c)));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Describe(DWORD error) {
    switch (error) {
    case ERROR_DISK_FULL: return "the object store is full (see init --store-size)";
    case ERROR_SHARING_VIOLATION: return "the database is in use";
    case ERROR_READ_FAULT: return "the image's database cannot be read";
    case ERROR_WRITE_FAULT: return "the image's database cannot be written";
    default: return "error " + std::to_string(error);
    }
}

int List(host::DatabaseStore& store) {
    CEOID oid = 0;
    for (;;) {
        DWORD error = store.NextDatabase(oid, 0, &oid);
        if (error == ERROR_NO_MORE_ITEMS) return cli::kOk;
        host::DatabaseStore::Info info;
        uint64_t records = 0;
        if (!error) error = store.FindByOid(oid, &info);
        if (!error) error = store.CountRecords(oid, &records);
        if (error) return cli::Fail(cli::kFailure, "cannot list the databases: " + Describe(error));
        char tail[64];
        std::snprintf(tail, sizeof tail, " type=0x%08X records=%llu", unsigned(info.type),
                      static_cast<unsigned long long>(records));
        cli::PrintLine(Quoted(info.name) + tail);
    }
}

int Dump(host::DatabaseStore& store, const std::string& nameText, std::u16string_view name) {
    host::DatabaseStore::Info info;
    std::vector<std::string> records;
    DWORD error = store.FindByName(name, &info);
    if (!error) error = store.ListRecords(info.oid, &records);
    if (error == ERROR_FILE_NOT_FOUND) return cli::Fail(cli::kFailure, "no database named " + cli::Name(nameText));
    if (error) return cli::Fail(cli::kFailure, "cannot read " + cli::Name(nameText) + ": " + Describe(error));
    std::string line;
    for (size_t i = 0; i < records.size(); ++i) {
        if (!host::cedb::FormatRecord(records[i], &line))
            return cli::Fail(cli::kFailure, cli::Name(nameText) + ": record " + std::to_string(i + 1) + " is damaged");
        line += '\n';
        cli::Out(line);
    }
    return cli::kOk;
}

int Load(host::DatabaseStore& store, const std::string& nameText, std::u16string_view name, const std::string& file,
         const std::string& text) {
    std::vector<std::string> records;
    size_t line = 0;
    std::string wrong;
    if (!host::cedb::ParseRecords(text, &records, &line, &wrong))
        return cli::Fail(cli::kFailure, cli::Name(file) + ":" + std::to_string(line) + ": " + wrong);
    bool created = false;
    if (DWORD error = store.ReplaceRecords(name, records, &created))
        return cli::Fail(cli::kFailure, "cannot load " + cli::Name(nameText) + ": " + Describe(error));
    return cli::kOk;
}

int Drop(host::DatabaseStore& store, const std::string& nameText, std::u16string_view name) {
    host::DatabaseStore::Info info;
    DWORD error = store.FindByName(name, &info);
    if (!error) error = store.Delete(info.oid);
    if (error == ERROR_FILE_NOT_FOUND) return cli::Fail(cli::kFailure, "no database named " + cli::Name(nameText));
    if (error) return cli::Fail(cli::kFailure, "cannot drop " + cli::Name(nameText) + ": " + Describe(error));
    return cli::kOk;
}

}  // namespace

int Db(const std::vector<std::string>& argv) {
    cli::Args args;
    std::string error;
    if (int code = 0; !cli::ParseCommand(argv, {}, {}, kUsage, &args, &code)) return code;
    const auto& pos = args.positional;
    if (pos.size() < 2) return cli::Fail(cli::kUsage, "db takes IMAGE and list, dump, load or drop (see --help)");
    const std::string& verb = pos[1];
    const size_t wanted = verb == "list" ? 2 : verb == "dump" || verb == "drop" ? 3 : verb == "load" ? 4 : 0;
    if (!wanted) return cli::Fail(cli::kUsage, "unknown db command '" + cli::Name(verb) + "' (list, dump, load or drop)");
    if (pos.size() != wanted)
        return cli::Fail(cli::kUsage, "db IMAGE " + verb + (verb == "list" ? " takes nothing more"
                                                            : verb == "load" ? " takes NAME FILE"
                                                                             : " takes NAME"));
    std::u16string name;
    if (wanted > 2) {
        name = FromUtf8(pos[2]);
        if (ToUtf8(name) != pos[2] || !host::DatabaseStore::IsValidName(name))
            return cli::Fail(cli::kUsage, "database name " + cli::Name(pos[2]) +
                                              ": 1 to 31 characters of UTF-8 text without control characters");
    }
    std::string text;
    if (verb == "load" && !cli::ReadInputFile(pos[3], kMaxLoadBytes, "load file", &text, &error)) return cli::Fail(cli::kFailure, "cannot load " + error);

    cli::Session session;
    if (!cli::OpenSession(pos[0], args, &session)) return cli::kFailure;
    host::DatabaseStore& store = session.device->Databases();
    if (verb == "list") return List(store);
    if (verb == "dump") return Dump(store, pos[2], name);
    if (verb == "load") return Load(store, pos[2], name, pos[3], text);
    return Drop(store, pos[2], name);
}

}  // namespace commands
