# The same commit built in any folder at any time gives the same program
# files: no build path in the debug information or in __FILE__, and no link
# time stamp in the Windows program's header.
# GCC applies the last matching map, so the build folder (often inside the
# source folder) comes after the source folder.
add_compile_options(
  -ffile-prefix-map=${PROJECT_SOURCE_DIR}/=
  -ffile-prefix-map=${PROJECT_BINARY_DIR}/=build/)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
