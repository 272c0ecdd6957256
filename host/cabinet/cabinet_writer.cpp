// Writing cabinets with libgcab. Kept out of the emulator's library: only tools and tests write
// cabinets, and the device itself never does.
#include <libgcab.h>

#include "host/cabinet/cabinet.h"

namespace host {

namespace {

template <class T>
struct GObjectPtr {
    T* p = nullptr;
    ~GObjectPtr() {
        if (p) g_object_unref(p);
    }
};

}  // namespace

bool WriteCabinet(const std::vector<CabinetMember>& members, std::string* bytes, std::string* error) {
    GError* gerror = nullptr;
    auto fail = [&](const std::string& what) {
        if (error) *error = what + (gerror ? std::string(": ") + gerror->message : std::string());
        if (gerror) g_error_free(gerror);
        return false;
    };
    if (members.empty()) return fail("a cabinet needs at least one member");
    GObjectPtr<GCabCabinet> cabinet{gcab_cabinet_new()};
    GObjectPtr<GCabFolder> folder{gcab_folder_new(GCAB_COMPRESSION_NONE)};
    for (const CabinetMember& member : members) {
        GBytes* content = g_bytes_new(member.bytes.data(), member.bytes.size());
        GObjectPtr<GCabFile> file{gcab_file_new_with_bytes(member.name.c_str(), content)};
        g_bytes_unref(content);
        if (!gcab_folder_add_file(folder.p, file.p, FALSE, nullptr, &gerror))
            return fail("cannot add member '" + member.name + "'");
    }
    if (!gcab_cabinet_add_folder(cabinet.p, folder.p, &gerror)) return fail("cannot add the folder");
    GObjectPtr<GOutputStream> out{g_memory_output_stream_new_resizable()};
    if (!gcab_cabinet_write_simple(cabinet.p, out.p, nullptr, nullptr, nullptr, &gerror) ||
        !g_output_stream_close(out.p, nullptr, &gerror))
        return fail("cannot write the cabinet");
    auto* memory = G_MEMORY_OUTPUT_STREAM(out.p);
    const char* data = static_cast<const char*>(g_memory_output_stream_get_data(memory));
    bytes->assign(data, g_memory_output_stream_get_data_size(memory));
    return true;
}

}  // namespace host
