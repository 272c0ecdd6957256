#include "host/cabinet/cabinet.h"

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace host {

namespace {

struct ReaderFree {
    void operator()(struct archive* reader) const { archive_read_free(reader); }
};

std::string Shown(const char* name) { return name ? std::string("member '") + name + "'" : "a member without a name"; }

}  // namespace

bool ReadCabinet(std::string_view bytes, const CabinetLimits& limits, std::vector<CabinetMember>* members,
                 std::string* error) {
    auto fail = [&](std::string why) {
        if (error) *error = std::move(why);
        return false;
    };
    if (bytes.size() < 4 || bytes.substr(0, 4) != "MSCF") return fail("not a cabinet (no MSCF signature)");
    std::unique_ptr<struct archive, ReaderFree> reader(archive_read_new());
    if (!reader) return fail("out of memory");
    // Only the cabinet reader: it is built into the library and starts no outside program.
    archive_read_support_format_cab(reader.get());
    if (archive_read_open_memory(reader.get(), bytes.data(), bytes.size()) != ARCHIVE_OK)
        return fail(std::string("not a readable cabinet: ") + archive_error_string(reader.get()));
    std::vector<CabinetMember> found;
    uint64_t total = 0;
    for (;;) {
        struct archive_entry* entry = nullptr;
        const int rc = archive_read_next_header(reader.get(), &entry);
        if (rc == ARCHIVE_EOF) break;
        if (rc != ARCHIVE_OK && rc != ARCHIVE_WARN) {
            const char* why = archive_error_string(reader.get());
            return fail("the cabinet is damaged after " + std::to_string(found.size()) + " members: " +
                        (why ? why : "unreadable"));
        }
        const char* name = archive_entry_pathname(entry);
        if (!name || !*name) return fail("member " + std::to_string(found.size()) + " has no name");
        if (archive_entry_filetype(entry) != AE_IFREG) return fail(Shown(name) + " is not a file");
        if (found.size() >= limits.maxMembers)
            return fail("more than " + std::to_string(limits.maxMembers) + " members");
        // The stored size is checked first and the bytes as they come, since the size may lie.
        if (archive_entry_size_is_set(entry) && uint64_t(archive_entry_size(entry)) > limits.maxMemberBytes)
            return fail(Shown(name) + " is larger than " + std::to_string(limits.maxMemberBytes) + " bytes");
        CabinetMember member;
        member.name = name;
        char chunk[65536];
        for (;;) {
            const la_ssize_t got = archive_read_data(reader.get(), chunk, sizeof chunk);
            if (got < 0) {
                const char* why = archive_error_string(reader.get());
                return fail(Shown(name) + " cannot be read: " + (why ? why : "damaged"));
            }
            if (got == 0) break;
            total += uint64_t(got);
            if (member.bytes.size() + size_t(got) > limits.maxMemberBytes)
                return fail(Shown(name) + " is larger than " + std::to_string(limits.maxMemberBytes) + " bytes");
            if (total > limits.maxTotalBytes)
                return fail("the members hold more than " + std::to_string(limits.maxTotalBytes) + " bytes");
            member.bytes.append(chunk, size_t(got));
        }
        found.push_back(std::move(member));
    }
    if (found.empty()) return fail("the cabinet holds no members");
    *members = std::move(found);
    return true;
}

}  // namespace host
