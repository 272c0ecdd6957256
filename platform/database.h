// The device's property databases: named stores of records, each record a list of typed
// properties (identifier, type, value), kept in the object store. Handles from CeOpenDatabaseEx
// and CeFindFirstDatabaseEx are closed with CloseHandle; buffers CeReadRecordPropsEx allocates
// are released with LocalFree.
#pragma once

#include "winbase.h"

typedef DWORD CEOID;
typedef CEOID* PCEOID;
typedef DWORD CEPROPID;
typedef WORD* LPWORD;

// A volume of databases. All four words 0xFFFFFFFF name the object store's own volume, the only
// one the device has here.
struct CEGUID {
    DWORD Data1;
    DWORD Data2;
    DWORD Data3;
    DWORD Data4;
};
typedef CEGUID* PCEGUID;
inline void CREATE_SYSTEMGUID(CEGUID* guid) { guid->Data1 = guid->Data2 = guid->Data3 = guid->Data4 = 0xFFFFFFFF; }

// Property types.
#define CEVT_I2 2
#define CEVT_I4 3
#define CEVT_R8 5
#define CEVT_BOOL 11
#define CEVT_UI2 18
#define CEVT_UI4 19
#define CEVT_LPWSTR 31
#define CEVT_FILETIME 64
#define CEVT_BLOB 65

// A property identifier carries the property's number in its high word and its type in the low.
#define PROPID_FROM(id, type) ((CEPROPID)((((DWORD)(id)) << 16) | (WORD)(type)))
#define TypeFromPropID(propid) LOWORD(propid)

struct CEBLOB {
    DWORD dwCount;
    LPBYTE lpb;
};

union CEVALUNION {
    SHORT iVal;
    USHORT uiVal;
    LONG lVal;
    ULONG ulVal;
    FILETIME filetime;
    LPWSTR lpwstr;
    CEBLOB blob;
    BOOL boolVal;
    double dblVal;
};

struct CEPROPVAL {
    CEPROPID propid;
    WORD wLenData;  // unused
    WORD wFlags;
    CEVALUNION val;
};

// wFlags: set by a read for a requested property the record lacks; set by a writer to remove the
// property from the record.
#define CEDB_PROPNOTFOUND 0x0100
#define CEDB_PROPDELETE 0x0200

// Limits: a database name holds at most 31 units, a property's value 65 472 bytes (a string
// counts its terminator), a record's values together 128 KiB.
#define CEDB_MAXDBASENAMELEN 32
#define CEDB_MAXSORTORDER 4
#define CEDB_MAXPROPDATASIZE 65472
#define CEDB_MAXRECORDSIZE (128 * 1024)

struct SORTORDERSPEC {
    CEPROPID propid;
    DWORD dwFlags;
};
#define CEDB_SORT_DESCENDING 0x00000001
#define CEDB_SORT_CASEINSENSITIVE 0x00000002
#define CEDB_SORT_UNKNOWNFIRST 0x00000004
#define CEDB_SORT_GENERICORDER 0x00000008

struct CEDBASEINFO {
    DWORD dwFlags;  // which of the fields below are valid (CEDB_VALID...)
    WCHAR szDbaseName[CEDB_MAXDBASENAMELEN];
    DWORD dwDbaseType;
    WORD wNumRecords;
    WORD wNumSortOrder;
    DWORD dwSize;
    FILETIME ftLastModified;
    SORTORDERSPEC rgSortSpecs[CEDB_MAXSORTORDER];
};
#define CEDB_VALIDNAME 0x0001
#define CEDB_VALIDTYPE 0x0002
#define CEDB_VALIDSORTSPEC 0x0004
#define CEDB_VALIDMODTIME 0x0008
#define CEDB_VALIDDBFLAGS 0x0010
#define CEDB_VALIDCREATE (CEDB_VALIDNAME | CEDB_VALIDTYPE | CEDB_VALIDSORTSPEC | CEDB_VALIDDBFLAGS)
#define CEDB_NOCOMPRESS 0x00010000

