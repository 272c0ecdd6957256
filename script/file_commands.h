// The tree operations behind the script's file commands: whole-folder copies and deletions and
// the name searches of the language-dependent renames. The handlers themselves are declared in
// command_table.h.
//
// Every path these operations form ("folder\name", "folder\*.*") must fit the platform's
// MAX_PATH buffer with its terminator; a path that would not is refused, never cut short, since
// a cut path names another file.
#pragma once

#include "clpa.h"
#include "platform/wintypes.h"

// The operations keep the names the rest of the engine knows them by; the namespace keeps
// CompareNoCase apart from the text helper of the same name, whose rules differ.
namespace filecmd {

// What PathKind finds.
enum : int { kPathMissing = 0, kPathFile = 1, kPathFolder = 2 };

enum class CopyMode { Merge, EmptyFirst };

// kPathMissing when a search for the path finds nothing, kPathFolder for a folder (or a mounted
// storage folder, which the platform marks temporary), else kPathFile.
int PathKind(const WCHAR* path);

// Deletes the folder and everything below it, clearing read-only bits first. 0 on success, else
// the platform's last error.
DWORD DeleteTree(const WCHAR* folder);

// Deletes everything below the folder; the folder stays. 0, or the last error when the folder
// cannot be listed. Entries that cannot be deleted are left in place.
DWORD EmptyDirectory(const WCHAR* folder);

// Copies the folder source to target. A source that is not a folder returns its PathKind and
// copies nothing; a file in target's place returns 1; a target created here returns 1, an
// existing one 0; a target that cannot be created or a source that cannot be listed returns the
// last error. Files that fail to copy are skipped. complete, when given, is set to whether
// every file and folder of source now has its copy below target, which the result alone cannot
// tell (a file in target's place also gives 1).
DWORD CopyTree(const WCHAR* source, const WCHAR* target, CopyMode mode, bool* complete = nullptr);

// Appends to list heap copies of the full paths of the files below folder (at any depth) whose
// name matches name by CompareNoCase, in discovery order.
void FindFilesByName(const WCHAR* folder, const WCHAR* name, CLPA* list);

// The same for folders; each folder's path comes before the paths found inside it.
void FindDirectoriesByName(const WCHAR* folder, const WCHAR* name, CLPA* list);

// 0 when a and b are equal once upper-cased, and also when either is empty (an empty name
// matches every name); otherwise -1 or 1 by the first differing upper-cased unit (unsigned).
int CompareNoCase(const WCHAR* a, const WCHAR* b);

// True when path names folder itself or something below it, compared as the device compares
// paths: name by name, without regard to case ("\Windows2" is not below "\Windows"). Every
// path is below the root "\".
bool IsSameOrBelow(const WCHAR* path, const WCHAR* folder);

// Writes "folder\name" into buffer; false (buffer untouched) when it would not fit. A folder
// that already ends in a backslash (the root "\") gets no second one.
bool JoinPath(WCHAR (&buffer)[MAX_PATH], const WCHAR* folder, const WCHAR* name);

}  // namespace filecmd
