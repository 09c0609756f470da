#include "retention/enforce_limits.h"

#include <cstdint>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "retention/exchange_order.h"
#include "retention/folder_stats.h"
#include "retention/png_listing.h"

namespace ruvello {
namespace {

std::int64_t SortKey(const LocalDateTime& t) {
    return ((((static_cast<std::int64_t>(t.year) * 13 + t.month) * 32 + t.day) * 24 + t.hour) * 60 +
            t.minute) *
               60 +
           t.second;
}

}  // namespace

FolderStats EnforceLimits(FileSystem& fs, AppSettings& settings) {
    if (settings.UseMaxSize && settings.MaxTotalSizeMB < 1) {
        settings.UseMaxSize = false;
    }
    const std::string& folder = settings.ScreenshotFolder;
    const std::vector<FileDetails> files = ListPngFiles(fs, folder);
    const std::size_t n = files.size();
    if (n == 0) {
        return {};
    }
    std::vector<std::int64_t> keys;
    keys.reserve(n);
    for (const FileDetails& file : files) {
        keys.push_back(SortKey(file.modified));
    }
    ExchangeOrder oldestFirst(std::move(keys));
    std::vector<bool> deleted(n);
    // Deletes the file at a position of the sorted list. A file already deleted is not tried
    // again: its name may have been taken by a new file since.
    auto remove = [&](std::size_t position) -> const FileDetails& {
        const std::size_t index = oldestFirst.At(position);
        if (!deleted[index]) {
            CarryOn([&] {
                fs.RemoveFile(folder + files[index].name);
                deleted[index] = true;
            });
        }
        return files[index];
    };

    const std::size_t maxCount =
        settings.MaxImageCount > 0 ? static_cast<std::size_t>(settings.MaxImageCount) : 0;
    if (settings.UseMaxCount && n > maxCount) {
        for (std::size_t position = 0; position < n - maxCount; ++position) {
            remove(position);
        }
    }
    if (settings.UseMaxSize) {
        std::int64_t total = 0;
        for (const FileDetails& file : files) {
            total += file.size;
        }
        const std::int64_t limit =
            static_cast<std::int64_t>(settings.MaxTotalSizeMB) * kBytesPerMegabyte;
        for (std::size_t position = 0, left = n; total > limit && left > 1; ++position, --left) {
            total -= remove(position).size;  // subtracted even when the deletion failed
        }
    }
    std::int64_t bytesLeft = 0;
    FolderStats left;
    for (std::size_t index = 0; index < n; ++index) {
        if (!deleted[index]) {
            ++left.imageCount;
            bytesLeft += files[index].size;
        }
    }
    left.sizeMB = static_cast<double>(bytesLeft) / static_cast<double>(kBytesPerMegabyte);
    return left;
}

}  // namespace ruvello
