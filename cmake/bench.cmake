# The benchmark programs, run by scripts/bench.sh: the driver of the real
# program, the minimal Win32 program it is measured against, and the timing of
# the library's file operations.
add_executable(bench_floor WIN32 bench/floor.cpp)
target_compile_definitions(bench_floor PRIVATE ${ts_win_defs})
target_link_options(bench_floor PRIVATE -municode -mwindows -static)

add_executable(bench_driver bench/driver.cpp)
target_compile_definitions(bench_driver PRIVATE ${ts_win_defs})
target_link_libraries(bench_driver PRIVATE psapi user32)
target_link_options(bench_driver PRIVATE -municode -static)

add_executable(bench_fileops bench/fileops_bench.cpp)
target_link_libraries(bench_fileops PRIVATE ts_fileops)
target_link_options(bench_fileops PRIVATE -municode -static)

# A few seconds on a tiny payload with one run of each: fails only when a
# program does not build or an install cannot be driven to its end.
add_test(NAME bench_smoke
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/scripts/bench.sh --smoke --build-dir ${CMAKE_BINARY_DIR})
set_tests_properties(bench_smoke PROPERTIES TIMEOUT 600)
