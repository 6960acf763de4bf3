# What `cmake --install` lays out: the two programs in bin/, the capture
# helper in lib/quorvanet/, the program's own
# files in share/quorvanet/ (found from bin/ at run time), and what the desktop
# needs to list the program and open capture files with it.

include(GNUInstallDirs)

set(QUORVANET_APP_ID com.brenmoor.Quorvanet)
set(QUORVANET_DIST ${PROJECT_SOURCE_DIR}/dist)
set(QUORVANET_DATA_DIR ${CMAKE_INSTALL_DATADIR}/quorvanet)

install(TARGETS quorvanet quorvanet-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The capture helper, the one program with cap_net_raw: lib/quorvanet/ under
# the prefix (not the multiarch library folder), where the programs look for
# it from their bin/. The Debian package's postinst gives it its rights.
install(TARGETS quorvanet-capture RUNTIME DESTINATION lib/quorvanet)

install(FILES ${PROJECT_SOURCE_DIR}/src/ui/help/quorvanet-help.html DESTINATION ${QUORVANET_DATA_DIR})
# Example scripts are whatever samples/*.ssc the tree holds.
file(GLOB QUORVANET_SAMPLE_SCRIPTS CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/samples/*.ssc)
install(FILES ${PROJECT_SOURCE_DIR}/samples/demo.pcap ${QUORVANET_SAMPLE_SCRIPTS}
        DESTINATION ${QUORVANET_DATA_DIR}/samples)

install(FILES ${QUORVANET_DIST}/linux/${QUORVANET_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${QUORVANET_DIST}/linux/${QUORVANET_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# The system's MIME database knows pcap files but not pcapng ones.
install(FILES ${QUORVANET_DIST}/linux/${QUORVANET_APP_ID}.mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
        RENAME ${QUORVANET_APP_ID}.xml)
install(FILES ${QUORVANET_DIST}/linux/icons/${QUORVANET_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 48 256)
  install(FILES ${QUORVANET_DIST}/linux/icons/${size}x${size}/${QUORVANET_APP_ID}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# Man pages are installed compressed, as Debian keeps them.
find_program(QUORVANET_GZIP gzip REQUIRED)
set(QUORVANET_MAN_GZ ${PROJECT_BINARY_DIR}/quorvanet-cli.1.gz)
add_custom_command(OUTPUT ${QUORVANET_MAN_GZ}
  COMMAND ${QUORVANET_GZIP} -9 -n -c ${QUORVANET_DIST}/man/quorvanet-cli.1 > ${QUORVANET_MAN_GZ}
  DEPENDS ${QUORVANET_DIST}/man/quorvanet-cli.1
  VERBATIM)
add_custom_target(quorvanet_man ALL DEPENDS ${QUORVANET_MAN_GZ})
install(FILES ${QUORVANET_MAN_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
