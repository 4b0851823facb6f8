// Every text the procedures show or pass to the window.
#pragma once

#include <cstddef>

namespace deploy::text {

inline constexpr wchar_t kAskForAcadExe[] = L"请指定AutoCAD 的安装路径，并打开acad.exe文件";
inline constexpr wchar_t kExeFilter[] = L"可执行文件（acad.exe）(*.exe)|*.exe";
inline constexpr wchar_t kImportDone[] = L"导入完成！";
inline constexpr wchar_t kExportDone[] = L"导出完成！";

// Only AutoCAD LT was found, whose folder follows the first line: it runs no
// VBA. The user is then asked for acad.exe as ever.
inline constexpr wchar_t kLtOnly[] = L"这台电脑上只找到了AutoCAD LT：\r\n";
inline constexpr wchar_t kLtHasNoVba[] =
    L"\r\nAutoCAD LT不支持VBA，无法运行Tesmora。Tesmora需要完整版的AutoCAD（acad.exe）。";

// The folder picked is AutoCAD LT's; the folder follows, then kLtHasNoVba.
inline constexpr wchar_t kPickedLt[] = L"所选的是AutoCAD LT：\r\n";

// Nobody is there to ask where AutoCAD is, and no folder holds acad.exe.
inline constexpr wchar_t kNoCadFound[] = L"没有找到AutoCAD（没有含有acad.exe的文件夹）。\r\n没有更改任何文件。";

// A folder named to be served holds no acad.exe; the folder follows.
inline constexpr wchar_t kNotAutoCad[] = L"指定的文件夹中没有AutoCAD的程序文件acad.exe：\r\n";
inline constexpr wchar_t kNothingChanged[] = L"\r\n没有更改任何文件。";

// Where several AutoCADs are served, a message about one of them begins
// with its name and folder.
inline constexpr wchar_t kAboutCad[] = L"以下内容针对：";

// For a log: whose profile's menus the install changed. The account's name
// and profile folder go between the first text and either of the others.
inline constexpr wchar_t kProfileOf[] = L"Windows用户 ";
inline constexpr wchar_t kProfileMenusChanged[] =
    L" 的用户配置文件中，以下菜单文件已加入Tesmora菜单项：\r\n";
inline constexpr wchar_t kProfileMenusNotChanged[] =
    L" 的用户配置文件中有AutoCAD的菜单文件，但菜单项没能加入（原因见上一条）。";
inline constexpr wchar_t kNoProfileMenu[] =
    L" 的用户配置文件中没有找到AutoCAD的菜单文件，没有更改其中的菜单。";

// The uninstall's answers when it has no usable install record.
inline constexpr wchar_t kNothingRemoved[] = L"没有删除任何文件。";
inline constexpr wchar_t kRecordMissing[] =
    L"未找到安装记录文件INFOFILE，无法确定AutoCAD的安装位置。\r\n";
inline constexpr wchar_t kRecordUnreadable[] = L"安装记录文件INFOFILE无法读取，或其中的文字无效。\r\n";
inline constexpr wchar_t kRecordInvalid[] =
    L"安装记录文件INFOFILE中没有有效的AutoCAD安装路径。\r\n";
inline constexpr wchar_t kRecordFolderGone[] = L"安装记录中的AutoCAD文件夹已不存在：\r\n";

// AutoCAD must be closed before its files can be replaced; the path of the
// running acad.exe follows the first line.
inline constexpr wchar_t kCadRunning[] = L"AutoCAD正在运行：\r\n";
inline constexpr wchar_t kCloseCadFirst[] =
    L"\r\n请先关闭AutoCAD，然后重新运行本程序。\r\n没有更改任何文件。";

// The install could not put the menu item into AutoCAD's menu file; the
// file's path and one of the reasons follow the first line.
inline constexpr wchar_t kMenuNotAdded[] = L"Tesmora菜单项没有加入AutoCAD的菜单文件：\r\n";
inline constexpr wchar_t kMenuNotFound[] = L"\r\n找不到这个文件。";
inline constexpr wchar_t kMenuUnreadable[] = L"\r\n无法读取这个文件。";
inline constexpr wchar_t kMenuTooLarge[] = L"\r\n这个文件太大，无法读取。";
inline constexpr wchar_t kMenuCopyUnwritable[] = L"\r\n无法在程序文件夹中写入它的副本acad.mns。";
inline constexpr wchar_t kMenuUnwritable[] = L"\r\n无法写入这个文件。";
inline constexpr wchar_t kMenuNotXml[] = L"\r\n这个文件不是完整的XML文件（可能已被截断或损坏）。";
inline constexpr wchar_t kMenuNoAcadGroup[] = L"\r\n这个文件中没有AutoCAD自己的菜单组ACAD。";
inline constexpr wchar_t kMenuNoDraw[] = L"\r\n这个文件中没有“绘图”菜单（ID_MnDraw）。";
inline constexpr wchar_t kMenuUidInUse[] =
    L"\r\n这个文件已把Tesmora菜单项的标识（ID_TSDRAW、PMIU_TSDRAW、XLS_TSDRAW_1或XLS_TSDRAW_2）用于别的项目。";
inline constexpr wchar_t kMenuUnchangeable[] =
    L"\r\n这个文件的“绘图”菜单或宏组的写法无法在不改动其他内容的情况下加入菜单项。";
inline constexpr wchar_t kMenuNotPackage[] =
    L"\r\n这个文件不是可以读取的自定义文件包（zip），或者已经损坏。";
inline constexpr wchar_t kMenuNoParts[] = L"\r\n这个文件包中没有MenuGroup.cui或PopMenuRoot.cui。";

// No menu of this AutoCAD was found: the places looked follow the first
// line, then what the user can do about it.
inline constexpr wchar_t kNoMenuFound[] =
    L"Tesmora菜单项没有加入AutoCAD的菜单：在以下位置没有找到这个AutoCAD的菜单文件"
    L"（acad.mns、acad.cui或acad.cuix）。\r\n";
inline constexpr wchar_t kNoMenuAdvice[] =
    L"如果这是AutoCAD 2004或更新的版本：请以现在的Windows用户身份启动一次AutoCAD，然后关闭它，"
    L"再重新运行本程序，点击“导入CAD”。\r\n"
    L"无论哪种情况，都";
// Two or more profile folders could be this AutoCAD's; they follow.
inline constexpr wchar_t kMenuRivals[] =
    L"以下用户配置文件夹都可能属于这个AutoCAD，无法确定是哪一个，所以其中的菜单都没有更改：\r\n";
// How Tesmora starts without its menu item: the item's own command.
inline constexpr wchar_t kStartWithoutMenu[] =
    L"可以这样启动Tesmora：在AutoCAD的命令行输入 -VBARUN 并按回车，再输入 Ts_main.Ts_main 并按回车。";
inline constexpr wchar_t kWhereNoItem[] = L"没有这个菜单项时，也";

// The install cannot write its record and menu copy in the program folder
// (read-only media, or no permission); the folder's path follows the first
// line. Said before anything is changed.
inline constexpr wchar_t kProgramFolderUnwritable[] =
    L"无法写入程序所在的文件夹（它可能位于光盘等只读介质上，或者你没有写入它的权限）：\r\n";
inline constexpr wchar_t kCopyProgramFolder[] =
    L"\r\n请把整个程序文件夹（连同其中的data文件夹）复制到一个可以写入的文件夹，"
    L"然后从那里运行本程序。\r\n没有更改任何文件。";

// A drive has too little room for the install: said before anything is
// changed, one line for each such drive (its name, what the add-on needs
// there, what is free).
inline constexpr wchar_t kNoRoom[] = L"磁盘空间不足，无法安装Tesmora：\r\n";
inline constexpr wchar_t kDrive[] = L"驱动器 ";
inline constexpr wchar_t kNeeds[] = L" 需要 ";
inline constexpr wchar_t kAvailable[] = L" MB，可用 ";
inline constexpr wchar_t kMegabytesEnd[] = L" MB。\r\n";
inline constexpr wchar_t kNoRoomNothingChanged[] =
    L"没有更改任何文件。\r\n请释放磁盘空间，然后重新运行本程序。";

// A drive filled up while the install ran: it stopped, left AutoCAD's menu
// alone and took back what it had done. The drive's name goes between the
// first two texts; what is left of the add-on, if anything, follows.
inline constexpr wchar_t kDiskFilled[] = L"安装过程中驱动器 ";
inline constexpr wchar_t kDiskFilledStopped[] =
    L" 的空间已满，安装已停止，AutoCAD的菜单没有更改。\r\n";
inline constexpr wchar_t kAllTakenBack[] =
    L"本次安装所做的更改已全部撤销，AutoCAD保持安装前的状态。\r\n";
inline constexpr wchar_t kPartLeft[] =
    L"本次安装新复制的文件已删除，但以下Tesmora文件仍在，可以用“导出CAD”删除：\r\n";
inline constexpr wchar_t kFreeSpaceAndRetry[] = L"请释放磁盘空间，然后重新运行本程序。";

// The uninstall's list of files it could not delete or give back; at most
// kMaxListed paths, then how many more.
inline constexpr wchar_t kNotRemoved[] =
    L"以下文件无法删除或恢复（可能正被其他程序使用，或是只读文件）：\r\n";
inline constexpr wchar_t kMoreNotRemovedBefore[] = L"……另有";
inline constexpr wchar_t kMoreNotRemovedAfter[] = L"个文件。";
inline constexpr size_t kMaxListed = 10;

// A procedure stopped by something it could not handle (memory ran out).
inline constexpr wchar_t kInterrupted[] =
    L"操作因内存不足而中断，没有全部完成。请关闭其他程序后重试。";

}  // namespace deploy::text
