
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/tests/native/attributes_test.cpp" "CMakeFiles/native_tests.dir/tests/native/attributes_test.cpp.o" "gcc" "CMakeFiles/native_tests.dir/tests/native/attributes_test.cpp.o.d"
  "/work/main/tests/native/menu_text_test.cpp" "CMakeFiles/native_tests.dir/tests/native/menu_text_test.cpp.o" "gcc" "CMakeFiles/native_tests.dir/tests/native/menu_text_test.cpp.o.d"
  "/work/main/tests/native/progress_test.cpp" "CMakeFiles/native_tests.dir/tests/native/progress_test.cpp.o" "gcc" "CMakeFiles/native_tests.dir/tests/native/progress_test.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build/native/CMakeFiles/ts_portable.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
