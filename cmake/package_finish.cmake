# Runs inside cpack after the files are staged and before the Debian package is made: compresses
# the manual pages and adds the compressed changelog, as Debian policy asks.
file(GLOB_RECURSE staged_files LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(path IN LISTS staged_files)
  if(path MATCHES "/${CPACK_FOLVANE_MANDIR}/man[1-9]/[^/]+\\.[1-9]$")
    execute_process(COMMAND gzip -9nf "${path}" COMMAND_ERROR_IS_FATAL ANY)
  elseif(IS_DIRECTORY "${path}" AND path MATCHES "/${CPACK_FOLVANE_DOCDIR}$")
    file(COPY_FILE "${CPACK_FOLVANE_CHANGELOG_SOURCE}" "${path}/changelog")
    execute_process(COMMAND gzip -9nf "${path}/changelog" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
