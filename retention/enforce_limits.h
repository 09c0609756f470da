#pragma once

#include "platform/file_system.h"
#include "settings/app_settings.h"

namespace ruvello {

// Deletes the oldest PNG files of the screenshot folder beyond the active limits: first down to
// MaxImageCount files, then until the rest fit into MaxTotalSizeMB (the newest file always stays).
// A size limit below 1 MB switches UseMaxSize off in memory. Failed deletions are skipped.
void EnforceLimits(FileSystem& fs, AppSettings& settings);

}  // namespace ruvello
