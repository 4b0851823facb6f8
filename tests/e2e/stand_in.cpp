// A program that does nothing for two minutes, then ends: the tests copy it
// under the name acad.exe to stand for a running AutoCAD, and end it
// themselves when they are done.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // It waits on its message queue, as a program waiting for input does:
    // WaitForInputIdle in whoever started it then returns as soon as it is
    // up, where for a program that never waits for input it takes its whole
    // timeout.
    const DWORD start = ::GetTickCount();
    for (DWORD waited = 0; waited < 120000; waited = ::GetTickCount() - start) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 120000 - waited, QS_ALLINPUT);
        MSG message;
        while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    return 0;
}
