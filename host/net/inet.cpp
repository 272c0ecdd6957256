// The internet reads over libcurl. A transfer runs to its end inside FtpOpenFileW or
// HttpSendRequestW and the body is kept in memory, so InternetReadFile never blocks. Every
// transfer has a connect timeout, a total timeout and a size cap taken from the device's
// settings ("inet.connect_timeout_ms", "inet.timeout_ms", "inet.max_bytes"), so a server that
// hangs or streams without end cannot freeze the device. An address that cannot be read is
// told to the device's diagnostic sink with the reason, since the error code alone says little.
#include "platform/inet.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/kernel/device.h"
#include "platform/files.h"
#include "platform/text.h"

namespace {

constexpr long kDefaultConnectTimeoutMs = 10000;
constexpr long kDefaultTimeoutMs = 30000;
constexpr size_t kDefaultMaxBytes = 16u * 1024 * 1024;
// The platform's HTTP stack follows at most this many redirects of a GET, then fails.
constexpr long kMaxRedirects = 5;

enum class Kind { Session, Connection, Request, FtpFile };

struct InetObject {
    Kind kind;
    uintptr_t parent = 0;
    DWORD service = 0;
    std::string host;  // UTF-8
    INTERNET_PORT port = 0;
    std::string path;  // UTF-8, already escaped as the caller cracked it
    std::vector<unsigned char> data;
    size_t position = 0;
    bool sent = false;
};

// Handle values are never reused, so a call on a closed handle fails cleanly.
std::mutex g_lock;
std::map<uintptr_t, std::shared_ptr<InetObject>> g_objects;
uintptr_t g_next = 0x1000;

HINTERNET Insert(std::shared_ptr<InetObject> object) {
    std::lock_guard<std::mutex> guard(g_lock);
    g_next += 4;
    g_objects[g_next] = std::move(object);
    return reinterpret_cast<HINTERNET>(g_next);
}

std::shared_ptr<InetObject> Lookup(HINTERNET handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    auto it = g_objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == g_objects.end() ? nullptr : it->second;
}

std::shared_ptr<InetObject> LookupKind(HINTERNET handle, Kind kind) {
    auto object = Lookup(handle);
    if (!object) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (object->kind != kind) {
        host::SetLastErrorCode(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    return object;
}

long SettingNumber(const char* name, long fallback) {
    host::Device* device = host::CurrentDevice();
    if (!device)
        return fallback;
    std::string text = device->Setting(name);
    if (text.empty())
        return fallback;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    return (end && *end == 0 && value > 0) ? value : fallback;
}

struct Sink {
    std::vector<unsigned char>* data;
    size_t cap;
    bool overflow = false;
};

size_t WriteBody(char* bytes, size_t size, size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    size_t n = size * count;
    if (sink->data->size() + n > sink->cap) {
        sink->overflow = true;
        return 0;  // makes curl stop with CURLE_WRITE_ERROR
    }
    sink->data->insert(sink->data->end(), bytes, bytes + n);
    return n;
}

DWORD ErrorFromCurl(CURLcode code) {
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
        return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
        return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_URL_MALFORMAT:
        return ERROR_INTERNET_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL:
        return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_REMOTE_FILE_NOT_FOUND:
        return ERROR_FILE_NOT_FOUND;
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        return ERROR_INTERNET_CONNECTION_RESET;
    case CURLE_PARTIAL_FILE:
        return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_FTP_WEIRD_SERVER_REPLY:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_ACCESS_DENIED:
        return ERROR_INTERNET_EXTENDED_ERROR;
    default:
        return ERROR_INTERNET_INTERNAL_ERROR;
    }
}

std::string ErrorName(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND: return "ERROR_FILE_NOT_FOUND";
    case ERROR_NOT_ENOUGH_MEMORY: return "ERROR_NOT_ENOUGH_MEMORY";
    case ERROR_INSUFFICIENT_BUFFER: return "ERROR_INSUFFICIENT_BUFFER";
    case ERROR_INTERNET_TIMEOUT: return "ERROR_INTERNET_TIMEOUT";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "ERROR_INTERNET_NAME_NOT_RESOLVED";
    case ERROR_INTERNET_CANNOT_CONNECT: return "ERROR_INTERNET_CANNOT_CONNECT";
    case ERROR_INTERNET_INVALID_URL: return "ERROR_INTERNET_INVALID_URL";
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME: return "ERROR_INTERNET_UNRECOGNIZED_SCHEME";
    case ERROR_INTERNET_CONNECTION_RESET: return "ERROR_INTERNET_CONNECTION_RESET";
    case ERROR_INTERNET_CONNECTION_ABORTED: return "ERROR_INTERNET_CONNECTION_ABORTED";
    case ERROR_INTERNET_EXTENDED_ERROR: return "ERROR_INTERNET_EXTENDED_ERROR";
    case ERROR_HTTP_REDIRECT_FAILED: return "ERROR_HTTP_REDIRECT_FAILED";
    case ERROR_HTTP_INVALID_SERVER_RESPONSE: return "ERROR_HTTP_INVALID_SERVER_RESPONSE";
    case ERROR_INTERNET_INTERNAL_ERROR: return "ERROR_INTERNET_INTERNAL_ERROR";
    default: return "error " + std::to_string(code);
    }
}

// Fails the call with code, and tells the device's diagnostic sink why name could not be read.
void Fail(DWORD code, const std::string& name, const std::string& why) {
    host::SetLastErrorCode(code);
    if (host::Device* device = host::CurrentDevice())
        device->Diagnose(name, why + " (" + ErrorName(code) + ")");
}

// A person's words for a failed transfer; detail is curl's own message, osError the system's.
std::string FailureText(CURLcode code, long osError, const char* detail) {
    switch (code) {
    case CURLE_OPERATION_TIMEDOUT: return "timed out";
    case CURLE_COULDNT_RESOLVE_HOST: return "host name not found";
    case CURLE_COULDNT_CONNECT:
        if (osError == ECONNREFUSED) return "connection refused";
        return osError ? std::string("cannot connect: ") + std::strerror(static_cast<int>(osError)) : "cannot connect";
    case CURLE_REMOTE_FILE_NOT_FOUND: return "no such file on the server";
    case CURLE_RECV_ERROR: return "the connection was reset";
    case CURLE_GOT_NOTHING: return "the server sent nothing";
    case CURLE_PARTIAL_FILE: return "the transfer ended early";
    default: return detail && *detail ? detail : curl_easy_strerror(code);
    }
}

std::once_flag g_curlInit;

// Runs one transfer of `url` into `out`; returns 0 or the platform's error code with the
// reason in *why.
DWORD Fetch(const std::string& url, bool http, std::vector<unsigned char>& out, std::string* why) {
    std::call_once(g_curlInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl) {
        *why = "out of memory";
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    char detail[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    Sink sink{&out, static_cast<size_t>(SettingNumber("inet.max_bytes", static_cast<long>(kDefaultMaxBytes)))};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, http ? "http,https" : "ftp");
    if (http) {
        // Redirects stay on HTTP and HTTPS: never to a file of the host, never to FTP.
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, kMaxRedirects);
        curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    } else {
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
    }
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, SettingNumber("inet.connect_timeout_ms", kDefaultConnectTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, SettingNumber("inet.timeout_ms", kDefaultTimeoutMs));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    if (!http) {
        curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
        curl_easy_setopt(curl, CURLOPT_FTP_USE_EPSV, 1L);
    }
    CURLcode code = curl_easy_perform(curl);
    long status = 0, osError = 0;
    if (code == CURLE_OK && http)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osError);
    curl_easy_cleanup(curl);
    if (sink.overflow) {
        *why = "larger than " + std::to_string(sink.cap) + " bytes";
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // The first request is always http: an unsupported scheme can only come from a redirect.
    if (http && code == CURLE_TOO_MANY_REDIRECTS) {
        *why = "more than " + std::to_string(kMaxRedirects) + " redirects";
        return ERROR_HTTP_REDIRECT_FAILED;
    }
    if (http && code == CURLE_UNSUPPORTED_PROTOCOL) {
        *why = "redirected to an address that is not HTTP or HTTPS";
        return ERROR_HTTP_REDIRECT_FAILED;
    }
    if (code != CURLE_OK) {
        *why = FailureText(code, osError, detail);
        return ErrorFromCurl(code);
    }
    if (!http)
        return 0;
    *why = "HTTP status " + std::to_string(status);
    if (status == 404 || status == 410)
        return ERROR_FILE_NOT_FOUND;
    // A redirect that could not be followed (no Location) leaves a 3xx answer, whose body is
    // never a document.
    if (status >= 300 && status < 400) {
        *why += " without an address to follow";
        return ERROR_HTTP_REDIRECT_FAILED;
    }
    if (status >= 400 || status < 200)
        return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    why->clear();
    return 0;
}

std::string BuildUrl(const InetObject& connection, const std::string& path) {
    std::string url = connection.service == INTERNET_SERVICE_HTTP ? "http://" : "ftp://";
    url += connection.host;
    url += ':';
    url += std::to_string(connection.port);
    if (path.empty() || path[0] != '/')
        url += '/';
    url += path;
    return url;
}

// A host name must be printable ASCII: it cannot be escaped.
bool SafeUtf8(LPCWSTR text, std::string* out) {
    if (!text)
        return false;
    *out = ToUtf8(text);
    for (unsigned char c : *out)
        if (c < 0x21 || c == 0x7F)
            return false;
    return true;
}

// Paths reach curl as URL text: spaces, controls, non-ASCII bytes and the characters a URL
// may not hold are percent-encoded, and escapes the caller wrote stay as they are.
std::string EscapePath(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' || c == '`' ||
            c == '{' || c == '|' || c == '}') {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// Copies one part into the caller's buffer when it was requested.
bool StorePart(const std::u16string& part, LPWSTR buffer, DWORD* length) {
    if (!buffer)
        return true;
    if (part.size() + 1 > *length) {
        *length = static_cast<DWORD>(part.size() + 1);
        return false;
    }
    std::copy(part.begin(), part.end(), buffer);
    buffer[part.size()] = 0;
    *length = static_cast<DWORD>(part.size());
    return true;
}

}  // namespace

HINTERNET InternetOpenW(LPCWSTR, DWORD accessType, LPCWSTR, LPCWSTR, DWORD) {
    if (accessType != INTERNET_OPEN_TYPE_PRECONFIG && accessType != INTERNET_OPEN_TYPE_DIRECT) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto session = std::make_shared<InetObject>();
    session->kind = Kind::Session;
    return Insert(std::move(session));
}

BOOL InternetCrackUrlW(LPCWSTR url, DWORD length, DWORD flags, URL_COMPONENTSW* components) {
    if (!url || !components || components->dwStructSize != sizeof(URL_COMPONENTSW)) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string text(url, length ? length : wcslen(url));
    auto fail = [&text](DWORD code, const char* why) {
        Fail(code, ToUtf8(text), why);
        return FALSE;
    };
    size_t colon = text.find(u':');
    if (colon == std::u16string::npos || colon == 0 || text.compare(colon, 3, u"://") != 0)
        return fail(ERROR_INTERNET_UNRECOGNIZED_SCHEME, "not an address of the form scheme://host/path");
    std::u16string scheme = text.substr(0, colon);
    INTERNET_SCHEME kind = INTERNET_SCHEME_UNKNOWN;
    INTERNET_PORT port = INTERNET_INVALID_PORT_NUMBER;
    if (EqualsNoCase(scheme, u"http")) {
        kind = INTERNET_SCHEME_HTTP;
        port = INTERNET_DEFAULT_HTTP_PORT;
    } else if (EqualsNoCase(scheme, u"ftp")) {
        kind = INTERNET_SCHEME_FTP;
        port = INTERNET_DEFAULT_FTP_PORT;
    } else if (EqualsNoCase(scheme, u"https")) {
        kind = INTERNET_SCHEME_HTTPS;
        port = 443;
    } else if (EqualsNoCase(scheme, u"file")) {
        kind = INTERNET_SCHEME_FILE;
    }
    std::u16string rest = text.substr(colon + 3);
    size_t pathStart = rest.find_first_of(u"/?");
    std::u16string authority = rest.substr(0, pathStart);
    std::u16string path = pathStart == std::u16string::npos ? std::u16string() : rest.substr(pathStart);
    std::u16string user, password;
    size_t at = authority.rfind(u'@');
    if (at != std::u16string::npos) {
        std::u16string credentials = authority.substr(0, at);
        authority = authority.substr(at + 1);
        size_t split = credentials.find(u':');
        user = credentials.substr(0, split);
        if (split != std::u16string::npos)
            password = credentials.substr(split + 1);
    }
    std::u16string hostName = authority;
    size_t portColon = authority.rfind(u':');
    if (portColon != std::u16string::npos) {
        hostName = authority.substr(0, portColon);
        std::u16string digits = authority.substr(portColon + 1);
        if (!digits.empty()) {
            unsigned long value = 0;
            for (char16_t c : digits) {
                if (c < u'0' || c > u'9' || value > 65535)
                    return fail(ERROR_INTERNET_INVALID_URL, "the port is not a number from 1 to 65535");
                value = value * 10 + (c - u'0');
            }
            if (value == 0 || value > 65535)
                return fail(ERROR_INTERNET_INVALID_URL, "the port is not a number from 1 to 65535");
            port = static_cast<INTERNET_PORT>(value);
        }
    }
    if (hostName.empty() && kind != INTERNET_SCHEME_FILE)
        return fail(ERROR_INTERNET_INVALID_URL, "no host name");
    std::u16string extra;
    if (components->lpszExtraInfo || components->dwExtraInfoLength) {
        size_t query = path.find_first_of(u"?#");
        if (query != std::u16string::npos) {
            extra = path.substr(query);
            path.resize(query);
        }
    }
    if (flags & ICU_ESCAPE)
        path = FromUtf8(EscapePath(ToUtf8(path)));

    bool fits = StorePart(scheme, components->lpszScheme, &components->dwSchemeLength);
    fits = StorePart(hostName, components->lpszHostName, &components->dwHostNameLength) && fits;
    fits = StorePart(user, components->lpszUserName, &components->dwUserNameLength) && fits;
    fits = StorePart(password, components->lpszPassword, &components->dwPasswordLength) && fits;
    fits = StorePart(path, components->lpszUrlPath, &components->dwUrlPathLength) && fits;
    fits = StorePart(extra, components->lpszExtraInfo, &components->dwExtraInfoLength) && fits;
    if (!fits)
        return fail(ERROR_INSUFFICIENT_BUFFER, "a part of the address is longer than its buffer");
    components->nScheme = kind;
    components->nPort = port;
    return TRUE;
}

HINTERNET InternetConnectW(HINTERNET internet, LPCWSTR server, INTERNET_PORT port, LPCWSTR, LPCWSTR, DWORD service,
                           DWORD, DWORD_PTR) {
    if (!LookupKind(internet, Kind::Session))
        return nullptr;
    if (service != INTERNET_SERVICE_HTTP && service != INTERNET_SERVICE_FTP) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto connection = std::make_shared<InetObject>();
    connection->kind = Kind::Connection;
    connection->parent = reinterpret_cast<uintptr_t>(internet);
    connection->service = service;
    if (!SafeUtf8(server, &connection->host) || connection->host.empty() ||
        connection->host.find_first_of("/?#@") != std::string::npos) {
        Fail(ERROR_INTERNET_INVALID_URL, server ? ToUtf8(server) : std::string(), "not a valid host name");
        return nullptr;
    }
    // An IPv6 literal needs its brackets inside a URL.
    if (connection->host.find(':') != std::string::npos && connection->host.front() != '[')
        connection->host = "[" + connection->host + "]";
    connection->port = port != INTERNET_INVALID_PORT_NUMBER
                           ? port
                           : (service == INTERNET_SERVICE_HTTP ? INTERNET_DEFAULT_HTTP_PORT : INTERNET_DEFAULT_FTP_PORT);
    return Insert(std::move(connection));
}

HINTERNET FtpOpenFileW(HINTERNET connection, LPCWSTR file, DWORD access, DWORD, DWORD_PTR) {
    auto parent = LookupKind(connection, Kind::Connection);
    if (!parent)
        return nullptr;
    if (parent->service != INTERNET_SERVICE_FTP) {
        host::SetLastErrorCode(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    if (access != GENERIC_READ) {
        host::SetLastErrorCode(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (!file || !*file) {
        host::SetLastErrorCode(ERROR_INTERNET_INVALID_URL);
        return nullptr;
    }
    std::string path = EscapePath(ToUtf8(file));
    auto object = std::make_shared<InetObject>();
    object->kind = Kind::FtpFile;
    object->parent = reinterpret_cast<uintptr_t>(connection);
    const std::string url = BuildUrl(*parent, path);
    std::string why;
    if (DWORD error = Fetch(url, false, object->data, &why)) {
        Fail(error, url, why);
        return nullptr;
    }
    object->sent = true;
    return Insert(std::move(object));
}

HINTERNET HttpOpenRequestW(HINTERNET connection, LPCWSTR verb, LPCWSTR object, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD,
                           DWORD_PTR) {
    auto parent = LookupKind(connection, Kind::Connection);
    if (!parent)
        return nullptr;
    if (parent->service != INTERNET_SERVICE_HTTP) {
        host::SetLastErrorCode(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return nullptr;
    }
    if (verb && *verb && !EqualsNoCase(verb, u"GET")) {
        host::SetLastErrorCode(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    auto request = std::make_shared<InetObject>();
    request->kind = Kind::Request;
    request->parent = reinterpret_cast<uintptr_t>(connection);
    if (object)
        request->path = EscapePath(ToUtf8(object));
    return Insert(std::move(request));
}

BOOL HttpSendRequestW(HINTERNET request, LPCWSTR, DWORD, LPVOID, DWORD) {
    auto object = LookupKind(request, Kind::Request);
    if (!object)
        return FALSE;
    auto parent = Lookup(reinterpret_cast<HINTERNET>(object->parent));
    if (!parent) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::vector<unsigned char> body;
    const std::string url = BuildUrl(*parent, object->path);
    std::string why;
    if (DWORD error = Fetch(url, true, body, &why)) {
        Fail(error, url, why);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    object->data = std::move(body);
    object->position = 0;
    object->sent = true;
    return TRUE;
}

BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read) {
    if (!read || (!buffer && toRead)) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    auto object = Lookup(file);
    if (!object) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->kind != Kind::Request && object->kind != Kind::FtpFile) {
        host::SetLastErrorCode(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return FALSE;
    }
    std::lock_guard<std::mutex> guard(g_lock);
    if (!object->sent) {
        host::SetLastErrorCode(ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
        return FALSE;
    }
    size_t n = std::min<size_t>(toRead, object->data.size() - object->position);
    if (n)
        std::memcpy(buffer, object->data.data() + object->position, n);
    object->position += n;
    *read = static_cast<DWORD>(n);
    return TRUE;
}

BOOL InternetCloseHandle(HINTERNET handle) {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_objects.erase(reinterpret_cast<uintptr_t>(handle)) == 0) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
