// Script sources: files from the object store, HTTP and FTP from servers the tests start on
// loopback. No test reaches an outside host.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/inet.h"
#include "platform/text.h"
#include "loopback.h"
#include "script/script_source.h"
#include "test_image.h"

namespace {

using testing_support::FreePort;
using testing_support::PortAccepts;
using testing_support::SilentListener;

constexpr ULONG kSentinel = 0xdeadbeef;

std::string ReadAll(ScriptStream* stream) {
    std::string out;
    char buffer[7];  // odd size, so reads end mid-document
    for (int guard = 0; guard < 100000; ++guard) {
        ULONG n = kSentinel;
        HRESULT hr = stream->Read(buffer, sizeof buffer, &n);
        if (hr != S_OK || n == 0 || n == kSentinel)
            break;
        out.append(buffer, n);
    }
    return out;
}

std::string ReadSource(const std::u16string& source) {
    ScriptStream* stream = OpenScriptStream(source.c_str(), 1);
    if (!stream)
        return "<null>";
    std::string text = ReadAll(stream);
    EXPECT_EQ(stream->Close(), 1);
    EXPECT_EQ(stream->Release(), 0u);
    return text;
}

// A server process on loopback, killed when the test ends.
class ServerProcess {
public:
    bool Start(std::vector<std::string> argv, int port) {
        m_pid = fork();
        if (m_pid == 0) {
            std::vector<char*> args;
            for (auto& a : argv)
                args.push_back(a.data());
            args.push_back(nullptr);
            freopen("/dev/null", "w", stdout);
            freopen("/dev/null", "w", stderr);
            execv(args[0], args.data());
            _exit(127);
        }
        for (int i = 0; i < 200; ++i) {
            if (PortAccepts(port))
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
    ~ServerProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = -1;
};

const char kScript[] = "<?xml version=\"1.0\"?>\n<Script>\n  <If lng=\"0419\"/>\n</Script>\n";

class ScriptSourceTest : public ImageTest {
protected:
    void SetUp() override {
        ImageTest::SetUp();
        m_served = m_dir / "served";
        std::filesystem::create_directories(m_served / "sub dir");
        std::ofstream(m_served / "vl.xml", std::ios::binary) << kScript;
        std::ofstream(m_served / "sub dir" / "v2.xml", std::ios::binary) << "<A/>";
        m_device->SetSetting("inet.connect_timeout_ms", "2000");
        m_device->SetSetting("inet.timeout_ms", "1500");
    }
    void StartHttp() {
        m_port = FreePort();
        ASSERT_TRUE(m_server.Start({"/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1",
                                    std::to_string(m_port), "--directory", m_served.string()},
                                   m_port));
    }
    void StartFtp() {
        m_port = FreePort();
        ASSERT_TRUE(m_server.Start({"/usr/bin/python3", "-m", "pyftpdlib", "-p", std::to_string(m_port), "-d",
                                    m_served.string(), "-i", "127.0.0.1"},
                                   m_port));
    }
    std::u16string Url(const char* scheme, const char* path) const {
        return FromUtf8(std::string(scheme) + "://127.0.0.1:" + std::to_string(m_port) + path);
    }

    std::filesystem::path m_served;
    ServerProcess m_server;
    int m_port = 0;
};

// file://, FILE: and the bare device path name the same file of the object store.
TEST_F(ScriptSourceTest, FilePrefixesOpenTheSameFile) {
    CreateDirectoryW(u"\\Windows", nullptr);
    FILE* f = _wfopen(u"\\Windows\\vl_0419.xml", u"wb");
    ASSERT_NE(f, nullptr);
    fwrite(kScript, 1, sizeof kScript - 1, f);
    fclose(f);
    for (const char16_t* source : {u"file://\\Windows\\vl_0419.xml", u"FiLe://\\windows\\VL_0419.XML",
                                   u"FILE:\\Windows\\vl_0419.xml", u"\\Windows\\vl_0419.xml"})
        EXPECT_EQ(ReadSource(source), kScript) << ToUtf8(source);
}

// A missing file, a path outside the image and a write-mode FTP or HTTP source give no stream.
TEST_F(ScriptSourceTest, UnopenableSourcesGiveNull) {
    EXPECT_EQ(OpenScriptStream(u"\\Windows\\missing.xml", 1), nullptr);
    EXPECT_EQ(OpenScriptStream(u"FILE:\\..\\..\\etc\\passwd", 1), nullptr);
    EXPECT_EQ(OpenScriptStream(u"/etc/passwd", 1), nullptr);
    EXPECT_EQ(OpenScriptStream(u"http://127.0.0.1:1/x.xml", 0), nullptr);
    EXPECT_EQ(OpenScriptStream(u"ftp://127.0.0.1:1/x.xml", 0), nullptr);
    EXPECT_EQ(OpenScriptStream(u"http://", 1), nullptr);
    EXPECT_EQ(OpenScriptStream(nullptr, 1), nullptr);
    // The host buffer holds 256 units; a longer host name cannot be cracked.
    std::u16string longHost = u"http://" + std::u16string(300, u'h') + u"/x.xml";
    EXPECT_EQ(OpenScriptStream(longHost.c_str(), 1), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

// Zero-byte reads succeed untouched; reads at the end give S_FALSE; the stream cannot seek and
// answers only IUnknown and IStream.
TEST_F(ScriptSourceTest, FileStreamReadRules) {
    FILE* f = _wfopen(u"\\s.xml", u"wb");
    ASSERT_NE(f, nullptr);
    fputs("ab", f);
    fclose(f);
    ScriptStream* stream = OpenScriptStream(u"\\s.xml", 1);
    ASSERT_NE(stream, nullptr);
    char buffer[8] = {};
    ULONG n = kSentinel;
    EXPECT_EQ(stream->Read(buffer, 0, &n), S_OK);
    EXPECT_EQ(n, kSentinel);
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, &n), S_OK);
    EXPECT_EQ(n, 2u);
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, &n), S_FALSE);
    EXPECT_EQ(n, 0u);
    EXPECT_EQ(stream->Write("x", 1, &n), S_FALSE);
    LARGE_INTEGER zero{};
    EXPECT_EQ(stream->Seek(zero, STREAM_SEEK_SET, nullptr), E_NOTIMPL);
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(stream->QueryInterface(IID_ISequentialStream, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(stream->QueryInterface(IID_IStream, &object), S_OK);
    EXPECT_EQ(object, static_cast<IStream*>(stream));
    EXPECT_EQ(stream->Release(), 1u);
    EXPECT_EQ(stream->Close(), 1);
    EXPECT_EQ(stream->Close(), 0);
    EXPECT_EQ(stream->Read(buffer, sizeof buffer, &n), S_FALSE);
    EXPECT_EQ(stream->Release(), 0u);
}

// http: in any case is fetched with GET from the port written in the address.
TEST_F(ScriptSourceTest, HttpReadsTheDocument) {
    StartHttp();
    EXPECT_EQ(ReadSource(Url("http", "/vl.xml")), kScript);
    EXPECT_EQ(ReadSource(Url("HTTP", "/vl.xml")), kScript);
    EXPECT_EQ(ReadSource(Url("hTtP", "/sub dir/v2.xml")), "<A/>");
}

// A missing document is a failure, not an error page loaded as a script.
TEST_F(ScriptSourceTest, HttpNotFoundFails) {
    StartHttp();
    EXPECT_EQ(OpenScriptStream(Url("http", "/none.xml").c_str(), 1), nullptr);
    HINTERNET internet = InternetOpenW(u"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection = InternetConnectW(internet, u"127.0.0.1", static_cast<INTERNET_PORT>(m_port), nullptr,
                                            nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestW(connection, u"GET", u"/none.xml", nullptr, nullptr, nullptr, 0, 0);
    ASSERT_NE(request, nullptr);
    SetLastError(kSentinel);
    EXPECT_FALSE(HttpSendRequestW(request, nullptr, 0, nullptr, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_TRUE(InternetCloseHandle(request));
    EXPECT_TRUE(InternetCloseHandle(connection));
    EXPECT_TRUE(InternetCloseHandle(internet));
    EXPECT_FALSE(InternetCloseHandle(internet));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// Redirects of a GET are followed as the platform's HTTP stack does: every redirect status, a
// bounded chain, HTTP and HTTPS only. A redirect that cannot be followed fails the open; the
// body of a 3xx answer is never what the stream reads.
TEST_F(ScriptSourceTest, HttpFollowsRedirectsWithinBounds) {
    m_port = FreePort();
    ASSERT_TRUE(m_server.Start({"/usr/bin/python3", VX_SOURCE_DIR "/tests/data_src/redirect_server.py",
                                std::to_string(m_port)},
                               m_port));
    for (const char* path : {"/to?/doc", "/status/301", "/status/303", "/status/307", "/status/308", "/chain/5"})
        EXPECT_EQ(ReadSource(Url("http", path)), kScript) << path;

    const std::string ftp = "ftp://127.0.0.1:" + std::to_string(m_port) + "/doc";
    for (const std::string& path : {std::string("/chain/6"), std::string("/bare"), std::string("/to?file:///etc/passwd"),
                                    "/to?" + ftp}) {
        SetLastError(kSentinel);
        EXPECT_EQ(OpenScriptStream(Url("http", path.c_str()).c_str(), 1), nullptr) << path;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HTTP_REDIRECT_FAILED)) << path;
    }
}

// A download that fails tells the device's diagnostic sink the address and why, with the error
// code it fails with; one that succeeds tells it nothing.
TEST_F(ScriptSourceTest, FailedDownloadsSayWhy) {
    m_port = FreePort();
    ASSERT_TRUE(m_server.Start({"/usr/bin/python3", VX_SOURCE_DIR "/tests/data_src/redirect_server.py",
                                std::to_string(m_port)},
                               m_port));
    std::string said;
    m_device->SetDiagnosticSink([&](std::string_view name, std::string_view reason) {
        said += std::string(name) + " -> " + std::string(reason) + "\n";
    });
    const std::string base = "http://127.0.0.1:" + std::to_string(m_port);
    const std::string ftp = "ftp://127.0.0.1:" + std::to_string(m_port) + "/doc";
    EXPECT_EQ(ReadSource(Url("http", "/doc")), kScript);
    for (const std::string& path : {std::string("/none"), std::string("/status/500"), std::string("/chain/6"),
                                    std::string("/bare"), "/to?" + ftp})
        EXPECT_EQ(OpenScriptStream(Url("http", path.c_str()).c_str(), 1), nullptr) << path;
    EXPECT_EQ(OpenScriptStream(u"http://", 1), nullptr);
    EXPECT_EQ(said, base + "/none -> HTTP status 404 (ERROR_FILE_NOT_FOUND)\n" +
                        base + "/status/500 -> HTTP status 500 (ERROR_HTTP_INVALID_SERVER_RESPONSE)\n" +
                        base + "/chain/6 -> more than 5 redirects (ERROR_HTTP_REDIRECT_FAILED)\n" +
                        base + "/bare -> HTTP status 302 without an address to follow (ERROR_HTTP_REDIRECT_FAILED)\n" +
                        base + "/to?" + ftp +
                        " -> redirected to an address that is not HTTP or HTTPS (ERROR_HTTP_REDIRECT_FAILED)\n"
                        "http:// -> no host name (ERROR_INTERNET_INVALID_URL)\n");
}

// ftp: in any case is a binary download from the port written in the address; 550 fails.
TEST_F(ScriptSourceTest, FtpReadsTheDocumentAndRefusesMissingFiles) {
    StartFtp();
    EXPECT_EQ(ReadSource(Url("ftp", "/vl.xml")), kScript);
    EXPECT_EQ(ReadSource(Url("FTP", "/sub dir/v2.xml")), "<A/>");
    EXPECT_EQ(OpenScriptStream(Url("ftp", "/none.xml").c_str(), 1), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    // FtpOpenFileW takes a file name as written, spaces included.
    HINTERNET internet = InternetOpenW(u"", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    HINTERNET connection = InternetConnectW(internet, u"127.0.0.1", static_cast<INTERNET_PORT>(m_port), nullptr,
                                            nullptr, INTERNET_SERVICE_FTP, 0, 0);
    HINTERNET file = FtpOpenFileW(connection, u"/sub dir/v2.xml", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_NE(file, nullptr);
    char buffer[16] = {};
    DWORD n = kSentinel;
    EXPECT_TRUE(InternetReadFile(file, buffer, sizeof buffer, &n));
    EXPECT_EQ(std::string(buffer, n), "<A/>");
    EXPECT_TRUE(InternetReadFile(file, buffer, sizeof buffer, &n));
    EXPECT_EQ(n, 0u);
    // A connection handle is not a file to read.
    SetLastError(kSentinel);
    EXPECT_FALSE(InternetReadFile(connection, buffer, sizeof buffer, &n));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_INCORRECT_HANDLE_TYPE));
    for (HINTERNET handle : {file, connection, internet})
        EXPECT_TRUE(InternetCloseHandle(handle));
}

// A server that accepts and never answers ends by the device's timeout, not by hanging.
TEST_F(ScriptSourceTest, SilentServerTimesOut) {
    SilentListener silent;
    ASSERT_GT(silent.port, 0);
    for (const char* scheme : {"http", "ftp"}) {
        auto start = std::chrono::steady_clock::now();
        std::u16string url = FromUtf8(std::string(scheme) + "://127.0.0.1:" + std::to_string(silent.port) + "/x");
        EXPECT_EQ(OpenScriptStream(url.c_str(), 1), nullptr) << scheme;
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_TIMEOUT)) << scheme;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << scheme;
    }
}

// A port nobody listens on is refused as a connection failure.
TEST_F(ScriptSourceTest, ClosedPortCannotConnect) {
    int port = FreePort();
    std::u16string url = FromUtf8("http://127.0.0.1:" + std::to_string(port) + "/x");
    EXPECT_EQ(OpenScriptStream(url.c_str(), 1), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
}

// A body larger than the device's cap is refused rather than held in memory.
TEST_F(ScriptSourceTest, OversizedBodyIsRefused) {
    m_device->SetSetting("inet.max_bytes", "10");
    StartHttp();
    EXPECT_EQ(OpenScriptStream(Url("http", "/vl.xml").c_str(), 1), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
}

// Cracking: the written port or the scheme's default, credentials apart, escaped path, and
// ERROR_INSUFFICIENT_BUFFER with the needed size when a part does not fit.
TEST(ScriptSourceCrackUrl, SplitsAddresses) {
    WCHAR host[16], path[64];
    URL_COMPONENTSW c{};
    c.dwStructSize = sizeof c;
    c.lpszHostName = host;
    c.dwHostNameLength = 16;
    c.lpszUrlPath = path;
    c.dwUrlPathLength = 64;
    ASSERT_TRUE(InternetCrackUrlW(u"FTP://user:pw@example.org:2121/a b/c.xml?x=1", 0, ICU_ESCAPE, &c));
    EXPECT_EQ(std::u16string(host), u"example.org");
    EXPECT_EQ(std::u16string(path), u"/a%20b/c.xml?x=1");
    EXPECT_EQ(c.nPort, 2121);
    EXPECT_EQ(c.nScheme, INTERNET_SCHEME_FTP);
    c.dwHostNameLength = 16;
    c.dwUrlPathLength = 64;
    ASSERT_TRUE(InternetCrackUrlW(u"http://h/x", 0, 0, &c));
    EXPECT_EQ(c.nPort, 80);
    c.dwHostNameLength = 4;
    c.dwUrlPathLength = 64;
    SetLastError(kSentinel);
    EXPECT_FALSE(InternetCrackUrlW(u"http://longhost/x", 0, 0, &c));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(c.dwHostNameLength, 9u);
    for (const char16_t* bad : {u"http://h:0/x", u"http://h:70000/x", u"http://h:8a/x", u"no scheme"}) {
        c.dwHostNameLength = 16;
        c.dwUrlPathLength = 64;
        EXPECT_FALSE(InternetCrackUrlW(bad, 0, 0, &c)) << ToUtf8(bad);
    }
}

}  // namespace
