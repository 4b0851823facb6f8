// Works TsSetup.exe for the power-cut test (tests/e2e/power_cuts.sh), which
// cuts the power from Linux:
//   power_driver FOLDER import|export MS        clicks, waits MS milliseconds
//   power_driver FOLDER import|export box       clicks, waits for the final message
//   power_driver FOLDER import|export complete  clicks, answers the final message
//   power_driver FOLDER import|export =PATH     clicks, waits for the file PATH to appear
// "import-all" clicks the install as "import" does and then takes every
// AutoCAD its choice offers; the moments count from there.
// FOLDER holds TsSetup.exe. In the first two forms and the last the driver then ends the
// program where it stands, prints "cut now" and waits to be ended with the
// rest of Wine: the test stops Wine and drops every unflushed byte. In the
// last it prints "complete MS" once the program has ended, MS being the
// milliseconds from the click to the final message. Anything else it prints
// is a failure, and it then exits with 1.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app_driver.h"

using namespace e2e;

namespace {

std::string Utf8(const std::wstring& text) {
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                                        nullptr, 0, nullptr, nullptr);
    std::string bytes(n > 0 ? n : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()),
                              bytes.data(), n, nullptr, nullptr);
    return bytes;
}

// The Linux side reads this as soon as it is printed.
void Say(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

int Fail(const std::string& why) {
    Say("power_driver: " + why);
    return 1;
}

// The final message, read off its box; the box stays up.
bool FinalMessageUp(const App& app, const std::wstring& done, HWND& box) {
    box = app.WaitDialog();
    const std::wstring text = box ? WindowText(::GetDlgItem(box, 0xFFFF)) : L"<no message box>";
    if (text == done) return true;
    Fail("the message box says \"" + Utf8(text) + "\" where \"" + Utf8(done) + "\" was expected");
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return Fail("usage: power_driver FOLDER import|export MS|box|complete");
    const std::wstring folder = argv[1], button = argv[2], moment = argv[3];
    const bool choice = button == L"import-all";
    const bool install = choice || button == L"import";
    if (!install && button != L"export") return Fail("the button is import, import-all or export");
    const std::wstring done = install ? L"导入完成！" : L"导出完成！";

    App app(folder);
    if (!app.Main()) return Fail("the window of TsSetup.exe did not appear");
    app.Click(install ? kImport : kExport);
    if (choice) {
        HWND dialog = app.WaitDialog();
        if (!dialog || WindowText(dialog) != L"选择AutoCAD") return Fail("the choice of AutoCADs did not come");
        App::CloseDialog(dialog, IDOK);
    }
    const DWORD start = ::GetTickCount();
    HWND box = nullptr;
    if (moment == L"complete") {
        if (!FinalMessageUp(app, done, box)) return 1;
        const DWORD length = ::GetTickCount() - start;
        App::CloseDialog(box, IDOK);
        if (const int code = app.WaitExit(); code != 0)
            return Fail("TsSetup.exe ended with " + std::to_string(code) + " after its message");
        Say("complete " + std::to_string(length));
        return 0;
    }
    if (moment == L"box") {
        if (!FinalMessageUp(app, done, box)) return 1;
    } else if (moment[0] == L'=') {
        const std::wstring path = moment.substr(1);
        while (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
            if (::GetTickCount() - start > 60000) return Fail("the file " + Utf8(path) + " did not appear");
            ::Sleep(1);
        }
    } else {
        ::Sleep(static_cast<DWORD>(std::wcstoul(moment.c_str(), nullptr, 10)));
    }
    // Ended here rather than by the test: stopping all of Wine takes over a
    // second, time enough for an install to finish.
    app.Kill();
    Say("cut now");
    ::Sleep(INFINITE);
    return 0;
}
