# What both MinGW-w64 toolchain files share; each sets ts_mingw_triple and
# CMAKE_SYSTEM_PROCESSOR first. Posix thread model, which GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${ts_mingw_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ts_mingw_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${ts_mingw_triple}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ts_mingw_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
