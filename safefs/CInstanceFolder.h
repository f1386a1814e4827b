// Which instance folders are still in use. Each program instance stages below a folder of its
// own and holds a lock on a mark file inside it for as long as it runs; the system drops the
// lock with the process however it ends (a crash, SIGKILL), so a mark nobody holds means a
// folder left behind.
#pragma once

#include <QByteArray>

#include "UniqueFd.h"

namespace kestrel::safefs {

// Makes the mark in a new, empty instance folder and locks it; keep the descriptor open as long
// as the folder is in use. Invalid when the mark could not be made or locked.
UniqueFd MarkInstanceFolder(const QByteArray& c_baFolder);

// Removes the instance folders ("t" and hexadecimal digits) directly below c_baShared that are
// real folders of this user with a mark nobody holds. Links, other users' folders, folders
// without a mark and marks made in the last few seconds (their instance may not have locked
// them yet) are left alone. The number removed.
int RemoveAbandonedInstanceFolders(const QByteArray& c_baShared);

}  // namespace kestrel::safefs
