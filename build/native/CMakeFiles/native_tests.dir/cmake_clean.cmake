file(REMOVE_RECURSE
  "CMakeFiles/native_tests.dir/tests/native/attributes_test.cpp.o"
  "CMakeFiles/native_tests.dir/tests/native/attributes_test.cpp.o.d"
  "CMakeFiles/native_tests.dir/tests/native/menu_text_test.cpp.o"
  "CMakeFiles/native_tests.dir/tests/native/menu_text_test.cpp.o.d"
  "CMakeFiles/native_tests.dir/tests/native/progress_test.cpp.o"
  "CMakeFiles/native_tests.dir/tests/native/progress_test.cpp.o.d"
  "native_tests"
  "native_tests.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/native_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
