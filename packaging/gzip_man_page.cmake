# Run by CPack once the files to package are staged: Debian keeps manual pages gzipped, with no
# file name or time stamp inside so that the package is reproducible.
file(GLOB_RECURSE pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/man1/*.1")
foreach(page IN LISTS pages)
  execute_process(COMMAND gzip -9 --no-name --force "${page}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
if(NOT pages)
  message(FATAL_ERROR "No manual page to gzip below ${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
endif()
