// The ledger of which targets of an install are ours: the files it writes,
// each known by its size and last-write time, and the pictures it puts into
// the picture folder. A file that stands in the way and is not ours is the
// user's: it is kept for the uninstall to give back, and never deleted.
#pragma once

#include <string>

#include "install_record.h"
#include "module1.h"

namespace deploy {

struct CadPlan;
struct InstallPlan;

// The key of the file at `path` as it stands; "" when there is none.
std::wstring KeyOf(const std::wstring& path);

// The pictures of one AutoCAD that are ours once this install is done, for
// the uninstall to remove: every picture of the payload that is not in its
// picture folder yet, and those an earlier install into this folder put there. A file of
// the same name that stands there already is the user's: if it differs from
// ours it is kept and comes back at the uninstall, and it is never deleted.
Pictures OurPictures(const CadPlan& cad);

// Before the copies, over every AutoCAD: the files an earlier install wrote that nothing changed
// since, and those this one writes, each with the last-write time the copy
// gives it. A kill at any moment leaves each target as one of these, or as
// it was.
Owned OwnedBefore(const InstallPlan& plan);

// After the copies, over every AutoCAD: each target that holds our bytes now (this run wrote it
// or found it so, or it is still as an earlier install wrote it), as it
// stands, and what an earlier install wrote that this one did not touch.
Owned OwnedAfter(const InstallPlan& plan, const module1::Copier& copier);

}  // namespace deploy
