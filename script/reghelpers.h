// Registry and text helpers shared by the script engine, its commands and the applet: read and
// write single registry values, the language test of `If` elements, and a case-insensitive
// replacement of the first occurrence of a text. They hold no state.
#pragma once

#include "platform/wintypes.h"

// Reads one value: a heap copy of exactly *size bytes (release it with free()), and its type in
// *type. On any failure, a value larger than 8 096 bytes included, null with *size 0 and *type
// untouched. The key is opened with access 0 and closed again.
BYTE* RegReadValue(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD* size, DWORD* type);

// 1 when the value exists and is a REG_DWORD (*value receives it), else 0 with *value 0.
int RegReadDword(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD* value);

// Creates or opens the key (access 0) and writes one value, typed by the fifth character of
// typeName: 'B' REG_BINARY of count bytes, 'D' REG_DWORD of 4 bytes whatever count says, 'S'
// REG_SZ of count characters (the caller counts the terminator). Any other name writes nothing
// and returns -1. Otherwise 0 or the platform's error.
LONG RegWriteValue(HKEY root, LPCWSTR subKey, LPCWSTR valueName, const void* data, DWORD count,
                   LPCWSTR typeName);

// The `If` language test: 0 when text, read as hexadecimal, names the current language (the
// REG_DWORD "CurLang" of HKEY_CURRENT_USER\MUI, 0 when missing), 1 otherwise. A null text or one
// that holds no number never matches.
int LanguageMatches(LPCWSTR text);

// Replaces the first occurrence of oldText in text, compared without regard to case, by newText
// when the result fits in capacity units (terminator included). Returns the position after the
// inserted text, or null when nothing was replaced (text unchanged).
WCHAR* ReplaceFirstNoCase(WCHAR* text, DWORD capacity, LPCWSTR oldText, LPCWSTR newText);
