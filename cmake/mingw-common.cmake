# What both MinGW-w64 toolchain files share; each sets ts_mingw_triple and
# CMAKE_SYSTEM_PROCESSOR first. The Windows threads model: its runtime calls
# only what Windows XP has, where the posix model's libwinpthread imports
# GetTickCount64 (Vista), and it leaves winpthreads out of every program.
# It has no std::thread or std::mutex; the code uses Win32 threads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ts_mingw_triple}-gcc-win32)
set(CMAKE_CXX_COMPILER ${ts_mingw_triple}-g++-win32)
set(CMAKE_RC_COMPILER ${ts_mingw_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ts_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
