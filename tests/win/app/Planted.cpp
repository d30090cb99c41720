// A DLL that lies beside the test program, as a planted one would beside tavelin.exe.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
