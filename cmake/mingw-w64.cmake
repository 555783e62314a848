# Cross-builds Twinframe for 64-bit Windows with Debian's MinGW-w64 (the posix thread model, which
# std::thread needs). Everything is linked statically, so each .exe runs without a DLL beside it.
#   cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
#         -DTWINFRAME_GUI=OFF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TWINFRAME_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TWINFRAME_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TWINFRAME_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TWINFRAME_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TWINFRAME_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No libgcc, libstdc++ or winpthread DLL to ship: the runtime goes into each executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# Windows 10 (1607) is the oldest these programs run on (the window calls its per-monitor dpi
# functions): the PE header says so, so that an older Windows refuses them with its own message
# rather than failing at an import.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT
       " -Wl,--major-subsystem-version,10,--minor-subsystem-version,0"
       " -Wl,--major-os-version,10,--minor-os-version,0")
# Unicode Win32 calls throughout: the W functions, never the ANSI code page's.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)

# Tests and tools built here run under Wine on the build machine.
find_program(TWINFRAME_WINE NAMES wine wine64)
if(TWINFRAME_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${TWINFRAME_WINE})
endif()
