# The 64-bit Windows build of the same sources and tests, for machines that
# can run only 64-bit Wine. It is never shipped. Test executables run through
# the 64-bit Wine loader, called directly.
set(ts_mingw_triple x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine64/wine)
