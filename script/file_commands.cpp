// The script's file commands and the tree operations they share. Failures are silent: a
// command stops where the platform refused and the script goes on.
#include "file_commands.h"

#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "command_table.h"
#include "script_trace.h"
#include "platform/archive.h"
#include "platform/com.h"
#include "platform/files.h"
#include "platform/text.h"

namespace filecmd {

namespace {

bool IsDotName(const WCHAR* name) { return name[0] == u'.' && (name[1] == 0 || (name[1] == u'.' && name[2] == 0)); }

bool IsFolder(DWORD attributes) { return attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY); }

// Calls visit(find data, full path) for every entry of folder except "." and "..", in the order
// the platform lists them. Returns 0, or the error of a search that failed. A folder with
// nothing in it is listed, not failed: the object store reports "no match" for it, and an empty
// folder is no reason to abandon a copy. An entry whose full path would not fit is skipped, and
// *skipped, when given, tells whether that happened.
template <class Visit>
DWORD ForEachEntry(const WCHAR* folder, Visit visit, bool* skipped = nullptr) {
    WCHAR pattern[MAX_PATH];
    if (!JoinPath(pattern, folder, u"*.*")) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return ERROR_FILENAME_EXCED_RANGE;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES ? 0 : error;
    }
    do {
        WCHAR path[MAX_PATH];
        if (IsDotName(data.cFileName)) continue;
        if (!JoinPath(path, folder, data.cFileName)) {
            if (skipped) *skipped = true;
            continue;
        }
        visit(data, path);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return 0;
}

void ClearReadOnly(const WCHAR* path, DWORD attributes) {
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path, attributes & ~DWORD(FILE_ATTRIBUTE_READONLY));
}

DWORD DeleteEntries(const WCHAR* folder) {
    return ForEachEntry(folder, [](const WIN32_FIND_DATAW& entry, const WCHAR* path) {
        ClearReadOnly(path, entry.dwFileAttributes);
        if (IsFolder(entry.dwFileAttributes)) DeleteTree(path);
        else DeleteFileW(path);
    });
}

}  // namespace

bool JoinPath(WCHAR (&buffer)[MAX_PATH], const WCHAR* folder, const WCHAR* name) {
    size_t folderLength = wcslen(folder);
    bool separator = folderLength == 0 || folder[folderLength - 1] != u'\\';
    size_t length = folderLength + (separator ? 1 : 0) + wcslen(name);
    if (length >= MAX_PATH) return false;
    wcscpy(buffer, folder);
    if (separator) wcscat(buffer, u"\\");
    wcscat(buffer, name);
    return true;
}

int PathKind(const WCHAR* path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(path, &data);
    if (find == INVALID_HANDLE_VALUE) return kPathMissing;
    FindClose(find);
    return IsFolder(data.dwFileAttributes) ? kPathFolder : kPathFile;
}

DWORD DeleteTree(const WCHAR* folder) {
    DeleteEntries(folder);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(folder, &data);
    if (find != INVALID_HANDLE_VALUE) {
        FindClose(find);
        ClearReadOnly(folder, data.dwFileAttributes);
    }
    return RemoveDirectoryW(folder) ? 0 : GetLastError();
}

DWORD EmptyDirectory(const WCHAR* folder) { return DeleteEntries(folder); }

DWORD CopyTree(const WCHAR* source, const WCHAR* target, CopyMode mode, bool* complete) {
    if (complete) *complete = false;
    int sourceKind = PathKind(source);
    if (sourceKind != kPathFolder) return DWORD(sourceKind);
    int targetKind = PathKind(target);
    if (targetKind == kPathFile) return 1;
    DWORD result = 0;
    if (targetKind == kPathMissing) {
        if (!CreateDirectoryW(target, nullptr)) return GetLastError();
        result = 1;
    }
    if (mode == CopyMode::EmptyFirst) EmptyDirectory(target);
    bool whole = true, skipped = false;
    DWORD error = ForEachEntry(
        source,
        [&](const WIN32_FIND_DATAW& entry, const WCHAR* path) {
            WCHAR copy[MAX_PATH];
            bool copied = false;
            if (JoinPath(copy, target, entry.cFileName)) {
                if (IsFolder(entry.dwFileAttributes)) CopyTree(path, copy, CopyMode::Merge, &copied);
                else copied = CopyFileW(path, copy, FALSE);
            }
            whole = whole && copied;
        },
        &skipped);
    if (error) return error;
    if (complete) *complete = whole && !skipped;
    return result;
}

