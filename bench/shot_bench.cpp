// One automatic screenshot from the tick to the file: the program's own TakeAutoShot (grab,
// encode, write, retention, status) with the real desktop services and the capture route the
// program would choose here (the X display in $DISPLAY, or the Wayland compositor in
// $WAYLAND_DISPLAY), beside the X11 grab alone and beside that grab encoded by libpng at its
// defaults.
//
//   DISPLAY=:n build/linux/bench/ruvello_shot_bench --benchmark_repetitions=15
// (bench/compare_shots.py sets up the displays and the frames and prints the comparison; it runs
// this program with --serve for single timed shots and with --scene to change the screen.
// bench/compare_wayland.py does the same for the Wayland route against the X11 one.)
// Qt's headers before Xlib's, whose macros they cannot stand.
#include <QApplication>

#include <X11/Xlib.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <malloc.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "app/frm_main.h"
#include "autostart/autostart_host_posix.h"
#include "bench/png_libpng.h"
#include "capture/capture_route.h"
#include "capture/x11/screen_capture_x11.h"
#include "flash/flash_window_qt.h"
#include "platform/atomic_file_posix.h"
#include "platform/clock_posix.h"
#include "platform/file_system_posix.h"
#include "platform/locale_info_qt.h"
#include "platform/shot_timer_qt.h"
#include "platform/window_system_qt.h"
#include "settings/ini_file_store.h"
#include "shot_scene_x11.h"
#include "tray/tray_host_qt.h"

namespace {

using namespace ruvello;

// A program folder of its own in /tmp with a folder at its count limit, so that every shot also
// deletes the oldest file, as in a long run.
struct ProgramFolder {
    std::string path;
    ProgramFolder() {
        char pattern[] = "/tmp/ruvello-shot-bench-XXXXXX";
        path = mkdtemp(pattern);
        std::ofstream(path + "/config.ini", std::ios::binary)
            << "[Settings]\r\nIntervalSeconds=600\r\nMaxImageCount=200\r\nScreenshotFolder=" << path
            << "/\r\n";
        for (int i = 0; i < 200; ++i) {
            std::ofstream(path + "/Screenshot_20000101_00" + std::to_string(1000 + i) + ".png")
                << "old";
        }
    }
    ~ProgramFolder() { std::filesystem::remove_all(path); }
};

// frmMain on the real Linux services, in a program folder of its own.
struct Program {
    ProgramFolder folder;
    PosixFileSystem files;
    IniFileStore store{files};
    PosixClock clock;
    QtLocaleInfo locale;
    CaptureChoice capture = ChooseScreenCapture();
    ScreenCapture& screen = *capture.capture;
    QtWindowSystem windows{capture.virtualScreen, [] {}};
    QtShotTimer timer{[] {}};
    QtFlashWindow flash;
    PosixAutostartHost autostart;
    QtTrayHost tray{QIcon(), nullptr, [](std::int32_t) {}};
    frmMain form{PlatformServices{kLinuxConventions, files, store, clock, locale, windows, timer,
                                  screen, tray, flash, autostart}};

    // Ready for TakeAutoShot as after start-up, on the benchmark's own folder (Form_Load would
    // read and write config.ini beside the benchmark binary).
    Program() {
        form.AppSettings.ScreenshotFolder = folder.path + "/";
        form.AppSettings.MaxImageCount = 200;
        form.appTitle = "Ruvello";
        form.sizeWord = "Größe";
        screen.GdiPlusStart();
    }
};

Program& TheProgram() {
    static Program program;
    return program;
}

// The newest screenshot (the names sort by time).
std::filesystem::path NewestShot(const std::string& folder) {
    std::filesystem::path newest;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("Screenshot_", 0) == 0 &&
            entry.path() > newest) {
            newest = entry.path();
        }
    }
    return newest;
}

std::int64_t LastFileBytes(const std::string& folder) {
    const std::filesystem::path newest = NewestShot(folder);
    return newest.empty() ? 0 : static_cast<std::int64_t>(std::filesystem::file_size(newest));
}

void TickToFile(benchmark::State& state) {
    Program& program = TheProgram();
    for (auto _ : state) {
        program.form.TakeAutoShot();
    }
    state.counters["bytes"] = static_cast<double>(LastFileBytes(program.folder.path));
}

void Grab(benchmark::State& state) {
    Display* display = XOpenDisplay(nullptr);
    {
        X11Grabber grabber(display, state.range(0) != 0);
        for (auto _ : state) {
            if (!grabber.Grab()) {
                state.SkipWithError("the grab failed");
                break;
            }
        }
        state.SetLabel(grabber.UsesSharedMemory() ? "shared memory" : "plain transfer");
    }
    XCloseDisplay(display);
}

// The same grab and atomic write, with libpng's default compression: the size reference.
void LibpngDefault(benchmark::State& state) {
    Display* display = XOpenDisplay(nullptr);
    ProgramFolder folder;
    const std::string path = folder.path + "/libpng.png";
    std::vector<std::uint8_t> png;
    {
        X11Grabber grabber(display);
        for (auto _ : state) {
            const BgrxRows* rows = grabber.Grab();
            if (!rows || !EncodeWithLibpng(*rows, png) ||
                !WriteFileAtomically(path, png.data(), png.size())) {
                state.SkipWithError("the libpng shot failed");
                break;
            }
        }
    }
    XCloseDisplay(display);
    state.counters["bytes"] = static_cast<double>(png.size());
}

