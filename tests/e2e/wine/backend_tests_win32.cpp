// Checks of the Windows backends against the real API (run under Wine by the e2e tests): the
// cases the program's own use on a desktop rarely reaches, such as refused writes, files beyond
// 4 GiB, texts without an ANSI form and a shell that refuses the tray icon.
#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>
#include <tlhelp32.h>

#include <cstdio>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/resource_ids_win32.h"
#include "autostart/autostart_host_win32.h"
#include "capture/win32/screen_capture_win32.h"
#include "flash/flash_window_win32.h"
#include "platform/com_win32.h"
#include "platform/file_system_win32.h"
#include "platform/handle_guard_win32.h"
#include "platform/platform_error.h"
#include "platform/text_win32.h"
#include "platform/window_system_win32.h"
#include "settings/profile_store_win32.h"
#include "tray/tray_host_win32.h"

using namespace ruvello;

namespace {

int failures = 0;

void Check(bool ok, const char* what, int line) {
    if (!ok) {
        ++failures;
        std::printf("  FAILED line %d: %s\n", line, what);
    }
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

template <class Body>
bool Throws(Body&& body, PlatformError::Cause cause) {
    try {
        body();
    } catch (const PlatformError& error) {
        return error.cause() == cause;
    }
    return false;
}

// A fresh folder under the temporary folder, with a name that needs UTF-16 to be spelt.
std::string MakeScratch(const std::string& name) {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    const std::string folder = Utf8(temp) + name + "-\xC3\xBC-" + std::to_string(GetTickCount());
    CreateDirectoryW(Wide(folder).c_str(), nullptr);
    return folder + "\\";
}

void Write(const std::string& path, const std::string& content) {
    FileSystemWin32().ReplaceWholeFile(path, content);
}

std::set<std::string> Names(const std::vector<std::string>& names) {
    return {names.begin(), names.end()};
}

bool AnyTemporary(const std::string& folder) {
    return !FileSystemWin32().Search(folder + "*.tmp", SearchFilter::AnyFile).empty();
}

void FileSearchAndDetails() {
    FileSystemWin32 fs;
    const std::string dir = MakeScratch("search");
    Write(dir + "a.png", "12345");
    Write(dir + "B.PNG", "1");
    Write(dir + "hidden.png", "");
    Write(dir + "system.png", "");
    SetFileAttributesW(Wide(dir + "hidden.png").c_str(), FILE_ATTRIBUTE_HIDDEN);
    SetFileAttributesW(Wide(dir + "system.png").c_str(), FILE_ATTRIBUTE_SYSTEM);
    fs.MakeFolder(dir + "folder.png");
    using Set = std::set<std::string>;
    CHECK(Names(fs.Search(dir + "*.png", SearchFilter::OrdinaryFiles)) == Set({"a.png", "B.PNG"}));
    CHECK(Names(fs.Search(dir + "*.png", SearchFilter::AnyFile)) ==
          Set({"a.png", "B.PNG", "hidden.png", "system.png"}));
    CHECK(Names(fs.Search(dir + "*", SearchFilter::OrdinaryFilesAndFolders)) ==
          Set({"a.png", "B.PNG", "folder.png"}));  // never "." or ".."
    CHECK(fs.Search(dir + "missing\\*.png", SearchFilter::AnyFile).empty());
    CHECK(fs.Exists(dir, SearchFilter::OrdinaryFilesAndFolders));
    CHECK(fs.Exists(dir + "hidden.png", SearchFilter::AnyFile));
    CHECK(!fs.Exists(dir + "hidden.png", SearchFilter::OrdinaryFiles));
    CHECK(!fs.Exists(dir + "folder.png", SearchFilter::AnyFile));

    // The find data and the per-file queries agree, and the time is local and to the second.
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    FileHandle file(CreateFileW(Wide(dir + "a.png").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    SetFileTime(file.get(), nullptr, nullptr, &now);
    file.reset();
    SYSTEMTIME local{};
    GetLocalTime(&local);
    const LocalDateTime modified = fs.LastModified(dir + "a.png");
    const int secondsApart =
        ((local.wHour - modified.hour) * 60 + local.wMinute - modified.minute) * 60 +
        local.wSecond - modified.second;
    CHECK(modified.year == local.wYear && modified.day == local.wDay);
    CHECK(secondsApart >= 0 && secondsApart <= 2);
    bool listed = false;
    for (const FileDetails& details :
         fs.SearchDetails(dir + "*.png", SearchFilter::OrdinaryFiles)) {
        if (details.name == "a.png") {
            listed = details.size == 5 && details.modified == modified;
        }
    }
    CHECK(listed);

    // Sizes beyond 32 bits.
    FileHandle big(CreateFileW(Wide(dir + "big.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, 0, nullptr));
    LARGE_INTEGER fiveGiB{};
    fiveGiB.QuadPart = 5LL << 30;
    CHECK(SetFilePointerEx(big.get(), fiveGiB, nullptr, FILE_BEGIN) && SetEndOfFile(big.get()));
    big.reset();
    CHECK(fs.FileSize(dir + "big.bin") == (5LL << 30));
    CHECK(Throws([&] { fs.FileSize(dir + "gone.png"); }, PlatformError::Cause::NotFound));
}

void FileChanges() {
    FileSystemWin32 fs;
    const std::string dir = MakeScratch("changes");
    fs.MakeFolder(dir + "one\\");
    CHECK(fs.Exists(dir + "one", SearchFilter::OrdinaryFilesAndFolders));
    CHECK(Throws([&] { fs.MakeFolder(dir + "two\\three"); }, PlatformError::Cause::NotFound));
    CHECK(Throws([&] { fs.MakeFolder(dir + "one"); }, PlatformError::Cause::Other));

    const std::string content("line\r\nwith a \0 zero", 19);
    CHECK(fs.ReplaceWholeFile(dir + "f.txt", "old content, longer than the new one"));
    CHECK(fs.ReplaceWholeFile(dir + "f.txt", content));
    CHECK(fs.ReadWholeFile(dir + "f.txt") == content);
    CHECK(!fs.ReplaceWholeFile(dir + "missing\\f.txt", content));
    CHECK(!fs.Exists(dir + "missing", SearchFilter::OrdinaryFilesAndFolders));
    CHECK(!fs.ReadWholeFile(dir + "nothing.txt"));
    CHECK(!AnyTemporary(dir));

    fs.RemoveFile(dir + "f.txt");
    CHECK(!fs.Exists(dir + "f.txt", SearchFilter::AnyFile));
    CHECK(Throws([&] { fs.RemoveFile(dir + "f.txt"); }, PlatformError::Cause::NotFound));

    const std::string folder = fs.ProgramFolder();
    CHECK(!folder.empty() && folder.back() != '\\');
    CHECK(fs.Exists(folder + "\\" + fs.ExeBaseName() + ".exe", SearchFilter::OrdinaryFiles));
}

// Another program (a virus scanner) that holds `path` open without letting it be deleted or
// renamed, and lets go after `milliseconds`.
class Holder {
  public:
    Holder(const std::string& path, DWORD milliseconds)
        : file_(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr)),
          thread_([this, milliseconds] {
              Sleep(milliseconds);
              file_.reset();
          }) {}
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;
    ~Holder() { thread_.join(); }
    bool Holds() const { return static_cast<bool>(file_); }

  private:
    FileHandle file_;
    std::thread thread_;
};

void HeldFiles() {
    FileSystemWin32 fs;
    const std::string dir = MakeScratch("held");
    Write(dir + "config.ini", "old");
    {
        const Holder scanner(dir + "config.ini", 60);
        CHECK(scanner.Holds() && fs.ReplaceWholeFile(dir + "config.ini", "new"));
    }
    CHECK(fs.ReadWholeFile(dir + "config.ini") == "new");
    Write(dir + "shot.png.tmp", "picture");
    {
        const Holder scanner(dir + "shot.png.tmp", 60);
        CHECK(scanner.Holds() && MoveIntoPlace(Wide(dir + "shot.png.tmp"), Wide(dir + "shot.png")));
    }
    CHECK(fs.ReadWholeFile(dir + "shot.png") == "picture");
    // Held for longer than a tick: given up within the limit, the old file untouched.
    const Holder slow(dir + "config.ini", 1500);
    const DWORD start = GetTickCount();
    CHECK(!fs.ReplaceWholeFile(dir + "config.ini", "newer"));
    CHECK(GetTickCount() - start < 1000);
    CHECK(fs.ReadWholeFile(dir + "config.ini") == "new");
}

// Another process that runs: the first one listed that is not this one.
DWORD OtherProcess() {
    DWORD found = 0;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && found == 0;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID != 0 && entry.th32ProcessID != GetCurrentProcessId()) {
            found = entry.th32ProcessID;
        }
    }
    CloseHandle(snapshot);
    return found;
}

void LeftoverTemporaries() {
    FileSystemWin32 fs;
    const std::string dir = MakeScratch("leftovers");
    const std::string ended = ".4294967292.tmp";  // no such process
    const std::string own = "." + std::to_string(GetCurrentProcessId()) + ".tmp";
    const std::string other = "." + std::to_string(OtherProcess()) + ".tmp";
    const std::set<std::string> kept = {"config.ini" + own,     "config.ini" + other,
                                        "notes.txt" + ended,    "Screenshot_1.png.12ab.tmp",
                                        "Screenshot_1.png.tmp", "mine.tmp"};
    for (const std::string& name : kept) {
        Write(dir + name, "x");
    }
    for (const char* name : {"config.ini", "CONFIG.INI", "Screenshot_20240101_000000_2.png",
                             "ManualShot_20240101_000000.png"}) {
        Write(dir + name + ended, "x");
    }
    SetFileAttributesW(Wide(dir + "CONFIG.INI" + ended).c_str(), FILE_ATTRIBUTE_HIDDEN);
    fs.RemoveLeftoverTemporaries(dir);
    CHECK(Names(fs.Search(dir + "*", SearchFilter::AnyFile)) == kept);
    fs.RemoveLeftoverTemporaries(dir + "missing\\");
}

std::string Bytes(const std::string& path) {
    return FileSystemWin32().ReadWholeFile(path).value_or("<none>");
}

// config.ini in each encoding Windows editors save, and in the ANSI code page: read, changed in
// place and kept in its encoding.
void ProfileEncodings() {
    ProfileStoreWin32 store;
    const std::string dir = MakeScratch("encodings");
    const std::string ini = dir + "config.ini";
    const std::string buero = "C:\\Bilder\\B\xC3\xBCro\\";
    const std::string marked =
        "\xEF\xBB\xBF[Settings]\r\n; mine\r\nIntervalSeconds = 5\r\n"
        "ScreenshotFolder=" +
        buero + "\r\n";
    Write(ini, marked);
    CHECK(store.ReadString(ini, "Settings", "IntervalSeconds", "60") == "5");
    CHECK(store.ReadString(ini, "settings", "ScreenshotFolder", "") == buero);
    store.WriteString(ini, "Settings", "ShowFlash", "false");
    CHECK(Bytes(ini) == marked + "ShowFlash=false\r\n");  // no second section, the rest as it was

    Write(ini, "[Settings]\r\nScreenshotFolder=" + buero + "\r\n");  // no mark
    CHECK(store.ReadString(ini, "Settings", "ScreenshotFolder", "") == buero);
    store.WriteString(ini, "Settings", "ShowFlash", "false");
    CHECK(Bytes(ini) == "[Settings]\r\nScreenshotFolder=" + buero + "\r\nShowFlash=false\r\n");

    const std::string utf16 = std::string("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xFC\0\r\0\n\0", 22);
    Write(ini, utf16);
    CHECK(store.ReadString(ini, "S", "k", "") == "\xC3\xBC");
    store.WriteString(ini, "S", "k", "\xE6\x97\xA5");
    CHECK(Bytes(ini) == std::string("\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0\xE5\x65\r\0\n\0", 22));

    if (GetACP() != 1252) {
        std::printf("  (ANSI code page %u: the checks of the ANSI code page skipped)\n", GetACP());
        return;
    }
    // A new file, and one in the ANSI code page, stay there while their texts have a form there.
    const std::string size = "Gr\u00F6\u00DFe";
    const std::string ansiSize = std::string("Gr\xF6\xDF") + "e";
    DeleteFileW(Wide(ini).c_str());
    store.WriteString(ini, "S", "k", size);
    CHECK(Bytes(ini) == "[S]\r\nk=" + ansiSize + "\r\n");
    CHECK(store.ReadString(ini, "S", "k", "") == size);
    store.WriteString(ini, "S", "n", "1");
    CHECK(Bytes(ini) == "[S]\r\nk=" + ansiSize + "\r\nn=1\r\n");
    // The first text without one makes the file UTF-8, every value intact.
    store.WriteString(ini, "S", "n", "\xE6\x97\xA5");
    CHECK(Bytes(ini) == "[S]\r\nk=" + size + "\r\nn=\xE6\x97\xA5\r\n");
    CHECK(store.ReadString(ini, "S", "k", "") == size);
}

void ProfileFile() {
    ProfileStoreWin32 store;
    // A program folder whose name has no form in the ANSI code page.
    const std::string dir = MakeScratch("profile-\xE6\x97\xA5\xE6\x9C\xAC");
    const std::string ini = dir + "config.ini";
    CHECK(store.ReadString(ini, "S", "k", "fallback") == "fallback");
    store.WriteString(ini, "S", "k", "C:\\\xE6\x97\xA5\\");
    CHECK(store.ReadString(ini, "S", "k", "") == "C:\\\xE6\x97\xA5\\");
    const std::string longValue(1500, 'x');
    store.WriteString(ini, "S", "long", longValue);
    CHECK(store.ReadString(ini, "S", "long", "") == std::string(1023, 'x'));
    store.WriteString(ini, "S", "k", "two\r\nlines");
    CHECK(store.ReadString(ini, "S", "k", "") == "C:\\\xE6\x97\xA5\\");
    CHECK(!AnyTemporary(dir));  // each change goes through a copy that replaces the file

    // A read-only file is left alone (Wine as root could write it); a hidden one stays hidden.
    const std::string before = Bytes(ini);
    SetFileAttributesW(Wide(ini).c_str(), FILE_ATTRIBUTE_READONLY);
    store.WriteString(ini, "S", "k", "other");
    CHECK(Bytes(ini) == before);
    SetFileAttributesW(Wide(ini).c_str(), FILE_ATTRIBUTE_HIDDEN);
    store.WriteString(ini, "S", "k", "neu");
    CHECK(store.ReadString(ini, "S", "k", "") == "neu");
    CHECK((GetFileAttributesW(Wide(ini).c_str()) & FILE_ATTRIBUTE_HIDDEN) != 0);
    CHECK(!AnyTemporary(dir));
}

std::pair<std::uint32_t, std::uint32_t> PngSize(const std::string& data) {
    auto be = [&](std::size_t at) {
        return (std::uint32_t{static_cast<unsigned char>(data[at])} << 24) |
               (std::uint32_t{static_cast<unsigned char>(data[at + 1])} << 16) |
               (std::uint32_t{static_cast<unsigned char>(data[at + 2])} << 8) |
               std::uint32_t{static_cast<unsigned char>(data[at + 3])};
    };
    if (data.size() < 24 || data.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) {
        return {0, 0};
    }
    return {be(16), be(20)};
}

void Capture() {
    FileSystemWin32 fs;
    const std::string dir = MakeScratch("capture");
    ScreenCaptureWin32 screen;
    CHECK(!screen.CaptureScreenToPng(dir + "before.png"));  // GDI+ not started
    CHECK(!fs.Exists(dir + "before.png", SearchFilter::AnyFile));
    screen.GdiPlusStart();
    Write(dir + "shot.png", "an older file under the same name");
    CHECK(screen.CaptureScreenToPng(dir + "shot.png"));
    const auto size = PngSize(fs.ReadWholeFile(dir + "shot.png").value_or(""));
    const ScreenRect virtualScreen = VirtualScreenRect();
    CHECK(size.first == static_cast<std::uint32_t>(virtualScreen.width) &&
          size.second == static_cast<std::uint32_t>(virtualScreen.height));
    CHECK(!screen.CaptureScreenToPng(dir + "missing\\shot.png"));
    // Nothing while the session is locked or disconnected, whichever ends last.
    screen.SessionChanged(WTS_SESSION_LOCK);
    screen.SessionChanged(WTS_REMOTE_DISCONNECT);
    screen.SessionChanged(WTS_SESSION_UNLOCK);
    CHECK(!screen.CaptureScreenToPng(dir + "away.png"));
    screen.SessionChanged(WTS_CONSOLE_CONNECT);
    screen.SessionChanged(WTS_SESSION_LOCK);
    CHECK(!screen.CaptureScreenToPng(dir + "away.png"));
    CHECK(!fs.Exists(dir + "away.png", SearchFilter::AnyFile));
    screen.SessionChanged(WTS_SESSION_UNLOCK);
    CHECK(screen.CaptureScreenToPng(dir + "back.png"));
    CHECK(!fs.Exists(dir + "missing", SearchFilter::OrdinaryFilesAndFolders));
    CHECK(!AnyTemporary(dir));
    screen.GdiPlusStop();
    screen.GdiPlusStop();
    CHECK(!screen.CaptureScreenToPng(dir + "after.png"));
}

// A plain hidden window with an icon of its class, and the messages it receives.
struct TestWindow {
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
        auto* self = reinterpret_cast<TestWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && (message == WM_TIMER || message == WM_APP)) {
            self->received.emplace_back(message, w);
            return 0;
        }
        return DefWindowProcW(window, message, w, l);
    }
    TestWindow() {
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.hIconSm = LoadIconW(nullptr, IDI_INFORMATION);
        windowClass.lpszClassName = L"RuvelloBackendTest";
        RegisterClassExW(&windowClass);
        handle =
            CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"test", WS_OVERLAPPED, 0,
                            0, 0, 0, nullptr, nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    ~TestWindow() { DestroyWindow(handle); }
    bool WaitFor(UINT message, WPARAM w, DWORD milliseconds) {
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < milliseconds) {
            WindowSystemWin32(
                handle, [] {}, nullptr, nullptr)
                .DoEvents();
            for (const auto& got : received) {
                if (got.first == message && got.second == w) {
                    return true;
                }
            }
            Sleep(20);
        }
        return false;
    }
    HWND handle = nullptr;
    std::vector<std::pair<UINT, WPARAM>> received;
};

void TrayRetry() {
    TestWindow window;
    TrayHostWin32 host(window.handle, 77);
    TrayIconData data;
    data.window = reinterpret_cast<WindowHandle>(window.handle);
    data.icon = host.DefaultAppIcon();
    data.tip = std::u16string(u"tip") + u'\0';
    data.tip.resize(TrayIconData::kTipLength, u' ');
    // Not there yet: refused, and a retry is due after a few seconds.
    host.NotifyIcon(TrayMessage::Modify, data);
    CHECK(host.RetryPending());
    CHECK(window.WaitFor(WM_TIMER, 77, kTrayRetryMilliseconds + 2000));
    host.NotifyIcon(TrayMessage::Add, data);
    CHECK(!host.RetryPending());
    host.NotifyIcon(TrayMessage::Add, data);  // refused as a duplicate, but the icon is there
    CHECK(!host.RetryPending());
    host.NotifyIcon(TrayMessage::Delete, data);
    const NOTIFYICONDATAW record = ToNotifyIconData(data);
    CHECK(record.szTip[0] == L't' && record.szTip[3] == L'\0' && record.szTip[127] == L'\0');
}

void WindowsAndFlash() {
    TestWindow window;
    // The tray's icon: a new one each time, of the small icons' size.
    WindowSystemWin32 windows(
        window.handle, [] {}, GetModuleHandleW(nullptr), MAKEINTRESOURCEW(RUVELLO_ICON));
    const auto icon = reinterpret_cast<HICON>(windows.MainIconCopy());
    const auto again = reinterpret_cast<HICON>(windows.MainIconCopy());
    ICONINFO info{};
    BITMAP mask{};
    CHECK(icon != nullptr && again != nullptr && icon != again && GetIconInfo(icon, &info) &&
          GetObjectW(info.hbmMask, sizeof mask, &mask) &&
          mask.bmWidth == GetSystemMetrics(SM_CXSMICON));
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
    DestroyIcon(again);

    PostMessageW(window.handle, WM_APP, 5, 0);
    PostQuitMessage(3);
    windows.DoEvents();
    CHECK(window.received.size() == 1);
    MSG quit{};
    CHECK(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 3);

    FlashWindowWin32 flash(GetModuleHandleW(nullptr));
    flash.Unload();  // none loaded: nothing happens
    flash.Load();
    const HWND overlay = flash.Handle();
    const auto exStyle = static_cast<DWORD>(GetWindowLongW(overlay, GWL_EXSTYLE));
    const DWORD wanted = WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE;
    CHECK((exStyle & wanted) == wanted);
    CHECK(reinterpret_cast<HGDIOBJ>(GetClassLongPtrW(overlay, GCLP_HBRBACKGROUND)) ==
          GetStockObject(WHITE_BRUSH));
    flash.SetAlpha(160);
    flash.SetAlpha(160);
    BYTE alpha = 0;
    DWORD flags = 0;
    CHECK(GetLayeredWindowAttributes(overlay, nullptr, &alpha, &flags) && alpha == 160 &&
          flags == LWA_ALPHA);
    flash.MoveTo({10, 20, 300, 200});
    flash.Show();
    RECT rect{};
    GetWindowRect(overlay, &rect);
    CHECK(rect.left == 10 && rect.top == 20 && rect.right == 310 && rect.bottom == 220);
    CHECK(IsWindowVisible(overlay) && GetForegroundWindow() != overlay);
    flash.Unload();
    CHECK(!flash.IsLoaded() && !IsWindow(overlay));
}

void Shortcut() {
    const ComApartment com;
    AutostartHostWin32 host;
    const std::string dir = MakeScratch("shortcut");
    ShortcutFields fields;
    fields.TargetPath = "C:\\windows\\system32\\notepad.exe";
    fields.WorkingDirectory = "C:\\windows\\system32";
    fields.IconLocation = fields.TargetPath + ",0";
    host.SaveShortcut(dir + "entry.lnk", fields);
    ComPtr<IShellLinkW> link;
    CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkW),
                     link.OutVoid());
    ComPtr<IPersistFile> file;
    CHECK(link && SUCCEEDED(link.QueryInto(file)) &&
          SUCCEEDED(file->Load(Wide(dir + "entry.lnk").c_str(), STGM_READ)));
    wchar_t text[MAX_PATH] = {};
    int index = -1;
    link->GetPath(text, MAX_PATH, nullptr, 0);
    CHECK(lstrcmpiW(text, Wide(fields.TargetPath).c_str()) == 0);
    link->GetWorkingDirectory(text, MAX_PATH);
    CHECK(lstrcmpiW(text, Wide(fields.WorkingDirectory).c_str()) == 0);
    link->GetIconLocation(text, MAX_PATH, &index);
    CHECK(lstrcmpiW(text, Wide(fields.TargetPath).c_str()) == 0 && index == 0);
    // The show command straight from the file: Wine's link loader does not read it back.
    const std::string bytes = FileSystemWin32().ReadWholeFile(dir + "entry.lnk").value_or("");
    CHECK(bytes.size() > 0x40 && bytes[0x3C] == 7 && bytes[0x3D] == 0);
    CHECK(Throws([&] { host.SaveShortcut(dir + "missing\\entry.lnk", fields); },
                 PlatformError::Cause::NotFound));

