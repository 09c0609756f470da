// Plays the other programs in the fault and soak runs of ruvello.exe under Wine:
//   ruvello_fault_helper hold FILE       opens FILE without FILE_SHARE_DELETE, says "held" and
//                                        keeps it open until its standard input ends
//   ruvello_fault_helper sample EXE MS   every MS milliseconds one line of the resource counters
//                                        of the running EXE, until its standard input ends
#include <windows.h>

#include <psapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <vector>

#include "platform/handle_guard_win32.h"

using ruvello::FileHandle;

namespace {

// Both modes end when the test closes their input (or itself ends), so no process outlives it.
HANDLE StartInputWatch() {
    return CreateThread(
        nullptr, 0,
        [](void*) -> DWORD {
            char buffer[64];
            DWORD got = 0;
            while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) &&
                   got > 0) {
            }
            return 0;
        },
        nullptr, 0, nullptr);
}

int Hold(const wchar_t* path) {
    FileHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        std::printf("cannot open: error %lu\n", GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    const HANDLE watch = StartInputWatch();
    WaitForSingleObject(watch, INFINITE);
    CloseHandle(watch);
    return 0;
}

DWORD FindProcess(const wchar_t* exeName) {
    DWORD found = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return 0;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, exeName) == 0) {
            found = entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return found;
}

// One entry of the GDI handle table that PEB.GdiSharedHandleTable points to (the layout of
// 64-bit Windows, which Wine keeps); a live entry has a type, a stock object its stock bit.
struct GdiTableEntry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user;
};
static_assert(sizeof(GdiTableEntry) == 24);
constexpr std::size_t kGdiTableEntries = 0x10000;
constexpr std::uint16_t kStockBit = 0x80;
constexpr std::size_t kPebGdiTableOffset = 0xF8;

// GetGuiResources counts from this table on Windows; Wine does not implement that call, so the
// table is read directly. -1 when it cannot be read.
long CountGdiObjects(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic{};
    ULONG length = 0;
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                  &length) != 0) {
        return -1;
    }
    std::uint64_t table = 0;
    SIZE_T got = 0;
    if (!ReadProcessMemory(process,
                           reinterpret_cast<const char*>(basic.PebBaseAddress) + kPebGdiTableOffset,
                           &table, sizeof table, &got) ||
        table == 0) {
        return -1;
    }
    std::vector<GdiTableEntry> entries(kGdiTableEntries);
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(table), entries.data(),
                           entries.size() * sizeof(GdiTableEntry), &got)) {
        return -1;
    }
    const DWORD pid = GetProcessId(process);
    long count = 0;
    for (const GdiTableEntry& entry : entries) {
        // Windows shares one table among all processes and names the owner in the low word;
        // Wine has one table per process and leaves the owner 0.
        const DWORD owner = entry.owner & 0xFFFF;
        if (entry.type != 0 && !(entry.unique & kStockBit) && (owner == 0 || owner == pid)) {
            ++count;
        }
    }
    return count;
}

// The layout of SystemHandleInformation (class 16), one record per open handle in the system.
struct SystemHandle {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};
struct SystemHandles {
    ULONG count;
    SystemHandle handles[1];
};
constexpr auto kSystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004L);

// GetProcessHandleCount gives 0 for other processes under Wine; the system's handle list names
// each handle's owner on both.
long CountHandles(DWORD pid) {
    std::vector<char> buffer(1 << 20);
    NTSTATUS status;
    ULONG needed = 0;
    while ((status = NtQuerySystemInformation(kSystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), &needed)) ==
           kInfoLengthMismatch) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        return -1;
    }
    const auto* list = reinterpret_cast<const SystemHandles*>(buffer.data());
    long count = 0;
    for (ULONG i = 0; i < list->count; ++i) {
        count += list->handles[i].ownerPid == pid;
    }
    return count;
}

struct WindowCount {
    DWORD pid;
    long count;
};

BOOL CALLBACK CountChild(HWND window, LPARAM context) {
    auto* counter = reinterpret_cast<WindowCount*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    counter->count += owner == counter->pid;
    return TRUE;
}

BOOL CALLBACK CountTopLevel(HWND window, LPARAM context) {
    auto* counter = reinterpret_cast<WindowCount*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == counter->pid) {
        ++counter->count;
        EnumChildWindows(window, CountChild, context);
    }
    return TRUE;
}

// The USER objects another process can see under Wine: its windows (top-level, child and
// message-only). Its menus and icons are known only inside the process there.
long CountWindows(DWORD pid) {
    WindowCount counter{pid, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&counter));
    for (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExW(HWND_MESSAGE, window, nullptr, nullptr)) {
        CountChild(window, reinterpret_cast<LPARAM>(&counter));
    }
    return counter.count;
}

// GetGuiResources as it answers: -1 when the call is not implemented (Wine).
long GuiResources(HANDLE process, DWORD kind) {
    SetLastError(0);
    const DWORD count = GetGuiResources(process, kind);
    return count == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED ? -1
                                                                      : static_cast<long>(count);
}

int Sample(const wchar_t* exeName, DWORD milliseconds) {
    const HANDLE watch = StartInputWatch();
    do {
        const DWORD pid = FindProcess(exeName);
        HANDLE process =
            pid ? OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid) : nullptr;
        if (!process) {
            std::printf("gone\n");
            std::fflush(stdout);
            break;
        }
        PROCESS_MEMORY_COUNTERS_EX memory{};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory);
        DWORD handleCount = 0;
        GetProcessHandleCount(process, &handleCount);
        // Private bytes: PrivateUsage where it is filled in, else the commit charge (the same
        // figure on Windows; Wine leaves PrivateUsage 0).
        const SIZE_T privateBytes =
            memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage;
        std::printf(
            "gdi=%ld gui_gdi=%ld gui_user=%ld windows=%ld handles=%ld handle_count=%lu "
            "private=%llu working_set=%llu\n",
            CountGdiObjects(process), GuiResources(process, GR_GDIOBJECTS),
            GuiResources(process, GR_USEROBJECTS), CountWindows(pid), CountHandles(pid),
            handleCount, static_cast<unsigned long long>(privateBytes),
            static_cast<unsigned long long>(memory.WorkingSetSize));
        std::fflush(stdout);
        CloseHandle(process);
    } while (WaitForSingleObject(watch, milliseconds) == WAIT_TIMEOUT);
    CloseHandle(watch);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && std::wcscmp(argv[1], L"hold") == 0) {
        return Hold(argv[2]);
    }
    if (argc == 4 && std::wcscmp(argv[1], L"sample") == 0) {
        return Sample(argv[2], static_cast<DWORD>(std::wcstoul(argv[3], nullptr, 10)));
    }
    return 2;
}