long StatusKilobytes(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(std::string(field).size()));
        }
    }
    return -1;
}

// The memory a 4K capture needs: the peak resident memory of the first shot of a fresh capture
// (grab with its shared-memory segment, encode, write) above the footprint before it, in frames
// of 4 bytes a pixel. Runs first, before other benchmarks leave freed memory behind.
void PeakMemory(benchmark::State& state) {
    ProgramFolder folder;
    double peak = 0;
    double frameKilobytes = 1;
    for (auto _ : state) {
        state.PauseTiming();
        malloc_trim(0);
        X11ScreenCapture capture;
        std::ofstream("/proc/self/clear_refs") << "5";  // resets the high-water mark
        const long before = StatusKilobytes("VmRSS:");
        state.ResumeTiming();
        capture.GdiPlusStart();
        capture.CaptureScreenToPng(folder.path + "/peak.png");
        state.PauseTiming();
        const ScreenRect screen = capture.RootRect();
        frameKilobytes = screen.width * 4.0 * screen.height / 1024.0;
        peak = std::max(peak, static_cast<double>(StatusKilobytes("VmHWM:") - before));
        state.ResumeTiming();
    }
    state.counters["peak_frames"] = peak / frameKilobytes;
}

double Milliseconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Single shots on request, one a line on stdin: "ruvello" (TakeAutoShot) or "libpng" (grab,
// libpng's defaults, write). Answers "<wall ms> <CPU ms of the whole process> <bytes>". "keep
// <path>" copies Ruvello's newest file there.
int Serve() {
    Program& program = TheProgram();
    // Opened for the first "libpng" only: on a Wayland desktop there may be no X display.
    std::unique_ptr<Display, decltype(&XCloseDisplay)> display(nullptr, XCloseDisplay);
    std::unique_ptr<X11Grabber> grabber;  // ends before its display
    const std::string libpng_path = program.folder.path + "/libpng.png";
    std::vector<std::uint8_t> png;
    for (std::string command; std::getline(std::cin, command);) {
        if (command.rfind("keep ", 0) == 0) {
            std::filesystem::copy_file(NewestShot(program.folder.path), command.substr(5),
                                       std::filesystem::copy_options::overwrite_existing);
            std::cout << "ok" << std::endl;
            continue;
        }
        const double wall = Milliseconds(CLOCK_MONOTONIC);
        const double cpu = Milliseconds(CLOCK_PROCESS_CPUTIME_ID);
        std::int64_t bytes = 0;
        if (command == "ruvello") {
            program.form.TakeAutoShot();
        } else {
            if (!grabber) {
                display.reset(XOpenDisplay(nullptr));
                if (!display) {
                    return 1;
                }
                grabber = std::make_unique<X11Grabber>(display.get());
            }
            const BgrxRows* rows = grabber->Grab();
            if (!rows || !EncodeWithLibpng(*rows, png) ||
                !WriteFileAtomically(libpng_path, png.data(), png.size())) {
                return 1;
            }
            bytes = static_cast<std::int64_t>(png.size());
        }
        const double wall_ms = Milliseconds(CLOCK_MONOTONIC) - wall;
        const double cpu_ms = Milliseconds(CLOCK_PROCESS_CPUTIME_ID) - cpu;
        if (command == "ruvello") {
            bytes = LastFileBytes(program.folder.path);
        }
        std::cout << wall_ms << ' ' << cpu_ms << ' ' << bytes << std::endl;
    }
    return 0;
}

// Changes the screen on request: "next" on stdin draws the scene's next state, "ok" answers.
int RunScene(const std::string& kind) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        return 1;
    }
    {
        bench::ShotScene scene(display, kind);
        std::cout << "ready" << std::endl;
        for (std::string command; std::getline(std::cin, command);) {
            scene.Next();
            std::cout << "ok" << std::endl;
        }
    }
    XCloseDisplay(display);
    return 0;
}

}  // namespace

BENCHMARK(PeakMemory)->Unit(benchmark::kMillisecond)->Iterations(3);
// Process CPU time: the encoder's helper thread counts too.
BENCHMARK(TickToFile)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(Grab)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(LibpngDefault)->Unit(benchmark::kMillisecond)->MinTime(2);

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]).rfind("--scene=", 0) == 0) {
        return RunScene(std::string(argv[1]).substr(8));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication app(argc, argv);  // the tray, menu and overlay of TakeAutoShot's status refresh
    // --shot=<path>: one automatic screenshot, kept at <path> for checking its pixels.
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--serve") {
            return Serve();
        }
        if (argument.rfind("--shot=", 0) == 0) {
            Program& program = TheProgram();
            program.form.TakeAutoShot();
            std::filesystem::copy_file(NewestShot(program.folder.path), argument.substr(7),
                                       std::filesystem::copy_options::overwrite_existing);
            return 0;
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
