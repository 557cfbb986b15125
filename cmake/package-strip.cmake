# Run by CPack on its staging tree before the package is made: what dh_strip removes beyond a
# plain strip (the compiler's .comment and .note sections), which Debian's tools flag.
file(GLOB programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
if(programs)
  execute_process(COMMAND "${CPACK_TELVANE_STRIP}" --remove-section=.comment
                          --remove-section=.note ${programs}
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "strip failed on ${programs}")
  endif()
endif()
