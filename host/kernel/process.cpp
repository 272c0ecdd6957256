// Processes: the device's process table, process snapshots, starting host programs by device
// path with the image passed on, and waiting for them.
#include "host/kernel/process.h"

#include <elf.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "host/kernel/device.h"
#include "host/kernel/handles.h"
#include "host/kernel/scheduler.h"
#include "host/kernel/threads.h"
#include "host/modules/trusted_code.h"
#include "host/store/object_store.h"
#include "host/windows/window.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/text.h"
#include "platform/toolhelp.h"

extern char** environ;

namespace host {

namespace fs = std::filesystem;

namespace {

// Above every host process id (at most 2^22 on Linux), so the two kinds never meet.
constexpr DWORD kFirstSimulatedId = 0x10000000u;

// A program started on the device. The reaper thread records its end; handles and the reaper
// share it.
struct ProcessObject : KernelObject {
    pid_t pid = 0;
    std::u16string path;
    std::mutex lock;
    std::condition_variable ended;
    bool exited = false;
    DWORD exitCode = STILL_ACTIVE;
    bool terminated = false;
    DWORD terminateCode = 0;
};

struct Snapshot : KernelObject {
    std::vector<ProcessRecord> processes;
    size_t next = 0;
};

struct ProcessTable {
    std::mutex lock;
    std::vector<ProcessRecord> others;  // started and simulated, in order of appearance
    DWORD nextSimulated = kFirstSimulatedId;
    std::u16string selfPath;
};

ProcessTable& Table() {
    static ProcessTable* table = new ProcessTable;  // never destroyed: reapers may outlive main
    return *table;
}

std::u16string DefaultSelfPath() {
    if (const char* program = std::getenv(kProgramVariable); program && *program) return FromUtf8(program);
    std::error_code ec;
    std::string name = fs::read_symlink("/proc/self/exe", ec).filename().string();
    if (name.empty()) name = "program";
    if (name.find('.') == std::string::npos) name += ".exe";
    return u"\\Windows\\" + FromUtf8(name);
}

void Forget(DWORD id) {
    ProcessTable& table = Table();
    std::lock_guard guard(table.lock);
    std::erase_if(table.others, [id](const ProcessRecord& r) { return r.id == id; });
}

// Waits for the program's end without reaping it first, so that TerminateProcess (which holds
// the object's lock) can never signal a host process id that has been reused meanwhile.
void Reap(std::shared_ptr<ProcessObject> process) {
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(process->pid), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    // Listed no longer before the id is freed, so a new program with the same id stays listed.
    Forget(static_cast<DWORD>(process->pid));
    {
        std::lock_guard guard(process->lock);
        int status = 0;
        while (::waitpid(process->pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (process->terminated) {
            process->exitCode = process->terminateCode;
        } else if (WIFEXITED(status)) {
            process->exitCode = static_cast<DWORD>(WEXITSTATUS(status));
        } else {
            // Ended by a signal: reported as a shell reports it.
            process->exitCode = 128u + static_cast<DWORD>(WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        }
        process->exited = true;
    }
    process->ended.notify_all();
}

// An ELF program for this host: an executable, or a position-independent one (which names an
// interpreter; shared libraries do not).
bool IsHostProgram(int fd) {
    Elf64_Ehdr header{};
    bool program = false;
    if (::pread(fd, &header, sizeof header, 0) == static_cast<ssize_t>(sizeof header) &&
        std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == ELFCLASS64 &&
        header.e_phentsize == sizeof(Elf64_Phdr) && header.e_phnum < 256) {
        if (header.e_type == ET_EXEC) {
            program = true;
        } else if (header.e_type == ET_DYN) {
            for (unsigned i = 0; i < header.e_phnum && !program; ++i) {
                Elf64_Phdr segment{};
                const off_t at = static_cast<off_t>(header.e_phoff + i * sizeof segment);
                if (::pread(fd, &segment, sizeof segment, at) != static_cast<ssize_t>(sizeof segment)) break;
                program = segment.p_type == PT_INTERP;
            }
        }
    }
    return program;
}

DWORD SpawnError(int err) {
    switch (err) {
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOMEM:
    case EAGAIN: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ErrorFromErrno(err);
    }
}

BOOL Fail(DWORD error) {
    SetLastErrorCode(error);
    return FALSE;
}

}  // namespace

std::vector<ProcessRecord> RunningProcesses() {
    ProcessRecord self;
    self.id = static_cast<DWORD>(::getpid());
    self.path = CurrentProcessPath();
    if (std::getenv(kProgramVariable)) self.parentId = static_cast<DWORD>(::getppid());
    std::vector<ProcessRecord> all{self};
    ProcessTable& table = Table();
    std::lock_guard guard(table.lock);
    all.insert(all.end(), table.others.begin(), table.others.end());
    return all;
}

DWORD AddSimulatedProcess(std::u16string_view devicePath) {
    if (devicePath.empty()) return 0;
    ProcessTable& table = Table();
    std::lock_guard guard(table.lock);
    ProcessRecord record;
    record.id = table.nextSimulated;
    table.nextSimulated += 4;
    record.parentId = static_cast<DWORD>(::getpid());
    record.path = devicePath;
    record.kind = ProcessKind::Simulated;
    table.others.push_back(record);
    return record.id;
}

bool RemoveSimulatedProcess(DWORD id) {
    ProcessTable& table = Table();
    std::lock_guard guard(table.lock);
    return std::erase_if(table.others,
                         [id](const ProcessRecord& r) { return r.id == id && r.kind == ProcessKind::Simulated; }) > 0;
}

void ClearSimulatedProcesses() {
    ProcessTable& table = Table();
    std::lock_guard guard(table.lock);
    std::erase_if(table.others, [](const ProcessRecord& r) { return r.kind == ProcessKind::Simulated; });
}

void SetCurrentProcessPath(std::u16string_view devicePath) {
    ProcessTable& table = Table();
    std::lock_guard guard(table.lock);
    table.selfPath = devicePath;
}

std::u16string CurrentProcessPath() {
    ProcessTable& table = Table();
    std::lock_guard guard(table.lock);
    if (table.selfPath.empty()) table.selfPath = DefaultSelfPath();
    return table.selfPath;
}

std::u16string_view ExecutableName(std::u16string_view path) {
    const size_t slash = path.rfind(u'\\');
    return slash == std::u16string_view::npos ? path : path.substr(slash + 1);
}

std::unique_ptr<Device> OpenStartedDevice(std::string* error) {
    const char* image = std::getenv(kImageVariable);
    if (!image || !*image) {
        if (error) *error = std::string("not started on a device: ") + kImageVariable + " is not set";
        return nullptr;
    }
    return Device::Open(image, error);
}

std::u16string StartedCommandLine(int argc, char** argv) {
    return argc > 1 && argv && argv[1] ? FromUtf8(argv[1]) : std::u16string();
}

}  // namespace host

DWORD GetCurrentProcessId() { return static_cast<DWORD>(::getpid()); }

BOOL CreateProcessW(LPCWSTR imageName, LPWSTR commandLine, LPSECURITY_ATTRIBUTES /*processAttributes*/,
                    LPSECURITY_ATTRIBUTES /*threadAttributes*/, BOOL /*inheritHandles*/, DWORD /*creationFlags*/,
                    LPVOID /*environment*/, LPWSTR /*currentDirectory*/, LPSTARTUPINFOW /*startupInfo*/,
                    LPPROCESS_INFORMATION processInformation) {
    namespace fs = std::filesystem;
    host::Device* device = host::CurrentDevice();
    if (!device) return host::Fail(ERROR_NOT_READY);
    if (!imageName || !imageName[0]) return host::Fail(ERROR_INVALID_PARAMETER);
    std::u16string path = imageName;
    // A bare program name is looked for where the device keeps its programs.
    if (path.find(u'\\') == std::u16string::npos) path = u"\\Windows\\" + path;
    fs::path hostPath;
    DWORD error = 0;
    if (!device->Files().ResolveExisting(path, &hostPath, &error)) return host::Fail(error);
    struct stat st {};
    if (::lstat(hostPath.c_str(), &st) != 0) return host::Fail(host::ErrorFromErrno(errno));
    if (S_ISDIR(st.st_mode)) return host::Fail(ERROR_ACCESS_DENIED);
    if (!S_ISREG(st.st_mode)) return host::Fail(ERROR_BAD_EXE_FORMAT);
    // Only a program the emulator installed runs, started through the descriptor it was checked
    // by, so that a file swapped in meanwhile is not what runs.
    std::string untrusted;
    const int program = host::OpenTrustedCode(*device, path, hostPath, &error, &untrusted);
    if (program < 0) {
        device->Trace(u"CreateProcessW " + path + u": " + FromUtf8(untrusted) + u"\n");
        return host::Fail(error);
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{program};
    if (!host::IsHostProgram(program)) return host::Fail(ERROR_BAD_EXE_FORMAT);
    // The device has no execute permission: an installed program may have lost the host's bit
    // on its way into the image.
    if (!(st.st_mode & S_IXUSR)) ::fchmod(program, st.st_mode | S_IXUSR);

    const std::string imageVar = std::string(host::kImageVariable) + "=" + device->Root().string();
    const std::string programVar = std::string(host::kProgramVariable) + "=" + ToUtf8(path);
    std::vector<std::string> envCopies{imageVar, programVar};
    for (char** e = environ; e && *e; ++e) {
        std::string_view entry(*e);
        if (entry.starts_with(std::string(host::kImageVariable) + "=") ||
            entry.starts_with(std::string(host::kProgramVariable) + "="))
            continue;
        envCopies.emplace_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& e : envCopies) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::string argv0 = ToUtf8(path);
    std::string argv1 = commandLine ? ToUtf8(commandLine) : std::string();
    std::vector<char*> argv{argv0.data()};
    if (commandLine) argv.push_back(argv1.data());
    argv.push_back(nullptr);

    auto process = std::make_shared<host::ProcessObject>();
    process->path = path;
    pid_t pid = 0;
    const std::string checked = host::DescriptorPath(program);
    const int spawned = ::posix_spawn(&pid, checked.c_str(), nullptr, nullptr, argv.data(), envp.data());
    if (spawned != 0) return host::Fail(host::SpawnError(spawned));
    process->pid = pid;
    {
        host::ProcessTable& table = host::Table();
        std::lock_guard guard(table.lock);
        host::ProcessRecord record;
        record.id = static_cast<DWORD>(pid);
        record.parentId = static_cast<DWORD>(::getpid());
        record.path = path;
        record.kind = host::ProcessKind::Started;
        table.others.push_back(record);
    }
    std::thread(host::Reap, process).detach();
    if (processInformation) {
        processInformation->hProcess = host::InsertHandle(host::HandleType::Process, process);
        processInformation->hThread = host::InsertHandle(host::HandleType::Thread, process);
        processInformation->dwProcessId = static_cast<DWORD>(pid);
        // A started program's main thread has the process's host id.
        processInformation->dwThreadId = static_cast<DWORD>(pid);
    }
    host::WindowEvent started;
    started.kind = host::WindowEventKind::Started;
    started.program = imageName;
    if (commandLine) started.commandLine = commandLine;
    host::NotifyWindowObserver(started);
    return TRUE;
}

namespace {

std::shared_ptr<host::ProcessObject> WaitableProcess(HANDLE handle) {
    auto process = host::ReferenceHandleAs<host::ProcessObject>(handle, host::HandleType::Process);
    // A thread handle is a started program's main thread or a thread of CreateThread.
    if (!process)
        process = std::dynamic_pointer_cast<host::ProcessObject>(host::ReferenceHandle(handle, host::HandleType::Thread));
    return process;
}

}  // namespace

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
    if (DWORD result = 0; host::WaitForCreatedThread(handle, milliseconds, &result)) return result;
    auto process = WaitableProcess(handle);
    if (!process) {
        host::SetLastErrorCode(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    host::YieldToOtherPrograms();
    std::unique_lock guard(process->lock);
    if (milliseconds == INFINITE) {
        process->ended.wait(guard, [&] { return process->exited; });
        return WAIT_OBJECT_0;
    }
    const bool done =
        process->ended.wait_for(guard, std::chrono::milliseconds(milliseconds), [&] { return process->exited; });
    return done ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL GetExitCodeProcess(HANDLE handle, LPDWORD exitCode) {
    auto process = host::ReferenceHandleAs<host::ProcessObject>(handle, host::HandleType::Process);
    if (!process) return host::Fail(ERROR_INVALID_HANDLE);
    if (!exitCode) return host::Fail(ERROR_INVALID_PARAMETER);
    std::lock_guard guard(process->lock);
    *exitCode = process->exitCode;
    return TRUE;
}

BOOL TerminateProcess(HANDLE handle, UINT exitCode) {
    auto process = host::ReferenceHandleAs<host::ProcessObject>(handle, host::HandleType::Process);
    if (!process) return host::Fail(ERROR_INVALID_HANDLE);
    std::lock_guard guard(process->lock);
    if (process->exited) return host::Fail(ERROR_ACCESS_DENIED);
    if (!process->terminated) {
        process->terminated = true;
        process->terminateCode = exitCode;
        ::kill(process->pid, SIGKILL);
    }
    return TRUE;
}

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD /*processId: every process is listed*/) {
    // The running state belongs to the installed device; without one there is nothing to list.
    if (!host::CurrentDevice()) {
        host::SetLastErrorCode(ERROR_NOT_READY);
        return INVALID_HANDLE_VALUE;
    }
    if (!(flags & (TH32CS_SNAPHEAPLIST | TH32CS_SNAPPROCESS | TH32CS_SNAPTHREAD | TH32CS_SNAPMODULE))) {
        host::SetLastErrorCode(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto snapshot = std::make_shared<host::Snapshot>();
    if (flags & TH32CS_SNAPPROCESS) snapshot->processes = host::RunningProcesses();
    return host::InsertHandle(host::HandleType::Other, snapshot);
}

namespace {

std::shared_ptr<host::Snapshot> SnapshotFrom(HANDLE handle) {
    return std::dynamic_pointer_cast<host::Snapshot>(host::ReferenceHandle(handle, host::HandleType::Other));
}

BOOL FillEntry(HANDLE handle, LPPROCESSENTRY32 entry, bool first) {
    auto snapshot = SnapshotFrom(handle);
    if (!snapshot) return host::Fail(ERROR_INVALID_HANDLE);
    if (!entry || entry->dwSize < sizeof(PROCESSENTRY32)) return host::Fail(ERROR_BAD_LENGTH);
    if (first) snapshot->next = 0;
    if (snapshot->next >= snapshot->processes.size()) return host::Fail(ERROR_NO_MORE_FILES);
    const host::ProcessRecord& record = snapshot->processes[snapshot->next++];
    const DWORD size = entry->dwSize;
    std::memset(entry, 0, sizeof *entry);
    entry->dwSize = size;
    entry->cntUsage = 1;
    entry->th32ProcessID = record.id;
    entry->cntThreads = 1;
    entry->th32ParentProcessID = record.parentId;
    const std::u16string_view name = host::ExecutableName(record.path);
    const size_t units = std::min(name.size(), static_cast<size_t>(MAX_PATH - 1));
    std::copy_n(name.data(), units, entry->szExeFile);
    return TRUE;
}

}  // namespace

BOOL Process32First(HANDLE snapshot, LPPROCESSENTRY32 entry) { return FillEntry(snapshot, entry, true); }
BOOL Process32Next(HANDLE snapshot, LPPROCESSENTRY32 entry) { return FillEntry(snapshot, entry, false); }

BOOL CloseToolhelp32Snapshot(HANDLE snapshot) {
    if (!SnapshotFrom(snapshot)) return host::Fail(ERROR_INVALID_HANDLE);
    host::RemoveHandle(snapshot, host::HandleType::Other);
    return TRUE;
}