void FindFilesByName(const WCHAR* folder, const WCHAR* name, CLPA* list) {
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry, const WCHAR* path) {
        if (IsFolder(entry.dwFileAttributes)) FindFilesByName(path, name, list);
        else if (CompareNoCase(entry.cFileName, name) == 0) list->AddString(path);
    });
}

void FindDirectoriesByName(const WCHAR* folder, const WCHAR* name, CLPA* list) {
    ForEachEntry(folder, [&](const WIN32_FIND_DATAW& entry, const WCHAR* path) {
        if (!IsFolder(entry.dwFileAttributes)) return;
        if (CompareNoCase(entry.cFileName, name) == 0) list->AddString(path);
        FindDirectoriesByName(path, name, list);
    });
}

// Runs of backslashes count as one, as if the empty names were not there: the store refuses such
// paths, so reading them so can only refuse a command that would have failed anyway.
bool IsSameOrBelow(const WCHAR* path, const WCHAR* folder) {
    std::u16string_view inner(path), outer(folder);
    for (;;) {
        while (!inner.empty() && inner[0] == u'\\') inner.remove_prefix(1);
        while (!outer.empty() && outer[0] == u'\\') outer.remove_prefix(1);
        if (outer.empty()) return true;
        std::u16string_view innerName = inner.substr(0, inner.find(u'\\'));
        std::u16string_view outerName = outer.substr(0, outer.find(u'\\'));
        if (innerName.empty() || !EqualsNoCase(innerName, outerName)) return false;
        inner.remove_prefix(innerName.size());
        outer.remove_prefix(outerName.size());
    }
}

int CompareNoCase(const WCHAR* a, const WCHAR* b) {
    if (!a || !b || !*a || !*b) return 0;
    for (;; ++a, ++b) {
        WCHAR x = towupper16(*a), y = towupper16(*b);
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}

}  // namespace filecmd

namespace {

using filecmd::CopyMode;
using filecmd::JoinPath;

constexpr DWORD kTransferBytes = 10240;

// path with its last name replaced by name ("\A\old" -> "\A\name"); false when the result would
// not fit.
bool Rename(const WCHAR* path, const WCHAR* name, WCHAR (&buffer)[MAX_PATH]) {
    const WCHAR* slash = wcsrchr(path, u'\\');
    size_t parent = slash ? size_t(slash - path) : 0;
    if (parent + 1 + wcslen(name) >= MAX_PATH) return false;
    wcsncpy(buffer, path, parent);
    buffer[parent] = 0;
    wcscat(buffer, u"\\");
    wcscat(buffer, name);
    return true;
}

// "%s.0%s" of a name and a language identifier in lower-case hexadecimal.
bool LanguageVariant(const WCHAR* name, DWORD language, WCHAR (&buffer)[MAX_PATH]) {
    std::u16string variant = FormatW(u"%s.0%x", name, language);
    if (variant.size() >= MAX_PATH) return false;
    wcscpy(buffer, variant.c_str());
    return true;
}

// The output name of an archive item: its path after the last backslash. The component is
// outside input, so a name that would lead out of the target folder is refused here as well.
bool OutputPath(const WCHAR* folder, BSTR itemPath, WCHAR (&buffer)[MAX_PATH]) {
    if (!itemPath) return false;
    const WCHAR* slash = wcsrchr(itemPath, u'\\');
    const WCHAR* name = slash ? slash + 1 : itemPath;
    if (!*name || wcschr(name, u'/') || filecmd::IsDotName(name)) return false;
    return JoinPath(buffer, folder, name);
}

}  // namespace

