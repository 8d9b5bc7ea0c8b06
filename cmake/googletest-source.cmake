# GoogleTest built from Debian's source tree (package googletest), for builds
# where no prebuilt GTest fits, such as the Windows cross build. Defines the
# same GTest::gtest and GTest::gtest_main targets as find_package(GTest).
set(ZARVO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${ZARVO_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "No GoogleTest sources in ${ZARVO_GOOGLETEST_SOURCE} (apt-get install googletest)")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${ZARVO_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
