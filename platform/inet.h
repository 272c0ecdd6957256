// Internet reads: the WinINet subset that fetches a script by HTTP GET or FTP binary download.
// Handles form a tree (session, connection, request or file) and each is closed with
// InternetCloseHandle. Failures set the last error to the platform's codes: ERROR_INTERNET_*
// for network faults, ERROR_FILE_NOT_FOUND for a resource the server does not have.
#pragma once

#include "winbase.h"
#include "winerror.h"

typedef void* HINTERNET;
typedef WORD INTERNET_PORT;
typedef UINT_PTR DWORD_PTR;

#define INTERNET_OPEN_TYPE_PRECONFIG 0
#define INTERNET_OPEN_TYPE_DIRECT 1
#define INTERNET_SERVICE_FTP 1
#define INTERNET_SERVICE_HTTP 3
#define INTERNET_INVALID_PORT_NUMBER 0
#define INTERNET_DEFAULT_FTP_PORT 21
#define INTERNET_DEFAULT_HTTP_PORT 80
#define ICU_ESCAPE 0x80000000
#define FTP_TRANSFER_TYPE_BINARY 0x00000002
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000

enum INTERNET_SCHEME {
    INTERNET_SCHEME_UNKNOWN = -1,
    INTERNET_SCHEME_DEFAULT = 0,
    INTERNET_SCHEME_FTP = 1,
    INTERNET_SCHEME_HTTP = 3,
    INTERNET_SCHEME_HTTPS = 4,
    INTERNET_SCHEME_FILE = 5,
};

// A part is requested by giving a buffer and its capacity in units (terminator included); a
// part with a null buffer and a zero length is not requested and is left untouched.
struct URL_COMPONENTSW {
    DWORD dwStructSize;
    LPWSTR lpszScheme;
    DWORD dwSchemeLength;
    INTERNET_SCHEME nScheme;
    LPWSTR lpszHostName;
    DWORD dwHostNameLength;
    INTERNET_PORT nPort;
    LPWSTR lpszUserName;
    DWORD dwUserNameLength;
    LPWSTR lpszPassword;
    DWORD dwPasswordLength;
    LPWSTR lpszUrlPath;
    DWORD dwUrlPathLength;
    LPWSTR lpszExtraInfo;
    DWORD dwExtraInfoLength;
};

HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass, DWORD flags);
// Splits "scheme://[user[:password]@]host[:port][/path][?extra]"; nPort is the port written in
// the address or the scheme's default. Without a requested extra-info part, the query stays in
// the path. ICU_ESCAPE percent-encodes the path's spaces, controls and non-ASCII characters.
BOOL InternetCrackUrlW(LPCWSTR url, DWORD length, DWORD flags, URL_COMPONENTSW* components);
HINTERNET InternetConnectW(HINTERNET internet, LPCWSTR server, INTERNET_PORT port, LPCWSTR user,
                           LPCWSTR password, DWORD service, DWORD flags, DWORD_PTR context);
// Downloads the whole file before returning, within the device's timeouts and size cap; a file
// the server refuses (FTP 550) fails with ERROR_FILE_NOT_FOUND.
HINTERNET FtpOpenFileW(HINTERNET connection, LPCWSTR file, DWORD access, DWORD flags, DWORD_PTR context);
HINTERNET HttpOpenRequestW(HINTERNET connection, LPCWSTR verb, LPCWSTR object, LPCWSTR version,
                           LPCWSTR referrer, LPCWSTR* acceptTypes, DWORD flags, DWORD_PTR context);
// Only GET is supported. Fetches the whole body within the device's timeouts and size cap. A
// status of 400 or above fails the call: 404 and 410 with ERROR_FILE_NOT_FOUND, others with
// ERROR_HTTP_INVALID_SERVER_RESPONSE, so that an error page is never taken for a document.
BOOL HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID body, DWORD bodyLength);
// Reads from a request or FTP file handle; *read is 0 at the end of the data.
BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read);
BOOL InternetCloseHandle(HINTERNET handle);
