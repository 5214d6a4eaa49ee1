// desktopkeeper READY-FILE
//
// Started by wine-run with its output discarded when a prefix's server
// starts, it stays until the server stops. Wine starts its desktop process
// on demand for the first program that needs one, and that process inherits
// the program's standard error; it then outlives the program for as long as
// other programs keep using the desktop, and whoever waits for the end of
// that output (ctest, a shell's $(...)) waits with it. Started here, the
// desktop holds no one's output, and this program, as a user of the desktop,
// keeps it from closing between programs. READY-FILE is created once the
// desktop exists.
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR commandLine, int) {
    // The one argument, quoted by Wine where it holds a space.
    PWSTR readyFile = commandLine;
    if (readyFile[0] == L'"') {
        ++readyFile;
        readyFile[wcscspn(readyFile, L"\"")] = L'\0';
    }

    // A window of this thread makes the desktop start and counts as its use.
    HWND window = CreateWindowExW(0, L"STATIC", L"desktopkeeper", WS_POPUP, 0, 0, 1, 1, nullptr,
                                  nullptr, nullptr, nullptr);
    if (window == nullptr || GetDesktopWindow() == nullptr) {
        return 1;
    }
    HANDLE ready = CreateFileW(readyFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) {
        CloseHandle(ready);
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
    return 0;
}
