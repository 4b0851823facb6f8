#include "menu_file.h"

#include <new>
#include <stdexcept>

#include "file_ops.h"
#include "replacing_writer.h"
#include "menu_text.h"

namespace menu {

namespace {

// Gathers the transform's small pieces into few large writes; large pieces
// (runs of unchanged lines) go to the file straight from the text read.
class BufferedSink {
public:
    explicit BufferedSink(fileio::ReplacingWriter& out) : out_(out) { buffer_.reserve(kSize); }
    void Put(std::string_view piece) {
        if (buffer_.size() + piece.size() > kSize) Flush();
        if (piece.size() >= kSize) {
            if (error_ == ERROR_SUCCESS) error_ = out_.Write(piece);
        } else {
            buffer_.append(piece);
        }
    }
    DWORD Finish() {
        Flush();
        return error_;
    }

private:
    void Flush() {
        if (error_ == ERROR_SUCCESS && !buffer_.empty()) error_ = out_.Write(buffer_);
        buffer_.clear();
    }
    static constexpr size_t kSize = 64u << 10;
    fileio::ReplacingWriter& out_;
    std::string buffer_;
    DWORD error_ = ERROR_SUCCESS;
};

// Writes what produce(emit) emits as the new content of `target`, replacing
// it in one step; nothing is replaced when produce returns false.
template <typename Produce>
DWORD WriteProduced(const std::wstring& target, fileio::Waiter& waiter, Produce produce) {
    fileio::ReplacingWriter writer(target, waiter);
    if (const DWORD error = writer.Open()) return error;
    BufferedSink sink(writer);
    const bool changed = produce([&](std::string_view piece) { sink.Put(piece); });
    if (const DWORD error = sink.Finish()) return error;
    return changed ? writer.Commit() : ERROR_SUCCESS;
}

DWORD AddToCopy(const std::wstring& appDir, const std::wstring& fileName, fileio::Waiter& waiter) {
    std::string original;
    if (const DWORD error = fileio::ReadWholeFile(fileName, original)) return error;
    return WriteProduced(PatchedCopyPath(appDir), waiter, [&](auto emit) {
        EmitAdded(original, emit);
        return true;
    });
}

// Removes the item from `fileName`. When that file is missing it is rebuilt
// from the patched copy in `appDir`, unless there is none to rebuild from.
DWORD DelFromMenu(const std::wstring* appDir, const std::wstring& fileName, fileio::Waiter& waiter) {
    std::string current;
    const DWORD error = fileio::ReadWholeFile(fileName, current);
    if (error == ERROR_SUCCESS) {
        // A file without the item is left exactly as it is, line ends and all.
        if (current.find(kMenuLine) == std::string::npos) return ERROR_SUCCESS;
        return WriteProduced(fileName, waiter, [&](auto emit) { return EmitRemoved(current, emit) > 0; });
    }
    if (!fileio::IsMissingPathError(error)) return error;
    if (!appDir) return ERROR_SUCCESS;

    std::string patched;
    if (const DWORD copyError = fileio::ReadWholeFile(PatchedCopyPath(*appDir), patched))
        return copyError;
    return WriteProduced(fileName, waiter, [&](auto emit) {
        EmitRemoved(patched, emit);
        return true;
    });
}

// A menu too large for this 32-bit process's memory is a failure like any
// other, never an exception escaping into the window.
template <typename Body>
DWORD WithoutExceptions(Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    } catch (const std::length_error&) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

}  // namespace

std::wstring PatchedCopyPath(const std::wstring& appDir) { return appDir + L"\\acad.mns"; }

DWORD MenuAdd(const std::wstring& appDir, const std::wstring& fileName, fileio::Waiter& waiter) {
    return WithoutExceptions([&] { return AddToCopy(appDir, fileName, waiter); });
}

DWORD PatchedSize(const std::wstring& fileName, uint64_t& size) {
    return WithoutExceptions([&] {
        std::string original;
        if (const DWORD error = fileio::ReadWholeFile(fileName, original)) return error;
        size = 0;
        EmitAdded(original, [&](std::string_view piece) { size += piece.size(); });
        return static_cast<DWORD>(ERROR_SUCCESS);
    });
}

DWORD MenuDel(const std::wstring& appDir, const std::wstring& fileName, fileio::Waiter& waiter) {
    return WithoutExceptions([&] { return DelFromMenu(&appDir, fileName, waiter); });
}

DWORD MenuItemRemove(const std::wstring& fileName, fileio::Waiter& waiter) {
    return WithoutExceptions([&] { return DelFromMenu(nullptr, fileName, waiter); });
}

}  // namespace menu
