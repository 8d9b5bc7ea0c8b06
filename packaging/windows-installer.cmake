# The per-user Windows installer, made by CPack with NSIS (makensis) beside
# the ZIP:  cpack -G NSIS   (in build/windows: Zarvo-<version>-win64-setup.exe)
# It installs into the player's own programs folder with no administrator
# rights; the script it is made from is nsis/NSIS.template.in.
# Included, not a folder of its own: the settings go to the CPack of the caller.
if(WIN32 AND TARGET zarvo)
  list(APPEND CPACK_GENERATOR NSIS)
  # CPack takes NSIS.template.in from the module path before its own.
  list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/nsis)
  # Its file name ends in -setup: packaging/cpack-options.cmake.in.

  set(CPACK_NSIS_PACKAGE_NAME ${PROJECT_NAME})
  set(CPACK_NSIS_DISPLAY_NAME ${PROJECT_NAME})
  set(CPACK_PACKAGE_INSTALL_DIRECTORY ${PROJECT_NAME})
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY ${PROJECT_NAME})
  set(CPACK_NSIS_MUI_ICON ${PROJECT_SOURCE_DIR}/resources/zarvo.ico)
  set(CPACK_NSIS_MUI_UNIICON ${PROJECT_SOURCE_DIR}/resources/zarvo.ico)
  get_target_property(program zarvo OUTPUT_NAME)
  set(CPACK_NSIS_ZARVO_PROGRAM ${program}${CMAKE_EXECUTABLE_SUFFIX})

  # The uninstaller removes the log the game writes beside itself; its name is
  # taken from the one place the game names it.
  file(STRINGS ${PROJECT_SOURCE_DIR}/timing/frame_log.cpp log_line REGEX "frameLog.*\\(\"[^\"]+\"\\)")
  if(NOT log_line MATCHES "\\(\"([^\"]+)\"\\)")
    message(FATAL_ERROR "No log file name found in timing/frame_log.cpp")
  endif()
  set(CPACK_NSIS_ZARVO_LOG ${CMAKE_MATCH_1})
endif()
