// The portal route's two ways of spending the time between shots, side by side: streams kept
// running at a low frame rate holding only their newest frame, or streams paused and resumed
// for every shot. For each: one shot from the call to the file (wall and CPU time), and what an
// idle stretch with the session open costs (CPU, wake-ups).
//
// Runs inside a desktop session with a screen-cast portal and a restore token that spares the
// question; bench/portal_idle.py sets one up (headless mutter with GNOME's portal backend).
//
//   build/linux/bench/ruvello_portal_bench --benchmark_filter=Idle
//   RUVELLO_IDLE_SECONDS=30 (default 20) sets the idle stretch; RUVELLO_COMPOSITOR_PID adds the
//   compositor's CPU time over it, where the frames are drawn and copied.

#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "capture/portal/screen_capture_portal_qt.h"

namespace {

using namespace ruvello;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Voluntary and involuntary context switches of all threads: each wake-up of a sleeping
// thread is one.
long ContextSwitches() {
    long switches = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line)) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                switches += std::stol(line.substr(line.find(':') + 1));
            }
        }
    }
    return switches;
}

// A process's CPU time in seconds, from /proc (utime and stime, in clock ticks).
double CpuSecondsOf(const std::string& pid) {
    std::ifstream stat("/proc/" + pid + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) {
            ticks += std::stod(field);
        }
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void RunEventLoop(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

// One open session at a time, kept while the benchmarks of its way run.
PortalScreenCapture& Capture(IdleStreams idle) {
    static std::unique_ptr<PortalScreenCapture> capture;
    static IdleStreams current = IdleStreams::kNewestKept;
    if (!capture || current != idle) {
        capture.reset();  // closes the other way's session first
        RunEventLoop(std::chrono::milliseconds(500));
        PortalCaptureOptions options;
        options.idle = idle;
        capture = std::make_unique<PortalScreenCapture>(nullptr, options);
        capture->GdiPlusStart();
        current = idle;
    }
    return *capture;
}

const std::string& ShotPath() {
    static const std::string path = [] {
        char pattern[] = "/tmp/ruvello-portal-bench-XXXXXX";
        return std::string(mkdtemp(pattern)) + "/shot.png";
    }();
    return path;
}

void Shot(benchmark::State& state, IdleStreams idle) {
    PortalScreenCapture& capture = Capture(idle);
    if (!capture.CaptureScreenToPng(ShotPath())) {
        state.SkipWithError("no screenshot: is a portal session possible without asking?");
        return;
    }
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        RunEventLoop(std::chrono::milliseconds(700));  // a still screen, as between ticks
        const double before = ProcessCpuSeconds();
        state.ResumeTiming();
        const bool written = capture.CaptureScreenToPng(ShotPath());
        cpu += ProcessCpuSeconds() - before;
        if (!written) {
            state.SkipWithError("a screenshot failed");
            return;
        }
    }
    state.counters["cpu_ms_per_shot"] =
        benchmark::Counter(1000 * cpu / static_cast<double>(state.iterations()));
}

void Idle(benchmark::State& state, IdleStreams idle) {
    PortalScreenCapture& capture = Capture(idle);
    if (!capture.CaptureScreenToPng(ShotPath())) {
        state.SkipWithError("no screenshot: is a portal session possible without asking?");
        return;
    }
    const char* configured = std::getenv("RUVELLO_IDLE_SECONDS");
    const int seconds = configured ? std::atoi(configured) : 20;
    const char* compositorPid = std::getenv("RUVELLO_COMPOSITOR_PID");
    const std::string compositor = compositorPid ? compositorPid : "";
    for (auto _ : state) {
        RunEventLoop(std::chrono::milliseconds(500));  // the shot's stream traffic settles
        const double cpu = ProcessCpuSeconds();
        const long switches = ContextSwitches();
        const double compositorCpu = compositor.empty() ? 0 : CpuSecondsOf(compositor);
        RunEventLoop(std::chrono::seconds(seconds));
        state.counters["cpu_percent"] = 100 * (ProcessCpuSeconds() - cpu) / seconds;
        state.counters["wakeups_per_s"] =
            static_cast<double>(ContextSwitches() - switches) / seconds;
        if (!compositor.empty()) {
            state.counters["compositor_cpu_percent"] =
                100 * (CpuSecondsOf(compositor) - compositorCpu) / seconds;
        }
    }
}

void BM_PortalShot_NewestKept(benchmark::State& state) {
    Shot(state, IdleStreams::kNewestKept);
}
void BM_PortalShot_Paused(benchmark::State& state) {
    Shot(state, IdleStreams::kPaused);
}
void BM_PortalIdle_NewestKept(benchmark::State& state) {
    Idle(state, IdleStreams::kNewestKept);
}
void BM_PortalIdle_Paused(benchmark::State& state) {
    Idle(state, IdleStreams::kPaused);
}

BENCHMARK(BM_PortalShot_NewestKept)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_PortalShot_Paused)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);
BENCHMARK(BM_PortalIdle_NewestKept)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_PortalIdle_Paused)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
