# Canned-message libraries: built from the readable sources in data/canned/ into
# the build tree's data folder, where the program and the tests find them.
add_executable(telvane-cannedgen ${CMAKE_SOURCE_DIR}/tools/cannedgen/main.cpp)
target_compile_options(telvane-cannedgen PRIVATE ${TELVANE_WARNINGS})
target_link_libraries(telvane-cannedgen PRIVATE telvane_core)

set(CANNED_OUT ${TELVANE_BUILD_SHARE})
set(CANNED_FILES)
foreach(library chimsg english)
  set(outputs ${CANNED_OUT}/${library}.pdb)
  if(library STREQUAL "chimsg")
    list(APPEND outputs ${CANNED_OUT}/big_5.pdb)
  endif()
  add_custom_command(
    OUTPUT ${outputs}
    COMMAND telvane-cannedgen ${CMAKE_CURRENT_SOURCE_DIR}/canned/${library}.txt ${CANNED_OUT}
    DEPENDS telvane-cannedgen ${CMAKE_CURRENT_SOURCE_DIR}/canned/${library}.txt
    COMMENT "Generating canned-message library ${library}"
    VERBATIM)
  list(APPEND CANNED_FILES ${outputs})
endforeach()
add_custom_target(canned_libraries ALL DEPENDS ${CANNED_FILES})
install(FILES ${CANNED_FILES} DESTINATION share/telvane)
