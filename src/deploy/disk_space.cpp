#include "disk_space.h"

#include <windows.h>

#include <algorithm>
#include <functional>

#include "file_ops.h"
#include "long_path.h"
#include "module1.h"
#include "side_files.h"
#include "write_batch.h"

namespace deploy {

namespace {

#ifndef FILE_SUPPORTS_HARD_LINKS
#define FILE_SUPPORTS_HARD_LINKS 0x00400000
#endif

// What the drive at `root` says of itself: its cluster, whether it has hard
// links, its free space.
DriveSpace AskDrive(const std::wstring& root) {
    DriveSpace drive;
    drive.root = root;
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    if (::GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters) &&
        sectorsPerCluster > 0 && bytesPerSector > 0)
        drive.cluster = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
    // Windows before 7 does not report the flag; NTFS has had hard links
    // since Windows 2000.
    DWORD flags = 0;
    wchar_t fileSystem[MAX_PATH + 1] = {};
    if (::GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, &flags, fileSystem,
                                MAX_PATH + 1))
        drive.hardLinks = (flags & FILE_SUPPORTS_HARD_LINKS) ||
                          module1::UpperCase(fileSystem) == L"NTFS";
    // A CD or another read-only drive has no room to give and none to ask
    // for: a write there fails for its own reason, and is told as such.
    if ((flags & FILE_READ_ONLY_VOLUME) || ::GetDriveTypeW(root.c_str()) == DRIVE_CDROM) return drive;
    ULARGE_INTEGER available{};
    if (::GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) {
        drive.available = available.QuadPart;
        drive.known = true;
    }
    return drive;
}

uint64_t InClusters(uint64_t bytes, uint64_t cluster) {
    return (bytes + cluster - 1) / cluster * cluster;
}

// What writing `file` takes on `drive`; a new file that replaces an old one
// goes to `replaced` as well.
void Count(DriveSpace& drive, std::vector<uint64_t>& replaced, const PlannedFile& file) {
    const uint64_t size = InClusters(file.size, drive.cluster);
    uint64_t oldBytes = file.oldSize;
    bool kept = file.oldKept;
    WIN32_FILE_ATTRIBUTE_DATA old{};
    if (file.old == PlannedFile::Old::Unknown &&
        ::GetFileAttributesExW(fileio::LongPath(file.target).c_str(), GetFileExInfoStandard, &old)) {
        oldBytes = fileio::FileSize(old.nFileSizeHigh, old.nFileSizeLow);
        kept = file.keepOld && fileio::FileExists(fileio::KeptPathFor(file.target));
    } else if (file.old != PlannedFile::Old::Present) {
        drive.growth += size;
        return;
    }
    if (oldBytes == file.size) return;
    const uint64_t oldSize = InClusters(oldBytes, drive.cluster);
    if (file.keepOld && !kept) {
        // The old file stays, under its kept name.
        drive.growth += size + (drive.hardLinks ? 0 : oldSize);
        return;
    }
    if (size > oldSize) drive.growth += size - oldSize;
    replaced.push_back(size);
}

}  // namespace

std::wstring DriveRootOf(const std::wstring& path) {
    std::wstring root(std::max<size_t>(path.size() + 2, MAX_PATH + 1), L'\0');
    if (::GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size()))) {
        root.resize(wcslen(root.c_str()));
        if (!root.empty() && root.back() != L'\\') root += L'\\';
        return root;
    }
    // A path the call does not take (too long, say): its drive letter.
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return path.substr(0, 3);
    return path;
}

std::wstring DriveName(const std::wstring& root) {
    if (root.size() == 3 && root[1] == L':' && root[2] == L'\\') return root.substr(0, 2);
    return root;
}

std::vector<DriveSpace> CountSpace(const std::vector<PlannedFile>& files) {
    std::vector<DriveSpace> drives;
    std::vector<std::vector<uint64_t>> replaced;
    // Files of one folder lie on one drive: it is asked for once.
    std::wstring lastFolder;
    size_t last = 0;
    for (const PlannedFile& file : files) {
        const std::wstring folder = file.target.substr(0, file.target.find_last_of(L'\\') + 1);
        if (drives.empty() || folder != lastFolder) {
            const std::wstring root = DriveRootOf(folder);
            auto drive = std::find_if(drives.begin(), drives.end(), [&](const DriveSpace& d) {
                return module1::UpperCase(d.root) == module1::UpperCase(root);
            });
            if (drive == drives.end()) {
                drive = drives.insert(drives.end(), AskDrive(root));
                replaced.emplace_back();
            }
            last = static_cast<size_t>(drive - drives.begin());
            lastFolder = folder;
        }
        Count(drives[last], replaced[last], file);
    }
    for (size_t i = 0; i < drives.size(); ++i) {
        std::vector<uint64_t>& sizes = replaced[i];
        const size_t inFlight = std::min(sizes.size(), fileio::WriteBatch::kMostInFlight);
        std::partial_sort(sizes.begin(), sizes.begin() + inFlight, sizes.end(), std::greater<>());
        for (size_t j = 0; j < inFlight; ++j) drives[i].replacing += sizes[j];
    }
    return drives;
}

}  // namespace deploy
