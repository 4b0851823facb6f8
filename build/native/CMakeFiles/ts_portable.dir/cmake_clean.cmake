file(REMOVE_RECURSE
  "CMakeFiles/ts_portable.dir/src/fileops/menu_text.cpp.o"
  "CMakeFiles/ts_portable.dir/src/fileops/menu_text.cpp.o.d"
  "libts_portable.a"
  "libts_portable.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/ts_portable.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
