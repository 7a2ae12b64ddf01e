// The main window's toolbar images: one strip for each common screen scale (100, 125, 150 and
// 200 %), all in the program's resources.
#pragma once

#include "framework/toolbar_resource.h"

namespace quenlet {

// The strip the main window's toolbar shows on a screen of dpi.
const ToolBarStrip& mainToolBarStrip(int dpi);

}  // namespace quenlet
