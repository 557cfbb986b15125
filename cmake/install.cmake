# Installation: the programs in bin/, their data in share/telvane/ (found through
# <exe>/../share/telvane), the desktop entry and its icon where desktops look for them.
# The window (src/ui), the canned libraries (data/canned.cmake) and the picture templates
# carry their own rules.
include(GNUInstallDirs)

foreach(program telvane-modemsim telvane-tool)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION bin)
  endif()
endforeach()

install(FILES ${CMAKE_SOURCE_DIR}/data/demo-sim.ini DESTINATION share/telvane)

if(TARGET telvane)
  install(FILES ${CMAKE_BINARY_DIR}/data/telvane.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/data/icons/telvane.svg
          DESTINATION share/icons/hicolor/scalable/apps)
endif()
