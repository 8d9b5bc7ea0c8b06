# The Debian package: its documentation files and control fields.

# usr/share/doc/zarvo/copyright in Debian's machine-readable format, holding
# the licence from LICENSE (Debian calls the MIT licence "Expat").
file(STRINGS ${PROJECT_SOURCE_DIR}/LICENSE holder REGEX "^Copyright " LIMIT_COUNT 1)
string(REGEX REPLACE "^Copyright \\(c\\) " "" holder "${holder}")
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX REPLACE "^.*\nCopyright [^\n]*\n\n" "" licence "${licence}")
string(REGEX REPLACE "\n+$" "" licence "${licence}")
string(REGEX REPLACE "\n\n" "\n.\n" licence "${licence}")
string(REGEX REPLACE "\n" "\n " licence "${licence}")
file(CONFIGURE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/copyright @ONLY CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Zarvo
Upstream-Contact: @ZARVO_PACKAGE_MAINTAINER@

Files: *
Copyright: @holder@
License: Expat
 @licence@
")
configure_file(changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog COPYONLY)
zarvo_gzip(${CMAKE_CURRENT_BINARY_DIR}/changelog ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
        DESTINATION share/doc/zarvo)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps (dpkg-dev) names the packages of the libraries the program
# links: SDL2, GL, GLU, libstdc++, libc.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# SDL opens the GLX library libGL.so.1 only at run time, out of their sight.
set(CPACK_DEBIAN_PACKAGE_DEPENDS libgl1)
# The question boxes: SDL draws them with X core fonts in ISO 10646, or else
# asks zenity. Without either the game still plays, printing its questions on
# standard error and taking the default answers, so they are recommended, not
# required; apt installs recommended packages unless told not to.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xfonts-base | zenity")
# A cross build is packaged for the processor it was built for, not for this
# machine's, which cpack would take: the .deb's architecture (dpkg-shlibdeps
# then names that architecture's libraries) and the .tar.gz's name.
if(CMAKE_CROSSCOMPILING)
  execute_process(COMMAND dpkg-architecture -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
                  OUTPUT_VARIABLE CPACK_DEBIAN_PACKAGE_ARCHITECTURE OUTPUT_STRIP_TRAILING_WHITESPACE
                  ERROR_QUIET COMMAND_ERROR_IS_FATAL ANY)
  set(CPACK_SYSTEM_NAME Linux-${CPACK_DEBIAN_PACKAGE_ARCHITECTURE})
endif()

# Lintian's overrides (packaging/zarvo.lintian-overrides), in the .deb only
# (packaging/cpack-options.cmake.in), and only where this machine's lintian
# knows the tag: Debian 12's, which does not, calls an override of a tag it
# does not know an error. A .deb is checked by the lintian of the release it
# was built in.
find_program(ZARVO_LINTIAN_EXPLAIN_TAGS lintian-explain-tags)
if(ZARVO_LINTIAN_EXPLAIN_TAGS)
  execute_process(COMMAND ${ZARVO_LINTIAN_EXPLAIN_TAGS} appstream-metadata-validation-failed
                  RESULT_VARIABLE unknown_tag OUTPUT_QUIET ERROR_QUIET)
  if(unknown_tag EQUAL 0)
    install(FILES zarvo.lintian-overrides DESTINATION share/lintian/overrides RENAME zarvo
            COMPONENT debian EXCLUDE_FROM_ALL)
  endif()
endif()