namespace {

// A folder copy that did not bring everything across: CopyTree's own error when it stopped
// (a value above kPathFolder), a file standing where the folder should be, or else the
// platform's last error, that of the entry that failed.
void TraceTreeCopy(const WCHAR* from, const WCHAR* to, DWORD copied) {
    if (!CurrentScriptTrace()) return;
    DWORD error = copied > DWORD(filecmd::kPathFolder) ? copied : GetLastError();
    if (filecmd::PathKind(to) == filecmd::kPathFile) error = ERROR_ALREADY_EXISTS;  // a file in the way
    TraceError(std::u16string(u"copy of folder ") + from + u" -> " + to + u" incomplete", error);
}

}  // namespace

// An absent attribute skips its command: the platform call would otherwise receive a null path,
// and a tree operation has nothing to work on. The one-to-one commands then return FALSE, as the
// call they stand for would.

DWORD CmdCreateDirectory(CommandTable*, AttributeMap* attributes, int*) {
    const WCHAR* destination = NeededAttribute(attributes, u"Destination");
    return destination ? CreateDirectoryW(destination, nullptr) : FALSE;
}

DWORD CmdRemoveDirectory(CommandTable*, AttributeMap* attributes, int*) {
    const WCHAR* source = NeededAttribute(attributes, u"Source");
    return source ? RemoveDirectoryW(source) : FALSE;
}

DWORD CmdCopyFile(CommandTable*, AttributeMap* attributes, int*) {
    if (!attributes) return FALSE;
    const WCHAR* source = NeededAttribute(attributes, u"Source");
    const WCHAR* destination = NeededAttribute(attributes, u"Destination");
    return source && destination ? CopyFileW(source, destination, FALSE) : FALSE;
}

DWORD CmdMoveFile(CommandTable*, AttributeMap* attributes, int*) {
    if (!attributes) return FALSE;
    const WCHAR* source = NeededAttribute(attributes, u"Source");
    const WCHAR* destination = NeededAttribute(attributes, u"Destination");
    return source && destination ? MoveFileW(source, destination) : FALSE;
}

DWORD CmdDeleteFile(CommandTable*, AttributeMap* attributes, int*) {
    const WCHAR* source = NeededAttribute(attributes, u"Source");
    return source ? DeleteFileW(source) : FALSE;
}

DWORD CmdCopyTo(CommandTable*, AttributeMap* attributes, int*) {
    if (!attributes) return 1;
    const WCHAR* from = NeededAttribute(attributes, u"FROM");
    const WCHAR* to = NeededAttribute(attributes, u"TO");
    if (!from || !to) return 1;
    // A folder copied into itself or below itself would copy its own copy again and again, until
    // the store is full or the paths too long.
    if (filecmd::IsSameOrBelow(to, from)) return 1;
    switch (filecmd::PathKind(from)) {
    case filecmd::kPathFile:
        if (!CopyFileW(from, to, FALSE)) TraceError(std::u16string(u"CopyFile ") + from + u" -> " + to, GetLastError());
        break;
    case filecmd::kPathFolder: {
        bool complete = false;
        const DWORD copied = filecmd::CopyTree(from, to, CopyMode::Merge, &complete);
        if (!complete) TraceTreeCopy(from, to, copied);
        break;
    }
    default: break;
    }
    return 1;
}

