// The BaseUpdate command: applies a rules file to one of the device's property databases. Each
// rule says: in every record whose property A has value a, set property B to value b; a rule that
// matches no record at all adds a record holding a and b.
//
// Rules file: UTF-16LE with the mark FF FE; the first line names the database, every further
// line (read in pieces of at most 2 047 units) is a rule
//     matchId#matchType#matchValue;setId#setType#setValue;
// where every "?" stands for U+F001 and every "\" for U+F000, the types are 2, 18, 3, 19 or 31,
// and anything after the second ";" is ignored.
//
// The records are walked in creation order and, for each, the rules in file order; a rule that
// does not parse ends the rules of every record at it and is reported once the rules before it
// have been inserted. The outcome is the update's own result code (0 or one below, or the
// platform's error of a file open, database open or record write), seen only in the trace.
#pragma once

#include "platform/database.h"

constexpr DWORD kUpdateNoMark = 9000000;     // fewer than two bytes in the file
constexpr DWORD kUpdateWrongMark = 9000001;  // the first two bytes are not FF FE
constexpr DWORD kUpdateNoName = 9000002;     // no database name line
constexpr DWORD kUpdateNoRules = 9000005;    // no rule line
// Rule n (from 0) fails with n * 100 plus one of these.
constexpr DWORD kUpdateMissingSeparator = 9000006;
constexpr DWORD kUpdateBadMatchType = 9000007;
constexpr DWORD kUpdateBadSetType = 9000008;

// Makes the two substitutions on a rule line and splits and converts it in place: the texts of
// CEVT_LPWSTR values point into line. 0, or kUpdateMissingSeparator, kUpdateBadMatchType or
// kUpdateBadSetType (for rule 0).
DWORD ParseRuleLine(WCHAR* line, CEPROPVAL* match, CEPROPVAL* set);

// Runs the update of the rules file at rulesPath (a device path) and returns its result code.
DWORD UpdateDatabase(const WCHAR* rulesPath);
