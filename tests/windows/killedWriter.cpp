// Ends its own process halfway through writing the file named by its argument, as a user ending
// the program from the Task Manager would.
#include "platform/fileSystem.h"

#include <windows.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2)
        return 2;
    (void)twinframe::writeFileAtomically(argv[1], [](twinframe::NativeFile file) {
        (void)twinframe::writeAll(file, reinterpret_cast<const std::uint8_t*>("half an image"), 13);
        std::fputs("writing\n", stdout);
        std::fflush(stdout);
        ::TerminateProcess(::GetCurrentProcess(), 9);
        return std::error_code{};
    });
    return 0;
}
