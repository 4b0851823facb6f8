// The two procedures the window's buttons run. Both end the program through
// the host when they are done.
#pragma once

#include "folders.h"
#include "host.h"

namespace deploy {

// Finds the AutoCAD folder, deploys the add-on into it, patches its menu,
// records the folder in the program folder's "INFOFILE" and says so.
void CadImport(Host& host, const Folders& folders);

// Reads "INFOFILE" of the program folder and removes what the install
// deployed there. Without a usable record it removes nothing and says why.
void CadExport(Host& host, const Folders& folders);

}  // namespace deploy
