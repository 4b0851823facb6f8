# The native build: the Windows-free code and its tests, under sanitizers.
find_package(ZLIB REQUIRED)
target_link_libraries(ts_zip PUBLIC ZLIB::ZLIB)
if(TS_SANITIZE)
  set(ts_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_compile_options(ts_portable PUBLIC ${ts_san})
  target_link_options(ts_portable PUBLIC ${ts_san})
endif()

if(TS_FUZZ)
  add_executable(menu_text_fuzz tests/fuzz/menu_text_fuzz.cpp)
  target_compile_options(menu_text_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(menu_text_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(menu_text_fuzz PRIVATE ts_portable)
  add_executable(cui_text_fuzz tests/fuzz/cui_text_fuzz.cpp)
  target_compile_options(cui_text_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(cui_text_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(cui_text_fuzz PRIVATE ts_portable)
  add_executable(cuix_package_fuzz tests/fuzz/cuix_package_fuzz.cpp)
  target_compile_options(cuix_package_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_options(cuix_package_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(cuix_package_fuzz PRIVATE ts_zip)
  # UBSan findings must stop the run like any other crash, not just be printed.
  target_compile_options(ts_portable PUBLIC -fsanitize=fuzzer-no-link,address,undefined
                                            -fno-sanitize-recover=all)
  # The instrumented library needs the sanitizer runtimes in anything else that
  # links it too (native_tests in this build tree), not just in the fuzzer.
  target_link_options(ts_portable PUBLIC -fsanitize=address,undefined)
endif()

find_package(GTest REQUIRED)
include(GoogleTest)
add_executable(native_tests
  tests/native/menu_text_test.cpp
  tests/native/cui_text_test.cpp
  tests/native/attributes_test.cpp
  tests/native/progress_test.cpp
  tests/native/long_path_test.cpp
  tests/native/cuix_package_test.cpp
  tests/native/command_line_test.cpp
  src/app/command_line.cpp)
target_link_libraries(native_tests PRIVATE ts_portable ts_zip GTest::gtest_main)
# The program's command line, which needs no Windows.
target_include_directories(native_tests PRIVATE src/app)
get_filename_component(ts_shared_menus "${CMAKE_CURRENT_SOURCE_DIR}/../shared/menus" ABSOLUTE)
get_filename_component(ts_shared_cui "${CMAKE_CURRENT_SOURCE_DIR}/../shared/cui" ABSOLUTE)
target_compile_definitions(native_tests PRIVATE TS_SHARED_MENUS="${ts_shared_menus}"
                                               TS_SHARED_CUI="${ts_shared_cui}"
                                               TS_BUILD_DIR="${CMAKE_BINARY_DIR}"
  TS_PACKAGE_CHECKER="${CMAKE_CURRENT_SOURCE_DIR}/tests/package_reader/check_packages.py")
gtest_discover_tests(native_tests DISCOVERY_MODE PRE_TEST)
