// What the benchmark programs share: a clock, file helpers, the summary of
// paired samples and the Markdown table rows they print (scripts/bench.sh
// prints the header and puts the rows in order).
#pragma once

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

constexpr double kMiB = 1024.0 * 1024.0;

inline double NowMs() {
    static const double ticksPerMs = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / ticksPerMs;
}

// Rows go to stdout byte for byte: no CR added before LF.
inline void UseBinaryStdout() { _setmode(_fileno(stdout), _O_BINARY); }

[[noreturn]] inline void Fail(const char* format, ...) {
    std::fprintf(stderr, "bench: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    ::ExitProcess(1);
}

inline std::string Narrow(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                          nullptr, nullptr);
    return out;
}

// -1 when the file is missing.
inline long long FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

inline std::string ReadAll(const std::wstring& path) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot open %s", Narrow(path).c_str());
    std::string bytes(static_cast<size_t>(::GetFileSize(file, nullptr)), '\0');
    DWORD got = 0;
    const BOOL ok = ::ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    ::CloseHandle(file);
    if (!ok || got != bytes.size()) Fail("cannot read %s", Narrow(path).c_str());
    return bytes;
}

inline void WriteAll(const std::wstring& path, const std::string& bytes) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot create %s", Narrow(path).c_str());
    DWORD done = 0;
    const BOOL ok =
        ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
    ::CloseHandle(file);
    if (!ok || done != bytes.size()) Fail("cannot write %s", Narrow(path).c_str());
}

// The names of the files directly in `folder` (ending in "\"), in the order
// the file system lists them, which is the order the program copies them in.
inline std::vector<std::wstring> FilesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.emplace_back(entry.cFileName);
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return names;
}

// Removes the files of `folder` (ending in "\") and the folder itself.
inline void RemoveFolder(const std::wstring& folder) {
    for (const std::wstring& name : FilesIn(folder)) ::DeleteFileW((folder + name).c_str());
    ::RemoveDirectoryW(folder.c_str());
}

struct Summary {
    double median = 0, min = 0, max = 0;
};

inline Summary Summarize(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {median, v.front(), v.back()};
}

inline std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, v >= 100 ? "%.0f" : v >= 10 ? "%.1f" : "%.2f", v);
    return text;
}

inline std::string Describe(const Summary& s) {
    return Number(s.median) + " (" + Number(s.min) + "–" + Number(s.max) + ")";
}

// One measured thing and its samples, in run order.
struct Side {
    Side(std::string n) : name(std::move(n)) {}
    std::string name;
    std::vector<double> samples;
};

enum class Compare { Ratio, Difference };

// Prints one row: each side's median (min–max), then the median (min–max) of
// the run-by-run ratios A/B (or differences A−B), which cancels the drift
// that affects both sides of a pair alike, and whether that median is within
// `limit` (no verdict without a target).
inline void PrintRow(const std::string& what, const Side& a, const Side& b, Compare compare,
                     double limit, const std::string& target) {
    std::vector<double> paired;
    for (size_t i = 0; i < std::min(a.samples.size(), b.samples.size()); ++i) {
        paired.push_back(compare == Compare::Ratio ? a.samples[i] / b.samples[i]
                                                   : a.samples[i] - b.samples[i]);
    }
    const Summary p = Summarize(paired);
    const std::string comparison =
        compare == Compare::Ratio
            ? Number(p.median) + "× (" + Number(p.min) + "–" + Number(p.max) + ")"
            : Describe(p);
    const char* result = target.empty() ? "—" : p.median <= limit ? "met" : "**missed**";
    std::printf("| %s | %s: %s | %s: %s | %s | %s | %s |\n", what.c_str(), a.name.c_str(),
                Describe(Summarize(a.samples)).c_str(), b.name.c_str(),
                Describe(Summarize(b.samples)).c_str(), comparison.c_str(),
                target.empty() ? "—" : target.c_str(), result);
    std::fflush(stdout);
}

}  // namespace bench
