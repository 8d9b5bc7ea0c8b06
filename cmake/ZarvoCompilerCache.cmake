# The suite builds the same sources again and again: every preset in every
# clone, and the release roots. With ccache on the machine, a compile seen
# before is taken from its cache (outside the tree, as the roots are). Builds
# that must really compile, to show something of the compiler's output, turn
# it off with -DZARVO_CCACHE=OFF.
option(ZARVO_CCACHE "Take compiles seen before from ccache, where it is installed" ON)
find_program(ZARVO_CCACHE_PROGRAM ccache)
if(ZARVO_CCACHE AND ZARVO_CCACHE_PROGRAM)
  # Paths under the source folder are hashed relative to it, and the working
  # folder not at all, so one clone's compiles serve another's. ccache then
  # compiles with those relative paths: the debug information's file names
  # differ from an uncached build's (the code does not).
  set(launcher ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=1
      ${ZARVO_CCACHE_PROGRAM})
  set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
endif()
