// Behaves as a real-time virus scanner does towards the program under test.
// At its start it opens every file below the folders it is given and holds
// them for a second (a scan in progress); meanwhile, and after, it watches
// those folders and opens each new or changed file as soon as its writer has
// closed it, holding it 200 to 500 ms. It reads only, and shares reads only:
// while it holds a file, nobody can rename, replace or delete it.
// Usage: scanner.exe READY-EVENT FOLDER...   (signals READY-EVENT, a named
// event, once its first holds are taken; runs until it is ended.)
#include <windows.h>

#include <chrono>
#include <deque>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

HANDLE OpenToScan(const std::wstring& path) {
    return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

void HoldAllBelow(const std::wstring& folder, std::vector<HANDLE>& held) {
    WIN32_FIND_DATAW entry{};
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + L"\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            HoldAllBelow(path, held);
        } else if (HANDLE file = OpenToScan(path); file != INVALID_HANDLE_VALUE) {
            held.push_back(file);
        }
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
}

// Paths reported by the watchers, waiting to be scanned.
CRITICAL_SECTION g_lock;
std::deque<std::wstring> g_fresh;

class Locked {
public:
    Locked() { ::EnterCriticalSection(&g_lock); }
    ~Locked() { ::LeaveCriticalSection(&g_lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

// Runs on a thread of its own for the folder given (a new std::wstring).
DWORD WINAPI Watch(void* param) {
    const std::wstring folder = *static_cast<std::wstring*>(param);
    delete static_cast<std::wstring*>(param);
    HANDLE dir = ::CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE) return 0;
    alignas(DWORD) char buffer[64 << 10];
    DWORD got = 0;
    while (::ReadDirectoryChangesW(dir, buffer, sizeof(buffer), TRUE,
                                   FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_LAST_WRITE |
                                       FILE_NOTIFY_CHANGE_SIZE,
                                   &got, nullptr, nullptr)) {
        for (char* at = buffer; got > 0;) {
            const auto* info = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(at);
            if (info->Action == FILE_ACTION_ADDED || info->Action == FILE_ACTION_MODIFIED ||
                info->Action == FILE_ACTION_RENAMED_NEW_NAME) {
                Locked guard;
                g_fresh.push_back(folder + L"\\" +
                                  std::wstring(info->FileName, info->FileNameLength / sizeof(wchar_t)));
            }
            if (info->NextEntryOffset == 0) break;
            at += info->NextEntryOffset;
        }
    }
    return 0;
}

struct Hold {
    std::wstring path;
    HANDLE file;
    Clock::time_point until;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) return 2;
    std::vector<std::wstring> folders(argv + 2, argv + argc);
    ::InitializeCriticalSection(&g_lock);
    for (const std::wstring& folder : folders) {
        if (HANDLE thread = ::CreateThread(nullptr, 0, Watch, new std::wstring(folder), 0, nullptr))
            ::CloseHandle(thread);
    }

    std::vector<HANDLE> first;
    for (const std::wstring& folder : folders) HoldAllBelow(folder, first);
    if (HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[1])) {
        ::SetEvent(ready);
        ::CloseHandle(ready);
    }
    const auto firstUntil = Clock::now() + std::chrono::seconds(1);

    std::mt19937 random(::GetCurrentProcessId());
    std::uniform_int_distribution<int> holdMs(200, 500);
    // A fresh file is tried until its writer lets go of it, for at most 2 s.
    std::vector<std::pair<std::wstring, Clock::time_point>> waiting;
    std::vector<Hold> holds;
    for (;;) {
        const auto now = Clock::now();
        if (!first.empty() && now >= firstUntil) {
            for (HANDLE file : first) ::CloseHandle(file);
            first.clear();
        }
        {
            Locked guard;
            for (; !g_fresh.empty(); g_fresh.pop_front())
                waiting.emplace_back(g_fresh.front(), now + std::chrono::seconds(2));
        }
        for (size_t i = 0; i < waiting.size();) {
            HANDLE file = OpenToScan(waiting[i].first);
            if (file != INVALID_HANDLE_VALUE) {
                holds.push_back({waiting[i].first, file, now + std::chrono::milliseconds(holdMs(random))});
            } else if (::GetLastError() == ERROR_SHARING_VIOLATION && now < waiting[i].second) {
                ++i;
                continue;
            }
            waiting.erase(waiting.begin() + static_cast<std::ptrdiff_t>(i));
        }
        for (size_t i = 0; i < holds.size();) {
            if (now >= holds[i].until) {
                ::CloseHandle(holds[i].file);
                holds.erase(holds.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
        ::Sleep(1);
    }
}