DWORD CmdLDAbsRename(CommandTable*, AttributeMap* attributes, int*) {
    if (!attributes) return 1;
    const WCHAR* from = NeededAttribute(attributes, u"FROM");
    const WCHAR* to = NeededAttribute(attributes, u"TO");
    if (!from || !to) return 1;
    // Both languages often spell a folder alike, so the merge gives FROM equal to TO; copying a
    // folder onto itself after emptying it, or deleting a file after failing to copy it onto
    // itself, would destroy what the command was meant to keep. A TO below FROM would be copied
    // into itself without end and then deleted with FROM; a FROM below TO would be deleted when
    // TO is emptied, before it was copied.
    if (filecmd::IsSameOrBelow(to, from) || filecmd::IsSameOrBelow(from, to)) return 1;
    const WCHAR* empty = attributes->Find(u"EMPTY");
    bool move = empty && wcscmp(empty, u"1") == 0;
    // FROM goes only once all of it stands at TO: a TO that cannot be written (a file or folder
    // in the way, a missing parent, a bad name, a path too long for some entry) leaves FROM.
    switch (filecmd::PathKind(from)) {
    case filecmd::kPathFile:
        if (CopyFileW(from, to, FALSE)) {
            if (move) DeleteFileW(from);
        } else {
            TraceError(std::u16string(u"CopyFile ") + from + u" -> " + to, GetLastError());
        }
        break;
    case filecmd::kPathFolder: {
        bool complete = false;
        const DWORD copied = filecmd::CopyTree(from, to, CopyMode::EmptyFirst, &complete);
        if (complete && move) filecmd::DeleteTree(from);
        if (!complete) TraceTreeCopy(from, to, copied);
        break;
    }
    default: break;
    }
    return 1;
}

DWORD CmdLDRename(CommandTable*, AttributeMap* attributes, int*) {
    if (!attributes) return 1;
    const WCHAR* from = NeededAttribute(attributes, u"FROM");
    const WCHAR* to = NeededAttribute(attributes, u"TO");
    const WCHAR* root = NeededAttribute(attributes, u"ROOT");
    if (!from || !to || !root) return 1;
    // Renaming a name to itself would delete each file before moving it onto itself and empty
    // each folder before copying it onto itself. An empty FROM (a companion element that lost its
    // name) matches every entry, and every file would replace the one renamed before it; an
    // empty TO names the parent folder, and a TO with a backslash puts each folder's copy inside
    // the folder that is deleted next.
    if (!*from || !*to || wcschr(to, u'\\') || EqualsNoCase(from, to)) return 1;

    CLPA files;
    filecmd::FindFilesByName(root, from, &files);
    for (int i = 0; i < files.GetCount(); ++i) {
        WCHAR renamed[MAX_PATH];
        if (!Rename(files.GetString(i), to, renamed)) continue;
        DeleteFileW(renamed);
        MoveFileW(files.GetString(i), renamed);
    }
    files.FreeAll();

    // A folder that cannot be deleted (a file in it is in use) would be found again by every
    // pass, so the passes end when a folder turns up a second time. A folder is deleted only
    // when its copy stands at the new path: one whose new path would not fit, or where a file
    // is in the way, is left alone and ends the passes the same way.
    std::vector<std::u16string> handled;
    for (;;) {
        CLPA folders;
        filecmd::FindDirectoriesByName(root, from, &folders);
        if (folders.GetCount() == 0) break;
        const WCHAR* folder = folders.GetString(0);
        std::u16string found = UpperCase(folder);
        bool seen = false;
        for (const auto& path : handled) seen = seen || path == found;
        if (!seen) {
            handled.push_back(found);
            WCHAR renamed[MAX_PATH];
            if (Rename(folder, to, renamed)) {
                bool complete = false;
                filecmd::CopyTree(folder, renamed, CopyMode::EmptyFirst, &complete);
                if (complete) filecmd::DeleteTree(folder);
            }
        }
        folders.FreeAll();
        if (seen) break;
    }
    return 1;
}

