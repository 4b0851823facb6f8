// Presses and releases one key, given as a decimal virtual-key code, as a
// keyboard would: the window in front takes it. scripts/pictures.sh works
// the program's window and message boxes with it.
#include <windows.h>

#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    const WORD key = static_cast<WORD>(std::wcstoul(argv[1], nullptr, 10));
    INPUT inputs[2]{};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return ::SendInput(2, inputs, sizeof(INPUT)) == 2 ? 0 : 1;
}
