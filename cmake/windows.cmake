# The Windows build: the file helpers and procedures, the program, and the
# tests that run under Wine.
set(ts_win_defs UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# Small, self-contained executables: unused code is dropped at link time and
# release builds are stripped.
# -fno-ipa-sra: the string and container helpers each file uses are then
# the shared, named ones; its specialised clones were local to each file, a
# copy in every one (5 KB in all).
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG -fno-ipa-sra")
add_compile_options(-ffunction-sections -fdata-sections)
add_link_options(-Wl,--gc-sections $<$<CONFIG:Release>:-s>)

# The same sources give the same bytes in any folder on any day: no link time
# in the PE header, and in a release build no source or build folder in the
# code (__FILE__); files are named from the top of the sources, or of the
# build for the files configured there. scripts/test.sh builds the shipped
# program a second time elsewhere and compares.
add_link_options(-Wl,--no-insert-timestamp)
add_compile_options(
  "$<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
  "$<$<AND:$<CONFIG:Release>,$<COMPILE_LANGUAGE:C,CXX>>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")

add_library(ts_fileops STATIC
  src/fileops/encoding.cpp
  src/fileops/file_ops.cpp
  src/fileops/replacing_writer.cpp
  src/fileops/side_files.cpp
  src/fileops/waits.cpp
  src/fileops/write_batch.cpp
  src/fileops/module1.cpp)
target_include_directories(ts_fileops PUBLIC src/fileops)
target_compile_definitions(ts_fileops PUBLIC ${ts_win_defs})
target_link_libraries(ts_fileops PUBLIC ts_portable)

# The menu files of each AutoCAD, one kind a file, over the file helpers.
add_library(ts_menus STATIC
  src/menus/menu_file.cpp
  src/menus/mns_menu.cpp
  src/menus/cui_menu.cpp
  src/menus/cuix_menu.cpp)
target_include_directories(ts_menus PUBLIC src/menus)
target_link_libraries(ts_menus PUBLIC ts_fileops ts_zip)

# zlib for the .cuix packages, linked statically from Debian's
# libz-mingw-w64-dev (libz.a, not the import library of its DLL).
find_path(ts_zlib_include zlib.h REQUIRED)
find_library(ts_zlib_static NAMES libz.a REQUIRED)
target_include_directories(ts_zip PRIVATE ${ts_zlib_include})
target_link_libraries(ts_zip PUBLIC ${ts_zlib_static})

add_library(ts_deploy STATIC
  src/deploy/folders.cpp
  src/deploy/cad_find.cpp
  src/deploy/install_record.cpp
  src/deploy/reports.cpp
  src/deploy/running.cpp
  src/deploy/disk_space.cpp
  src/deploy/take_back.cpp
  src/deploy/install_plan.cpp
  src/deploy/owned_files.cpp
  src/deploy/menu_step.cpp
  src/deploy/removal.cpp
  src/deploy/cad_menus.cpp
  src/deploy/cad_import.cpp
  src/deploy/cad_export.cpp)
target_include_directories(ts_deploy PUBLIC src/deploy)
target_link_libraries(ts_deploy PUBLIC ts_menus)

# The manifest names the architecture of the build it goes into.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ts_manifest_arch amd64)
else()
  set(ts_manifest_arch x86)
endif()
configure_file(src/app/TsSetup.manifest.in ${CMAKE_CURRENT_BINARY_DIR}/app/TsSetup.manifest @ONLY)

add_executable(TsSetup WIN32
  src/app/main.cpp
  src/app/command_line.cpp
  src/app/log_host.cpp
  src/app/terminate.cpp
  src/app/form1.cpp
  src/app/choose_cads.cpp
  src/app/dpi.cpp
  src/app/resources.rc)
target_include_directories(TsSetup PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/app)
target_link_libraries(TsSetup PRIVATE ts_deploy comctl32 gdi32 user32)
target_link_options(TsSetup PRIVATE -municode -mwindows -static)

# Stands for a running AutoCAD in the tests, copied as acad.exe.
add_executable(stand_in WIN32 tests/e2e/stand_in.cpp tests/e2e/stand_in.rc)
target_link_options(stand_in PRIVATE -municode -mwindows -static)

# GoogleTest, built for Windows from the Debian sources.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# The Windows threads model has no std::mutex, which GoogleTest's
# Notification uses; a Win32 one replaces it.
target_compile_options(gtest PUBLIC
  "SHELL:-include ${CMAKE_CURRENT_SOURCE_DIR}/tests/win/gtest_notification.h")
include(GoogleTest)

# The tests' helpers (temporary folders, the stand-in, the recording host),
# compiled once for the three test programs that use them.
add_library(ts_test_support OBJECT tests/win/temp_dir.cpp)
target_include_directories(ts_test_support PUBLIC tests/win)
target_link_libraries(ts_test_support PUBLIC ts_deploy gtest)

add_executable(win_tests
  tests/win/fileops_test.cpp
  tests/win/menu_file_test.cpp
  tests/win/install_test.cpp
  tests/win/uninstall_test.cpp
  tests/win/bad_input_test.cpp
  tests/win/truth_test.cpp
  tests/win/keep_test.cpp
  tests/win/held_test.cpp
  tests/win/profile_menu_test.cpp
  tests/win/upgrade_test.cpp
  tests/win/several_cads_test.cpp)
target_include_directories(win_tests PRIVATE tests/win)
target_link_libraries(win_tests PRIVATE ts_test_support ts_deploy gtest_main)
target_link_options(win_tests PRIVATE -static)
add_dependencies(win_tests stand_in)
# Wine's drive Z: is the Linux root.
get_filename_component(ts_shared_menus "${CMAKE_CURRENT_SOURCE_DIR}/../shared/menus" ABSOLUTE)
target_compile_definitions(win_tests PRIVATE TS_SHARED_MENUS="Z:${ts_shared_menus}")
gtest_discover_tests(win_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)

# Presses a key in the window in front; scripts/pictures.sh uses it.
add_executable(press_key tests/e2e/press_key.cpp)
target_compile_definitions(press_key PRIVATE ${ts_win_defs})
target_link_options(press_key PRIVATE -municode -static)

# Acts as a real-time virus scanner in the end-to-end tests.
add_executable(scanner tests/e2e/scanner.cpp)
target_compile_definitions(scanner PRIVATE ${ts_win_defs})
target_link_options(scanner PRIVATE -municode -static)

# The end-to-end driver of the real program; run by tests/e2e/run_e2e.sh.
add_executable(e2e_driver tests/e2e/driver.cpp)
target_include_directories(e2e_driver PRIVATE tests/win)
target_link_libraries(e2e_driver PRIVATE ts_test_support ts_deploy gtest_main gdi32 user32 oleacc oleaut32 ole32)
target_link_options(e2e_driver PRIVATE -static)
add_dependencies(e2e_driver stand_in scanner)
get_filename_component(ts_shared_cui "${CMAKE_CURRENT_SOURCE_DIR}/../shared/cui" ABSOLUTE)
target_compile_definitions(e2e_driver PRIVATE TS_SHARED_MENUS="Z:${ts_shared_menus}"
                                              TS_SHARED_CUI="Z:${ts_shared_cui}")
add_test(NAME end_to_end
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/run_e2e.sh
          $<TARGET_FILE:TsSetup> $<TARGET_FILE:e2e_driver> ${CMAKE_BINARY_DIR})
set_tests_properties(end_to_end PROPERTIES TIMEOUT 600 ENVIRONMENT "TS_E2E_HIGH_DPI=1;TS_E2E_XP=1" COST 180)

# The program without its window: /install and /uninstall from a command
# line, their log and their exit codes.
add_test(NAME command_line
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/cli_test.sh
          $<TARGET_FILE:TsSetup> $<TARGET_FILE:stand_in>)
set_tests_properties(command_line PROPERTIES TIMEOUT 300)

# A signed copy of the program that ships (scripts/sign.sh, with a throwaway
# certificate) verifies and starts its window. The 64-bit build's tests sign
# the 32-bit program of build/win too, and start a signed copy of their own.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(ts_shipped ${CMAKE_SOURCE_DIR}/build/win/TsSetup.exe)
else()
  set(ts_shipped $<TARGET_FILE:TsSetup>)
endif()
add_test(NAME signed_copy
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/signed_copy.sh
          ${ts_shipped} $<TARGET_FILE:TsSetup> $<TARGET_FILE:e2e_driver> ${CMAKE_BINARY_DIR})

# Benchmarks of the program against the platform's own copy (built always,
# run by scripts/bench.sh).
include(cmake/bench.cmake OPTIONAL)

# Kills the program at random moments; run by tests/e2e/run_e2e.sh.
add_executable(kill_test tests/e2e/kill_test.cpp)
target_include_directories(kill_test PRIVATE tests/win)
target_link_libraries(kill_test PRIVATE ts_test_support ts_deploy gtest_main user32)
target_link_options(kill_test PRIVATE -static)
target_compile_definitions(kill_test PRIVATE TS_SHARED_CUI="Z:${ts_shared_cui}")
add_dependencies(kill_test stand_in)
add_test(NAME kills
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/run_e2e.sh
          $<TARGET_FILE:TsSetup> $<TARGET_FILE:kill_test> ${CMAKE_BINARY_DIR})
# Six kills a case here; scripts/kills.sh runs as many as asked.
set_tests_properties(kills PROPERTIES TIMEOUT 1200 ENVIRONMENT TS_KILLS=6 COST 200)

# Cuts the power at random moments of an install and an uninstall on a LazyFS
# drive; run by tests/e2e/power_cuts.sh, which skips (77) where LazyFS or FUSE
# cannot be had.
add_executable(power_driver tests/e2e/power_driver.cpp)
target_link_libraries(power_driver PRIVATE ts_fileops gtest user32)
target_link_options(power_driver PRIVATE -municode -static)
add_test(NAME power_cuts
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/e2e/power_cuts.sh
          $<TARGET_FILE:TsSetup> $<TARGET_FILE:power_driver>)
# The long tests start first, so that the short ones fill the gaps beside them.
set_tests_properties(power_cuts PROPERTIES TIMEOUT 600 SKIP_RETURN_CODE 77 COST 190)
