// Taking back what an install cut short by a full disk did, as the uninstall
// would: every file it made goes, every file of the user's it replaced comes
// back from its kept copy.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host.h"
#include "install_plan.h"
#include "module1.h"

namespace deploy {

// Takes back `changes`, the last first. Returns the files of ours that stay,
// in the order they were written: a file of an earlier install that this run
// replaced stays in its new version, whole, and so does a file that could not
// be taken back.
std::vector<std::wstring> TakeBack(const std::vector<module1::Copier::Changed>& changes,
                                   fileio::Waiter& waiter);

// What an install has done so far outside its copies, for taking it back.
struct InstallRun {
    explicit InstallRun(InstallPlan& plan) : plan(plan), pictures(plan.cads.size()) {}
    // What it meant to do, with the record as planned.
    InstallPlan& plan;
    std::wstring recordPath;
    // The record's bytes before this run (none when there was none).
    std::optional<std::string> previousBytes;
    // For each AutoCAD, in the plan's order: whether this run made its
    // picture folder, and whether it is staged still (its pictures under the
    // folder's temporary name).
    struct PictureFolder {
        bool made = false;
        bool staged = false;
    };
    std::vector<PictureFolder> pictures;
    // The side copies of menus this run wrote, and the menus it wrote in
    // place (which hold the item now and stay so).
    std::vector<std::wstring> sideCopies;
    std::vector<std::wstring> menusChanged;
};

// The drive of `at` filled up while this run copied: what the run did is
// taken back, the record says what is left of ours (or is as it was before
// the run, when nothing of this run is left), and the user hears it once.
// The program ends.
void StopForFullDisk(Host& host, const std::wstring& at, const module1::Copier& copier,
                     InstallRun& run);

}  // namespace deploy
