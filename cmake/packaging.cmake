# The files a distribution expects beside the programs (manual pages, AppStream metadata, shell
# completion, icon sizes, copyright and changelog), and the Debian package made by CPack:
#   cmake --build build --target package   ->   build/telvane_<version>_<arch>.deb
include(GNUInstallDirs)

set(TELVANE_HOMEPAGE "https://telvane.example.org/" CACHE STRING "The project's web page")
set(TELVANE_APPSTREAM_ID "org.example.telvane.Telvane" CACHE STRING
    "The AppStream component id (reverse DNS of the home page)")
set(TELVANE_PACKAGE_MAINTAINER "Telvane developers <telvane@example.org>" CACHE STRING
    "The Maintainer of the Debian package")
# No licence has been published for the project: until one is, all rights are reserved.
set(TELVANE_PROJECT_LICENSE "LicenseRef-proprietary" CACHE STRING
    "SPDX expression of the project's licence, for AppStream")
string(REGEX REPLACE "/$" "" TELVANE_SCREENSHOTS "${TELVANE_HOMEPAGE}")
set(TELVANE_SCREENSHOTS "${TELVANE_SCREENSHOTS}/docs")

if(NOT TELVANE_RELEASE_DATE MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
  message(FATAL_ERROR "TELVANE_RELEASE_DATE \"${TELVANE_RELEASE_DATE}\" is not YYYY-MM-DD")
endif()
# The changelog wants an RFC 5322 date; its weekday by Zeller's congruence.
math(EXPR _year "${CMAKE_MATCH_1}")
math(EXPR _month "${CMAKE_MATCH_2}")
math(EXPR _day "${CMAKE_MATCH_3}")
set(_y ${_year})
set(_m ${_month})
if(_m LESS 3)
  math(EXPR _m "${_m} + 12")
  math(EXPR _y "${_y} - 1")
endif()
math(EXPR _weekday
     "(${_day} + (13 * (${_m} + 1)) / 5 + ${_y} + ${_y} / 4 - ${_y} / 100 + ${_y} / 400 + 6) % 7")
set(_weekdays Sun Mon Tue Wed Thu Fri Sat)
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET _weekdays ${_weekday} _weekday_name)
math(EXPR _month_index "${_month} - 1")
list(GET _months ${_month_index} _month_name)
set(TELVANE_RELEASE_RFC5322
    "${_weekday_name}, ${CMAKE_MATCH_3} ${_month_name} ${_year} 00:00:00 +0000")

# Debian wants every compressed file at -9 and without a time stamp (reproducible).
find_program(GZIP_PROGRAM gzip REQUIRED)
set(TELVANE_PACKAGING_DIR ${CMAKE_BINARY_DIR}/packaging)
set(_compressed)
function(telvane_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${GZIP_PROGRAM} -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${output}"
    VERBATIM)
  set(_compressed ${_compressed} ${output} PARENT_SCOPE)
endfunction()

# Manual pages: one for each program this build makes.
set(_man_dir ${TELVANE_PACKAGING_DIR}/man1)
foreach(program telvane telvane-tool telvane-modemsim)
  if(TARGET ${program})
    configure_file(${CMAKE_SOURCE_DIR}/docs/man/${program}.1.in ${_man_dir}/${program}.1 @ONLY)
    telvane_gzip(${_man_dir}/${program}.1 ${_man_dir}/${program}.1.gz)
    install(FILES ${_man_dir}/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endforeach()

configure_file(${CMAKE_SOURCE_DIR}/data/debian/changelog.in ${TELVANE_PACKAGING_DIR}/changelog @ONLY)
telvane_gzip(${TELVANE_PACKAGING_DIR}/changelog ${TELVANE_PACKAGING_DIR}/changelog.gz)
add_custom_target(packaging_files ALL DEPENDS ${_compressed})

install(FILES ${CMAKE_SOURCE_DIR}/data/debian/copyright ${TELVANE_PACKAGING_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Loaded by bash-completion when telvane-tool is first completed.
install(FILES ${CMAKE_SOURCE_DIR}/data/completion/telvane-tool
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

if(TARGET telvane)
  configure_file(${CMAKE_SOURCE_DIR}/data/metainfo/telvane.metainfo.xml.in
                 ${TELVANE_PACKAGING_DIR}/${TELVANE_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${TELVANE_PACKAGING_DIR}/${TELVANE_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()

# The Debian package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME telvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${TELVANE_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "short messages and SIM phonebook of a GSM modem")
# Shown as it is written: lines of at most 79 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Telvane reads, writes and sends the short messages of a GSM modem attached
on a serial line (USB, cable, Bluetooth or infrared), with AT commands in PDU
mode, and edits the phonebook of its SIM. Its window (Qt) keeps the Inbox,
Outbox, Sent, Draft and Save folders, writes long messages, canned messages
and picture messages, and shows the SIM phonebook beside the user's contacts,
in English or Traditional Chinese.

The package also holds telvane-tool, a command line for scripts and diagnosis
(PDU encoding and decoding, the data files as JSON, a headless modem session),
and telvane-modemsim, a simulated modem on a pseudo-terminal to try the
programs without one.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_TELVANE_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/package-strip.cmake)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION comm)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TELVANE_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's faces, chosen by family name (src/ui/ui_scale.cpp); added to the library
# dependencies dpkg-shlibdeps finds.
if(TARGET telvane)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-arphic-uming, fonts-dejavu-extra")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_SOURCE_GENERATOR TXZ)
include(CPack)
