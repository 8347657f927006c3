# The installation (cmake --install) and the Debian package built from it (cpack; see
# scripts/package). The programs find everything else from their own place, <prefix>/bin:
#
#   bin/                          zub, zubmanager
#   lib/zubmanager3/              gbp-host.exe (serves a Windows device library under Wine);
#                                 a gbp.dll put here serves every user
#   lib/zubmanager3/simulator/    the telephone simulator as gbp.dll and cte_gbp.dll (native;
#                                 win32/: the same as Windows libraries)
#   share/zubmanager3/            the default settings and catalogue, copied into the user's
#                                 ~/.config/zubmanager3 at the first start
#   share/zubmanager3/demo/       a demo telephone (gbp-sim.ini, phone/) and sample files
#   share/applications, share/icons/hicolor, share/man/man1, share/bash-completion
#
# The simulator is not found by default: a fresh installation that says "Unable to open
# gbp.dll" tells the truth. The README says how to copy the demo into the user's folder.
set(ZUB_SRC ${PROJECT_SOURCE_DIR})

install(TARGETS zub RUNTIME DESTINATION bin)
install(FILES ${ZUB_SRC}/data/zubmanager.INI ${ZUB_SRC}/data/SECTIONS.INI
        DESTINATION ${ZUB_INSTALL_DATADIR})
install(FILES ${ZUB_SRC}/data/zub.bash-completion DESTINATION share/bash-completion/completions
        RENAME zub)
install(FILES ${ZUB_SRC}/README.md DESTINATION share/doc/zubmanager3)

if(TARGET zubmanager)
  install(TARGETS zubmanager RUNTIME DESTINATION bin)
  install(FILES ${ZUB_SRC}/data/zubmanager3.desktop DESTINATION share/applications)
  foreach(size IN LISTS ZUB_ICON_SIZES)
    install(FILES ${ZUB_ICON_DIR}/zubmanager3-${size}.png
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME zubmanager3.png)
  endforeach()
  install(FILES ${ZUB_SRC}/data/icons/zubmanager3.svg DESTINATION share/icons/hicolor/scalable/apps)
endif()

# The simulator and a demo telephone written by zub-demo-phone at build time.
install(TARGETS sim_gbp sim_cte_gbp LIBRARY DESTINATION ${ZUB_INSTALL_LIBDIR}/simulator)
set(ZUB_DEMO_DIR ${CMAKE_BINARY_DIR}/demo)
add_custom_command(OUTPUT ${ZUB_DEMO_DIR}/gbp-sim.ini
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ZUB_DEMO_DIR}
  COMMAND zub-demo-phone ${ZUB_DEMO_DIR}
  DEPENDS zub-demo-phone
  COMMENT "Demo telephone for the installation")
add_custom_target(zub_install_demo ALL DEPENDS ${ZUB_DEMO_DIR}/gbp-sim.ini)
install(DIRECTORY ${ZUB_DEMO_DIR}/ DESTINATION ${ZUB_INSTALL_DATADIR}/demo)

if(TARGET zub_win32)
  install(PROGRAMS ${ZUB_WIN32_DIR}/gbp-host.exe DESTINATION ${ZUB_INSTALL_LIBDIR})
  install(FILES ${ZUB_WIN32_DIR}/gbp.dll ${ZUB_WIN32_DIR}/cte_gbp.dll
          DESTINATION ${ZUB_INSTALL_LIBDIR}/simulator/win32)
endif()

# Manual pages from the programs' own --help (help2man), with the files and the environment
# added from data/man. The name comes from the program's file: "ZUB Manager 3 3.0" would make
# help2man call the page "ZUB".
find_program(ZUB_HELP2MAN help2man)
if(ZUB_HELP2MAN)
  set(_manpages)
  foreach(entry "zub|looks after the NVM sections of a ZUB telephone from a shell"
                "zubmanager|looks after the NVM sections of a ZUB telephone in a window")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 program)
    list(GET entry 1 summary)
    if(NOT TARGET ${program})
      continue()
    endif()
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${ZUB_HELP2MAN} --no-info --section=1 "--name=${summary}"
              --version-string=${PROJECT_VERSION}
              --include=${ZUB_SRC}/data/man/${program}.h2m --output=${page} $<TARGET_FILE:${program}>
      COMMAND gzip -9nf ${page}
      DEPENDS ${program} ${ZUB_SRC}/data/man/${program}.h2m
      COMMENT "Manual page ${program}(1)")
    list(APPEND _manpages ${page}.gz)
    install(FILES ${page}.gz DESTINATION share/man/man1)
  endforeach()
  add_custom_target(zub_manpages ALL DEPENDS ${_manpages})
else()
  message(STATUS "help2man not found: no manual pages (scripts/package installs it)")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zubmanager3)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "looks after the NVM sections of a ZUB telephone")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
ZUB Manager 3 lists, uploads, downloads and erases the NVM sections of a mobile
telephone that runs the ZUB firmware modification, converts and compresses its
programs, manages their save slots and edits the modification's preferences. The
command line zub backs up, verifies and restores the whole telephone. The telephone
is reached through its device library (gbp.dll), a 32-bit Windows library served
through Wine; a telephone simulator and a demo telephone come with the package.]=])
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "ZUB Manager 3 developers <zubmanager3@invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries' Debian names (Qt 6, LZO, OpenSSL, the C and C++ runtimes) from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, wine32")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
include(CPack)
