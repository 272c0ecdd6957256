// A database's records as text, one record a line, its properties in record order, each as
// ID#TYPE#VALUE; with ID and TYPE in decimal. Values: CEVT_I2 and CEVT_I4 signed decimal,
// CEVT_UI2 and CEVT_UI4 unsigned decimal, CEVT_LPWSTR the text in UTF-8 with \ ; # CR LF written
// \\ \; \# \r \n (and a unit that UTF-8 cannot carry, an unpaired surrogate, as \uXXXX), every
// other type its stored bytes in hexadecimal (record_blob.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace host::cedb {

// One stored record's line, without the line end; false for a record that is not well-formed.
bool FormatRecord(std::string_view blob, std::string* line);

// Reads records text (UTF-8; lines end with LF or CR LF; a UTF-8 byte-order mark is skipped) into
// stored records, in order. False at the first malformed line, with its number (from 1) and what
// is wrong with it.
bool ParseRecords(std::string_view text, std::vector<std::string>* blobs, size_t* line, std::string* error);

}  // namespace host::cedb
