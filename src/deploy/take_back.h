// Taking back what an install cut short by a full disk did, as the uninstall
// would: every file it made goes, every file of the user's it replaced comes
// back from its kept copy.
#pragma once

#include <string>
#include <vector>

#include "module1.h"

namespace deploy {

// Takes back `changes`, the last first. Returns the files of ours that stay,
// in the order they were written: a file of an earlier install that this run
// replaced stays in its new version, whole, and so does a file that could not
// be taken back.
std::vector<std::wstring> TakeBack(const std::vector<module1::Copier::Changed>& changes,
                                   fileio::Waiter& waiter);

}  // namespace deploy
