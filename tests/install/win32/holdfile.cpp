// pj-hold-file PATH SECONDS: opens PATH without sharing and keeps it open, so
// that a deletion fails meanwhile (the purger's locked-file case). Prints
// "holding" once the file is open.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: pj-hold-file PATH SECONDS\n", stderr);
        return 2;
    }
    HANDLE h = CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        std::fputs("cannot open\n", stderr);
        return 1;
    }
    std::puts("holding");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::wcstoul(argv[2], nullptr, 10) * 1000));
    CloseHandle(h);
    return 0;
}
