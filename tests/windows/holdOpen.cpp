// Holds the file named by its first argument open without sharing it, as a viewer or an editor
// may, until the file named by its second argument is gone; makes that second file once it holds
// the first, so that a test knows when to begin.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 3)
        return 2;
    const HANDLE held = ::CreateFileW(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE)
        return 1;
    const HANDLE marker = ::CreateFileW(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                        nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE)
        return 1;
    ::CloseHandle(marker);
    for (int waited = 0; waited < 3000 && ::GetFileAttributesW(argv[2]) != INVALID_FILE_ATTRIBUTES;
         ++waited)
        ::Sleep(10);
    ::CloseHandle(held);
    return 0;
}