DWORD CmdSwap(CommandTable*, AttributeMap* attributes, int*) {
    const WCHAR* name = NeededAttribute(attributes, u"NAME");
    if (!name) return 1;
    WCHAR backup[MAX_PATH], variant[MAX_PATH];
    if (!LanguageVariant(name, g_dwCurrentLanguage, backup) || !LanguageVariant(name, g_dwTargetLanguage, variant))
        return 1;
    // Without the target language's file there is nothing to put in NAME's place, and backing NAME
    // up would overwrite the backup an earlier switch made, the only copy of that language.
    DWORD variantAttributes = GetFileAttributesW(variant);
    if (variantAttributes == INVALID_FILE_ATTRIBUTES || (variantAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        TraceSkip(std::u16string(u"no file ") + variant + u" for the target language");
        return 1;
    }
    SetFileAttributesW(name, FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(backup, FILE_ATTRIBUTE_NORMAL);
    SetFileAttributesW(variant, FILE_ATTRIBUTE_NORMAL);
    // Each step goes on only when the one before kept what it replaces: NAME is overwritten only
    // once it is backed up (or there is no NAME to lose), and the variant deleted only once it
    // stands in NAME's place.
    if (!CopyFileW(name, backup, FALSE) && GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES) return 1;
    if (!CopyFileW(variant, name, FALSE)) return 1;
    DeleteFileW(variant);
    return 1;
}

namespace {

template <class T>
void ReleaseOf(T*& object) {
    if (object) object->Release();
    object = nullptr;
}

void ExtractItem(IArchiveItem* item, const WCHAR* folder, BYTE* buffer) {
    BSTR name = nullptr, path = nullptr;
    ISequentialStream* stream = nullptr;
    item->get_Name(&name);
    item->get_Path(&path);
    WCHAR output[MAX_PATH];
    if (SUCCEEDED(item->OpenStream(&stream)) && stream && OutputPath(folder, path, output)) {
        // As on the device, an existing file is written over from its start and keeps any longer
        // tail: the output is opened without truncation.
        HANDLE file = CreateFileW(output, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            const bool made = GetLastError() != ERROR_ALREADY_EXISTS;
            bool whole = false;
            for (;;) {
                ULONG read = 0;
                HRESULT hr = stream->Read(buffer, kTransferBytes, &read);
                if (read > kTransferBytes) break;
                DWORD written = 0;
                if (read && !WriteFile(file, buffer, read, &written, nullptr)) break;
                if (FAILED(hr)) break;
                if (read < kTransferBytes) {
                    whole = true;
                    break;
                }
            }
            CloseHandle(file);
            // An item that could not be written whole (the store filled up, the archive is
            // damaged) leaves no part of itself behind in a file it made.
            if (!whole && made) DeleteFileW(output);
        }
    }
    ReleaseOf(stream);
    SysFreeString(name);
    SysFreeString(path);
}

}  // namespace

DWORD CmdExpand(CommandTable*, AttributeMap* attributes, int*) {
    if (!attributes) return 1;
    const WCHAR* from = NeededAttribute(attributes, u"FROM");
    const WCHAR* to = NeededAttribute(attributes, u"TO");
    if (!from || !to) return 1;

    IArchive* archive = nullptr;
    if (FAILED(CoCreateInstance(CLSID_Archive, nullptr, CLSCTX_INPROC_SERVER, IID_IArchive,
                                reinterpret_cast<void**>(&archive))) ||
        !archive)
        return 1;
    IArchiveFolder* root = nullptr;
    IArchiveItems* items = nullptr;
    LONG count = 0;
    bool opened = SUCCEEDED(archive->Open(from));
    if (opened && SUCCEEDED(archive->get_RootFolder(&root)) && root && SUCCEEDED(root->get_Files(&items)) && items &&
        SUCCEEDED(items->get_Count(&count))) {
        std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[kTransferBytes]);
        for (LONG i = 0; buffer && i < count; ++i) {
            IArchiveItem* item = nullptr;
            if (FAILED(items->Item(i, &item)) || !item) continue;
            ExtractItem(item, to, buffer.get());
            item->Release();
        }
    }
    ReleaseOf(items);
    ReleaseOf(root);
    if (opened) archive->Close();
    archive->Release();
    return 1;
}
