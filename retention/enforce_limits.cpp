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

struct Entry {
    std::string name;
    std::int64_t size = 0;
    bool deleted = false;
};

std::int64_t SortKey(const LocalDateTime& t) {
    return ((((static_cast<std::int64_t>(t.year) * 13 + t.month) * 32 + t.day) * 24 + t.hour) * 60 +
            t.minute) *
               60 +
           t.second;
}

struct WorkingList {
    std::vector<Entry> entries;
    std::vector<std::int64_t> keys;
};

WorkingList ReadWorkingList(FileSystem& fs, const std::string& folder) {
    WorkingList list;
    for (std::string& name : ListPngFiles(fs, folder)) {
        const std::string path = folder + name;
        Entry entry{std::move(name)};
        std::int64_t key = 0;
        if (ReadUnlessVanished([&] {
                key = SortKey(fs.LastModified(path));
                entry.size = fs.FileSize(path);
            })) {
            list.entries.push_back(std::move(entry));
            list.keys.push_back(key);
        }
    }
    return list;
}

}  // namespace

void EnforceLimits(FileSystem& fs, AppSettings& settings) {
    if (settings.UseMaxSize && settings.MaxTotalSizeMB < 1) {
        settings.UseMaxSize = false;
    }
    const std::string& folder = settings.ScreenshotFolder;
    WorkingList list = ReadWorkingList(fs, folder);
    const std::size_t n = list.entries.size();
    if (n == 0) {
        return;
    }
    ExchangeOrder oldestFirst(std::move(list.keys));
    auto entryAt = [&](std::size_t position) -> Entry& {
        return list.entries[oldestFirst.At(position)];
    };
    // A file already deleted is not tried again: its name may have been taken by a new file.
    auto remove = [&](Entry& entry) {
        if (!entry.deleted) {
            CarryOn([&] {
                fs.RemoveFile(folder + entry.name);
                entry.deleted = true;
            });
        }
    };

    const std::size_t maxCount =
        settings.MaxImageCount > 0 ? static_cast<std::size_t>(settings.MaxImageCount) : 0;
    if (settings.UseMaxCount && n > maxCount) {
        for (std::size_t position = 0; position < n - maxCount; ++position) {
            remove(entryAt(position));
        }
    }
    if (settings.UseMaxSize) {
        std::int64_t total = 0;
        for (const Entry& entry : list.entries) {
            total += entry.size;
        }
        const std::int64_t limit =
            static_cast<std::int64_t>(settings.MaxTotalSizeMB) * kBytesPerMegabyte;
        for (std::size_t position = 0, left = n; total > limit && left > 1; ++position, --left) {
            Entry& oldest = entryAt(position);
            remove(oldest);
            total -= oldest.size;  // subtracted even when the deletion failed
        }
    }
}

}  // namespace ruvello
