# Installation: the programs in bin/, their data in share/telvane/ (found through
# <exe>/../share/telvane), the desktop entry and its icons where desktops look for them.
# cmake/packaging.cmake adds the manual pages, metadata and the Debian package.
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
  # Rendered from the SVG by data/icons/make_png.sh, for menus that take no SVG.
  foreach(size 48 128)
    install(FILES ${CMAKE_SOURCE_DIR}/data/icons/${size}x${size}/telvane.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps)
  endforeach()
endif()
