#pragma once

// Resource ids shared by the resource script and the program; plain macros, as the resource
// compiler reads them too.
#define RUVELLO_ICON 1
