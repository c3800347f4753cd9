// The program's entry point and its message loop.
#include "app/App.h"
#include "app/resource.h"
#include "platform/Window.h"

int RunMessageLoop(HACCEL accel) {
    MSG msg;
    while (GetMessageW(&msg, NULL, 0, 0)) {
        // The accelerators apply to whichever of our windows the key was
        // meant for, so Ctrl+Q also works while the focus is on a child.
        if (!TranslateAcceleratorW(msg.hwnd, accel, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return (int)msg.wParam;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, WinMainCommandLine, int nCmdShow) {
    g_displayText.Assign(kIntroText);
    if (!InitInstance(hInstance, nCmdShow)) return 0;
    return RunMessageLoop(LoadAcceleratorsW(hInstance, MAKEINTRESOURCEW(IDR_ACCEL)));
}
