// The program's command line: the window by default, or an install or
// uninstall without it for administrators' scripts. Free of Windows, so that
// it is tested natively.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace app {

// What the command line asks for.
enum class Action {
    Window,     // no arguments: the window, as ever
    Install,    // /install: what "导入CAD" does, without the window
    Uninstall,  // /uninstall: what "导出CAD" does, without the window
    Usage,      // /?: the switches, in a message box
    Invalid,    // anything else: nothing is done
};

struct CommandLine {
    Action action = Action::Window;
    // /log's file as given; "" for the default.
    std::wstring log;
    // /dir's folders as given, in order.
    std::vector<std::wstring> dirs;
};

// The exit code of a command line that is not understood (ERROR_INVALID_PARAMETER).
inline constexpr int kExitInvalidCommandLine = 87;

// What /? shows.
inline constexpr wchar_t kUsage[] =
    L"TsSetup /install [/dir \"AutoCAD文件夹\" ...] [/log 日志文件]\r\n"
    L"TsSetup /uninstall [/log 日志文件]\r\n"
    L"\r\n"
    L"/install\t不显示窗口，执行“导入CAD”：为找到的每个AutoCAD安装Tesmora。\r\n"
    L"/uninstall\t不显示窗口，执行“导出CAD”。\r\n"
    L"/dir\t只为这个AutoCAD文件夹安装，可以给出多次。\r\n"
    L"/log\t把本程序的提示写入这个文件（默认：临时文件夹中的TsSetup.log）。\r\n"
    L"\r\n"
    L"退出代码：\r\n"
    L"0\t完成\r\n"
    L"1\t完成，但有文件无法复制或删除\r\n"
    L"2\tAutoCAD正在运行，没有更改\r\n"
    L"3\t没有找到AutoCAD，没有更改\r\n"
    L"4\t磁盘空间不足\r\n"
    L"5\t本程序已在运行\r\n"
    L"6\t因其他原因停止，没有更改\r\n"
    L"87\t命令行无效";

// The arguments of `line` (a command line without the program's name, as
// wWinMain gets it), split as CommandLineToArgvW splits those after the
// name: white space outside quotes separates, 2n backslashes before a quote
// are n and the quote opens or closes, 2n+1 are n and a literal quote, other
// backslashes are themselves, and a quote right after a closing one is a
// literal quote.
std::vector<std::wstring> SplitArguments(std::wstring_view line);

// The switches of `line`, with "/" or "-" and in any case: /install or
// /uninstall, /dir <folder> (repeatable, install only), /log <file>; /?
// anywhere is Usage. Invalid: an unknown switch or argument, /dir or /log
// without a value (an argument beginning with "/" or "-" is none), /log twice,
// both or neither of /install and /uninstall, /dir with /uninstall.
CommandLine ParseCommandLine(std::wstring_view line);

}  // namespace app
