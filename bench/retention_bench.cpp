// The retention after each automatic screenshot, on a real folder: EnforceLimits deleting the
// one file that the new shot pushed over the limit, and returning what it left, which is all the
// status refresh after it needs; against the bare cost of reading the folder with a stat per
// entry.
//
//   build/linux/bench/ruvello_retention_bench [--benchmark_repetitions=5]
// The folders are made under $TMPDIR (default /tmp) and removed afterwards.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/file_system_posix.h"
#include "retention/enforce_limits.h"
#include "retention/folder_stats.h"

namespace {

using ruvello::AppSettings;
using ruvello::PosixFileSystem;

constexpr std::int64_t kShotBytes = 500'000;

// A folder of `count` screenshots of 500 kB (sparse files), a second apart, and a size limit that
// the newest count - 1 of them fit into: exactly the oldest has to go, as after a new shot.
class ShotFolder {
  public:
    explicit ShotFolder(int count) : count_(count) {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp ? tmp : "/tmp") + "/ruvello-bench-XXXXXX";
        folder_ = std::string(mkdtemp(pattern.data())) + "/";
        const std::int64_t rest = (count - 1) * kShotBytes;
        limitMB_ = static_cast<std::int32_t>((rest + ruvello::kBytesPerMegabyte - 1) /
                                             ruvello::kBytesPerMegabyte);
        oldestBytes_ = limitMB_ * ruvello::kBytesPerMegabyte - rest + 1;
        for (int i = 0; i < count; ++i) {
            Make(i, i == 0 ? oldestBytes_ : kShotBytes);
        }
    }
    ~ShotFolder() { std::filesystem::remove_all(folder_); }
    ShotFolder(const ShotFolder&) = delete;
    ShotFolder& operator=(const ShotFolder&) = delete;

    const std::string& folder() const { return folder_; }
    std::int32_t limitMB() const { return limitMB_; }
    void RestoreOldest() { Make(0, oldestBytes_); }

  private:
    void Make(int i, std::int64_t size) const {
        const std::string path = folder_ + "Screenshot_" + std::to_string(100000 + i) + ".png";
        const int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        if (fd < 0 || ftruncate(fd, size) != 0) {
            std::abort();
        }
        close(fd);
        const timespec times[2] = {{1'700'000'000 + i, 0}, {1'700'000'000 + i, 0}};
        utimensat(AT_FDCWD, path.c_str(), times, 0);
    }

    int count_;
    std::string folder_;
    std::int32_t limitMB_ = 0;
    std::int64_t oldestBytes_ = 0;
};

void BareListingAndStat(benchmark::State& state) {
    ShotFolder shots(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        DIR* dir = opendir(shots.folder().c_str());
        std::int64_t total = 0;
        while (const dirent* entry = readdir(dir)) {
            struct stat st {};
            if (fstatat(dirfd(dir), entry->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
                total += st.st_size;
            }
        }
        closedir(dir);
        benchmark::DoNotOptimize(total);
    }
}

AppSettings SizeLimitOnly(const ShotFolder& shots) {
    AppSettings settings;
    settings.ScreenshotFolder = shots.folder();
    settings.UseMaxCount = false;
    settings.UseMaxSize = true;
    settings.MaxTotalSizeMB = shots.limitMB();
    return settings;
}

// Fails the benchmark when the folder did not lose exactly its oldest file, or when what
// EnforceLimits says it left is not what is there.
void CheckOneDeleted(benchmark::State& state, PosixFileSystem& fs, const ShotFolder& shots,
                     int count, const ruvello::FolderStats& left) {
    const ruvello::FolderStats fresh = ruvello::GetFolderStats(fs, shots.folder());
    if (fresh.imageCount != count - 1 || left.imageCount != fresh.imageCount ||
        left.sizeMB != fresh.sizeMB) {
        state.SkipWithError("the retention did not delete exactly one file");
    }
}

void EnforceLimitsOneDeletion(benchmark::State& state) {
    ShotFolder shots(static_cast<int>(state.range(0)));
    PosixFileSystem fs;
    AppSettings settings = SizeLimitOnly(shots);
    for (auto _ : state) {
        const ruvello::FolderStats left = ruvello::EnforceLimits(fs, settings);
        state.PauseTiming();
        CheckOneDeleted(state, fs, shots, static_cast<int>(state.range(0)), left);
        shots.RestoreOldest();
        state.ResumeTiming();
    }
}

// The count limit at the menu's largest choice: 1,500 kept, the 1,501st deleted.
void CountLimitAt1500(benchmark::State& state) {
    ShotFolder shots(1501);
    PosixFileSystem fs;
    AppSettings settings;
    settings.ScreenshotFolder = shots.folder();
    settings.UseMaxSize = false;
    settings.MaxImageCount = 1500;
    for (auto _ : state) {
        const ruvello::FolderStats left = ruvello::EnforceLimits(fs, settings);
        state.PauseTiming();
        CheckOneDeleted(state, fs, shots, 1501, left);
        shots.RestoreOldest();
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(BareListingAndStat)->Arg(1500)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(EnforceLimitsOneDeletion)
    ->Arg(1500)
    ->Arg(20000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(CountLimitAt1500)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
