# The benchmark programs, run by scripts/bench.sh: the driver of the real
# program, the minimal Win32 programs it is measured against, and the timing
# of the library's file operations.
add_executable(bench_floor WIN32 bench/floor.cpp)
target_compile_definitions(bench_floor PRIVATE ${ts_win_defs})
target_link_options(bench_floor PRIVATE -municode -mwindows -static)

# TsSetup.exe's window and nothing else; its manifest names the build's
# architecture, as the program's does.
configure_file(bench/window_floor.manifest.in ${CMAKE_CURRENT_BINARY_DIR}/bench/window_floor.manifest
               @ONLY)
add_executable(bench_window WIN32 bench/window_floor.cpp bench/window_floor.rc)
target_include_directories(bench_window PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/bench
                                                ${CMAKE_CURRENT_SOURCE_DIR}/src/app)
target_compile_definitions(bench_window PRIVATE ${ts_win_defs})
target_link_libraries(bench_window PRIVATE comctl32 gdi32 user32)
target_link_options(bench_window PRIVATE -municode -mwindows -static)

add_executable(bench_driver bench/driver.cpp)
target_compile_definitions(bench_driver PRIVATE ${ts_win_defs})
target_link_libraries(bench_driver PRIVATE psapi user32)
target_link_options(bench_driver PRIVATE -municode -static)

add_executable(bench_fileops bench/fileops_bench.cpp)
target_link_libraries(bench_fileops PRIVATE ts_menus)
target_link_options(bench_fileops PRIVATE -municode -static)

# A few seconds on a tiny payload with one run of each: fails only when a
# program does not build or an install cannot be driven to its end.
add_test(NAME bench_smoke
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/bench.sh --smoke --build-dir ${CMAKE_BINARY_DIR})
set_tests_properties(bench_smoke PROPERTIES TIMEOUT 600)
