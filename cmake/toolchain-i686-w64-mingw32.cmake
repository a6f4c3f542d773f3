# The host's platform: 32-bit Windows. Tests run under Wine (the 32-bit loader).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QV_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
find_program(QV_WINE NAMES wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(CMAKE_CROSSCOMPILING_EMULATOR ${QV_WINE})
# Windows and hosts built by other compilers keep the stack aligned to 4 bytes only when
# they call us (exports, window procedures, exception handlers): assume no more, so that
# a function needing more alignment realigns its own frame.
set(CMAKE_C_FLAGS_INIT "-mincoming-stack-boundary=2")
set(CMAKE_CXX_FLAGS_INIT "-mincoming-stack-boundary=2")