    // Task Manager's note, by the first byte of the value named after the file.
    const std::string entry = dir + "backend-entry.lnk";
    host.SwitchOn(entry);  // nothing noted: nothing to take back
    CHECK(!host.SwitchedOff(entry));
    auto note = [](BYTE state) {
        const BYTE value[12] = {state, 0, 0, 0, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x01};
        return RegSetKeyValueW(HKEY_CURRENT_USER, kStartupApprovedKey, L"backend-entry.lnk",
                               REG_BINARY, value, sizeof value) == ERROR_SUCCESS;
    };
    CHECK(note(0x03) && host.SwitchedOff(entry));
    CHECK(note(0x02) && !host.SwitchedOff(entry));
    CHECK(note(0x07) && host.SwitchedOff(entry));
    CHECK(!host.SwitchedOff(dir + "other.lnk"));
    host.SwitchOn(entry);
    CHECK(!host.SwitchedOff(entry));

    CHECK(SplitIconLocation("C:\\a\\b.exe,0").path == "C:\\a\\b.exe");
    CHECK(SplitIconLocation("C:\\a,b\\c.exe").path == "C:\\a,b\\c.exe");
    CHECK(SplitIconLocation("x.exe,-2").index == -2);
    const auto startup = host.StartupFolderLookup();
    CHECK(startup && FileSystemWin32().Exists(*startup, SearchFilter::OrdinaryFilesAndFolders));
    CHECK(host.Environment("RUVELLO_SURELY_UNSET").empty());
    SetEnvironmentVariableW(L"RUVELLO_LONG", std::wstring(600, L'\x00E4').c_str());
    CHECK(host.Environment("RUVELLO_LONG") == [] {
        std::string umlauts;
        for (int i = 0; i < 600; ++i) {
            umlauts += "\xC3\xA4";
        }
        return umlauts;
    }());
}

}  // namespace

int wmain() {
    const std::pair<const char*, void (*)()> groups[] = {
        {"file search and details", FileSearchAndDetails},
        {"file changes", FileChanges},
        {"held files", HeldFiles},
        {"leftover temporaries", LeftoverTemporaries},
        {"profile file", ProfileFile},
        {"profile encodings", ProfileEncodings},
        {"capture", Capture},
        {"tray retry", TrayRetry},
        {"windows and flash", WindowsAndFlash},
        {"shortcut", Shortcut},
    };
    for (const auto& [name, run] : groups) {
        const int before = failures;
        try {
            run();
        } catch (const std::exception& error) {
            ++failures;
            std::printf("  FAILED: unexpected %s\n", error.what());
        }
        std::printf("%s %s\n", failures == before ? "ok    " : "FAILED", name);
    }
    std::printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
