// Numbers of the program's resources, shared by the resource script
// (ostrel.rc) and the code, so both are plain #defines.
#pragma once

#define OSTREL_ICON 1           // the program's icon (resources/ostrel.svg)
#define OSTREL_WIRING_BITMAP 2  // the wiring picture (qt/wiring.svg)
