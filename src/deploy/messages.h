// Every text the procedures show or pass to the window.
#pragma once

namespace deploy::text {

inline constexpr wchar_t kAskForAcadExe[] = L"请指定AutoCAD 的安装路径，并打开acad.exe文件";
inline constexpr wchar_t kExeFilter[] = L"可执行文件（acad.exe）(*.exe)|*.exe";
inline constexpr wchar_t kImportDone[] = L"导入完成！";
inline constexpr wchar_t kExportDone[] = L"导出完成！";

// The uninstall's answers when it has no usable install record.
inline constexpr wchar_t kNothingRemoved[] = L"没有删除任何文件。";
inline constexpr wchar_t kRecordMissing[] =
    L"未找到安装记录文件INFOFILE，无法确定AutoCAD的安装位置。\r\n";
inline constexpr wchar_t kRecordUnreadable[] = L"安装记录文件INFOFILE无法读取，或其中的文字无效。\r\n";
inline constexpr wchar_t kRecordInvalid[] =
    L"安装记录文件INFOFILE中没有有效的AutoCAD安装路径。\r\n";
inline constexpr wchar_t kRecordFolderGone[] = L"安装记录中的AutoCAD文件夹已不存在：\r\n";

// A procedure stopped by something it could not handle (memory ran out).
inline constexpr wchar_t kInterrupted[] =
    L"操作因内存不足而中断，没有全部完成。请关闭其他程序后重试。";

}  // namespace deploy::text
