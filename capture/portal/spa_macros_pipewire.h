#pragma once

// SPA's inline helpers and its builder macros are C: casts, compound literals and partly filled
// structures of their own, which the project's warnings reject in C++. Included after the SPA
// headers, by the files that build or parse SPA objects.
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
