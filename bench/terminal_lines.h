#pragma once

// What the benchmark's busy terminal prints, line by line: a build log, a listing, a test run.
// The X11 scene (shot_scene_x11) and the scene window of every desktop (scene_window) print the
// same lines.

#include <cstdio>
#include <string>

namespace ruvello::bench {

inline std::string TerminalLine(int n) {
    static const char* const kWords[] = {"capture", "settings",  "retention", "tray",
                                         "flash",   "autostart", "platform",  "bench"};
    char line[160];
    switch (n % 3) {
        case 0:
            std::snprintf(line, sizeof line,
                          "[%3d/412] Building CXX object %s/CMakeFiles/%s.dir/%s_%d.cpp.o", n % 412,
                          kWords[n % 8], kWords[(n / 8) % 8], kWords[(n / 3) % 8], n);
            break;
        case 1:
            std::snprintf(line, sizeof line,
                          "-rw-r--r-- 1 user user %8d Jan %2d 09:%02d Screenshot_20250114_%06d.png",
                          700000 + (n * 7919) % 300000, 1 + n % 28, n % 60, 90000 + n * 37);
            break;
        default:
            std::snprintf(line, sizeof line, "[       OK ] %s.%sKeepsItsFiles_%d (%d ms)",
                          kWords[n % 8], kWords[(n + 3) % 8], n, (n * 13) % 97);
    }
    return line;
}

}  // namespace ruvello::bench
