// Microsoft cabinets (MSCF) as lists of members: read with libarchive, written with libgcab.
// A cabinet is outside input: reading holds the number of members and the bytes each and all of
// them expand to within limits, so that a hostile cabinet cannot exhaust the host's memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace host {

struct CabinetMember {
    std::string name;   // as stored (a device cabinet's members are 8.3 names)
    std::string bytes;

    bool operator==(const CabinetMember&) const = default;
};

struct CabinetLimits {
    size_t maxMembers = 1000;               // a device cabinet numbers its members 000 to 999
    uint64_t maxMemberBytes = 64u << 20;
    uint64_t maxTotalBytes = 128u << 20;
};

// The members in their order in the cabinet. False with the reason when the bytes are not a
// cabinet, a member is not a plain file, or the limits are passed.
bool ReadCabinet(std::string_view bytes, const CabinetLimits& limits, std::vector<CabinetMember>* members,
                 std::string* error);

// An uncompressed cabinet of one folder holding the members in the order given (libgcab; in
// cabinet_writer.cpp, which only the tools and tests that write cabinets link).
bool WriteCabinet(const std::vector<CabinetMember>& members, std::string* bytes, std::string* error);

}  // namespace host
