#pragma once

#include "platform/file_system.h"
#include "retention/folder_stats.h"
#include "settings/app_settings.h"

namespace ruvello {

// Deletes the oldest PNG files of the screenshot folder beyond the active limits: first down to
// MaxImageCount files, then until the rest fit into MaxTotalSizeMB (the newest file always stays).
// A size limit below 1 MB switches UseMaxSize off in memory. Failed deletions are skipped.
// Returns the count and size of the files it leaves (one whose deletion failed stays counted),
// from its own reading of the folder.
FolderStats EnforceLimits(FileSystem& fs, AppSettings& settings);

}  // namespace ruvello
