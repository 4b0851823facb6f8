#include "take_back.h"

#include <algorithm>

#include "file_ops.h"
#include "side_files.h"

namespace deploy {

std::vector<std::wstring> TakeBack(const std::vector<module1::Copier::Changed>& changes,
                                   fileio::Waiter& waiter) {
    using Change = fileio::ReplacingWriter::Change;
    std::vector<std::wstring> left;
    for (auto file = changes.rbegin(); file != changes.rend(); ++file) {
        bool gone = false;
        if (file->change == Change::Created) {
            gone = fileio::DeleteIfPresent(file->dest, waiter) == ERROR_SUCCESS;
        } else if (file->change == Change::ReplacedAndKept) {
            gone = fileio::PutBackKept(file->dest, gone, waiter) == ERROR_SUCCESS && gone;
        }
        if (!gone) left.push_back(file->dest);
    }
    std::reverse(left.begin(), left.end());
    return left;
}

}  // namespace deploy