// CeOpenDatabaseEx: each read moves the seek pointer on to the next record.
#define CEDB_AUTOINCREMENT 0x00000001

#define CEDB_SEEK_CEOID 0x00000001
#define CEDB_SEEK_BEGINNING 0x00000002
#define CEDB_SEEK_END 0x00000004
#define CEDB_SEEK_CURRENT 0x00000008
#define CEDB_SEEK_VALUESMALLER 0x00000010
#define CEDB_SEEK_VALUEFIRSTEQUAL 0x00000020
#define CEDB_SEEK_VALUEGREATER 0x00000040
#define CEDB_SEEK_VALUENEXTEQUAL 0x00000080

#define CEDB_ALLOWREALLOC 0x00000001

// Change notifications are not offered: a request must be null.
struct CENOTIFYREQUEST;

// The new database's identifier, or 0 with the last error: ERROR_INVALID_PARAMETER (no name, a
// name of 32 units or more, more than 4 sort orders, an unknown type or flag), ERROR_DUP_NAME.
CEOID CeCreateDatabaseEx(PCEGUID volume, CEDBASEINFO* info);
// Opens a database by name, or by *oid when name is null; *oid receives the identifier. The
// records come in the order of the sort order whose property is propid, in creation order when
// propid is 0. INVALID_HANDLE_VALUE with the last error on failure (ERROR_FILE_NOT_FOUND for a
// database that does not exist).
HANDLE CeOpenDatabaseEx(PCEGUID volume, PCEOID oid, LPCWSTR name, CEPROPID propid, DWORD flags,
                        CENOTIFYREQUEST* notify);
// Moves the seek pointer: CEDB_SEEK_BEGINNING value records from the first, CEDB_SEEK_CURRENT
// value (signed) records from the current one, CEDB_SEEK_END value records back from the last,
// CEDB_SEEK_CEOID to the record whose identifier is value. Returns the record's identifier
// (*index its position), or 0 with the last error.
CEOID CeSeekDatabase(HANDLE database, DWORD seekType, DWORD value, LPDWORD index);
// Reads the record at the seek pointer: all its properties when propIds is null (*count
// receives their number), as an array of CEPROPVAL followed by the texts and blobs it points
// to. With CEDB_ALLOWREALLOC *buffer may be null or a LocalAlloc block, and is (re)allocated to
// fit; otherwise a short *size fails with ERROR_INSUFFICIENT_BUFFER and *size the size needed.
// heap must be null (LocalAlloc's). Returns the record's identifier, or 0 with the last error
// (ERROR_NO_MORE_ITEMS past the last record, ERROR_KEY_DELETED when the record at the pointer was
// deleted).
CEOID CeReadRecordPropsEx(HANDLE database, DWORD flags, LPWORD count, CEPROPID* propIds, LPBYTE* buffer,
                          LPDWORD size, HANDLE heap);
// Writes count properties to the record oid (0 makes a new record at the end of the creation
// order): each replaces the record's property with the same identifier and type in place, or
// is appended; CEDB_PROPDELETE removes one. Returns the record's identifier, or 0 with the last
// error (ERROR_INVALID_PARAMETER, ERROR_DISK_FULL ...), the record then unchanged.
CEOID CeWriteRecordProps(HANDLE database, CEOID oid, WORD count, CEPROPVAL* values);
BOOL CeDeleteRecord(HANDLE database, CEOID oid);
// Deletes a database of the object store with all its records.
BOOL CeDeleteDatabase(CEOID oid);
// Enumerates the databases of a volume (of one type, or all when type is 0) in creation order.
HANDLE CeFindFirstDatabaseEx(PCEGUID volume, DWORD type);
CEOID CeFindNextDatabaseEx(HANDLE find, PCEGUID volume);
