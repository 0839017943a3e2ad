# What `cmake --install` puts where, and the packages CPack makes of it.
#
# Linux (PREFIX defaults to /usr/local; DESTDIR is honoured):
#   PREFIX/bin/trevox
#   PREFIX/share/man/man1/trevox.1
#   PREFIX/share/doc/trevox/README.md, Trevox.INI (a sample), pre-commit (a
#   git hook), examples/
# Windows (the folder of the zip): trevox.exe, README.txt, Trevox.INI,
#   examples/; the texts with CR LF line ends.
#
# Every directory the install creates gets the same permissions whatever
# the umask, so that the packages do not depend on it.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The name of the archive tools/package.sh makes of this build's install:
# trevox-VERSION-linux-x86_64 (.tar.gz), trevox-VERSION-windows-x86_64 (.zip).
string(TOLOWER "${CMAKE_SYSTEM_NAME}" trevox_system)
file(WRITE ${PROJECT_BINARY_DIR}/archive-name.txt
     "${PROJECT_NAME}-${PROJECT_VERSION}-${trevox_system}-${CMAKE_SYSTEM_PROCESSOR}\n")

if(WIN32)
  set(TREVOX_TEXT_DIR ${PROJECT_BINARY_DIR}/windows-texts)
  add_custom_command(
    OUTPUT ${TREVOX_TEXT_DIR}/README.txt ${TREVOX_TEXT_DIR}/Trevox.INI
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/README.md
            -DOUT=${TREVOX_TEXT_DIR}/README.txt -P ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/doc/Trevox.INI
            -DOUT=${TREVOX_TEXT_DIR}/Trevox.INI -P ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/doc/Trevox.INI
            ${PROJECT_SOURCE_DIR}/cmake/crlf.cmake
    COMMENT "README.txt and Trevox.INI with CR LF line ends")
  add_custom_target(windows_texts DEPENDS ${TREVOX_TEXT_DIR}/README.txt ${TREVOX_TEXT_DIR}/Trevox.INI)
  add_dependencies(trevox windows_texts)

  install(TARGETS trevox RUNTIME DESTINATION .)
  install(FILES ${TREVOX_TEXT_DIR}/README.txt ${TREVOX_TEXT_DIR}/Trevox.INI DESTINATION .)
  install(DIRECTORY examples/ DESTINATION examples)
  return()
endif()

include(GNUInstallDirs)
install(TARGETS trevox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES doc/trevox.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md doc/Trevox.INI doc/pre-commit DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

# `cpack` in the build folder (tools/package.sh, `make package`): the Debian
# package trevox_VERSION_ARCH.deb, made reproducible with SOURCE_DATE_EPOCH
# (cmake/cpack_stage.cmake). The archives are made by tools/package.sh.
set(CPACK_PACKAGE_NAME trevox)
set(CPACK_PACKAGE_VENDOR "Trevox developers")
set(CPACK_PACKAGE_CONTACT "Trevox developers <trevox@localhost>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "reformat Visual Basic 6 source files in place, safely")
set(CPACK_PACKAGE_DESCRIPTION
    "Trevox reformats Visual Basic 6 forms (.frm), classes (.cls) and modules\n\
(.bas), one file, a wildcard, a project (.vbp) or a project group (.vbg) at\n\
a time: it removes leading blanks and tabs, tightens declarations and, on\n\
request, removes blank lines and comments and joins continued lines. Every\n\
file is backed up byte for byte first, and a restore script puts everything\n\
back.")
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS ${CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS})
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/cpack_stage.cmake)
set(CPACK_TREVOX_SOURCE_DIR ${PROJECT_SOURCE_DIR})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies are computed from the binary by dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

include(CPack)
