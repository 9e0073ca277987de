#pragma once

#include <QString>

namespace pm {

// Removes what earlier runs of this user left in the user's working folder under `temporaryRoot` (the
// system's temporary folder in the programs): the folders of runs that ended without cleaning up (killed,
// crashed, switched off) with every file in them. Folders of runs that are still alive are kept, as is a
// working folder that is not the user's own private one. Returns how many entries it removed.
//
// The agent calls it once as it starts, before the first upload.
int removeUploadLeftovers(const QString& temporaryRoot);

}  // namespace pm
