// A program that does nothing for two minutes, then ends: the tests copy it
// under the name acad.exe to stand for a running AutoCAD, and end it
// themselves when they are done.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    ::Sleep(120000);
    return 0;
}
