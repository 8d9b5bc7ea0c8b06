# Read by cpack once per generator: the installer is Zarvo-<version>-win64-setup.exe
# while the ZIP keeps its name.
if(CPACK_GENERATOR STREQUAL "NSIS")
  string(APPEND CPACK_PACKAGE_FILE_NAME "-setup")
endif()
