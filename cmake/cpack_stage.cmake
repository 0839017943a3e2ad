# Run by CPack on the staged files of the Debian package, before it packs
# them (CPACK_PRE_BUILD_SCRIPTS).
#
# - The manual page and the README are compressed, as Debian wants them,
#   with gzip -9n: no name and no time stamp in the gzip header.
# - SOURCE_DATE_EPOCH, when it is not set, is taken from the last commit (or
#   a fixed date outside a git checkout): CPack then gives every file of the
#   package that time, and its gzip streams none, so that two builds of the
#   same sources make the same package byte for byte.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

if("$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  execute_process(COMMAND git -C "${CPACK_TREVOX_SOURCE_DIR}" log -1 --format=%ct
                  OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    set(epoch 952992000)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()

file(GLOB_RECURSE compressed
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man[1-9]/*.[1-9]"
     "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/*/README.md")
foreach(file IN LISTS compressed)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip -9n ${file} failed")
  endif()
endforeach()
