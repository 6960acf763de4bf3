# The Debian package: `cpack -G DEB` in a release build folder. Dependencies
# come from dpkg-shlibdeps; postinst creates the group quorvanet and gives the
# capture helper (only it) cap_net_raw and the group's mode 0750, postrm
# undoes it.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvanet)
set(CPACK_PACKAGE_VENDOR "Brenmoor Software")
set(CPACK_PACKAGE_CONTACT "Brenmoor Software <quorvanet@brenmoor.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "interactive network sniffer for the desktop")
set(CPACK_PACKAGE_DESCRIPTION
    "Quorvanet captures network traffic on an adapter or reads libpcap capture files, lists every frame
with its addresses, ports and protocol chain, and decodes the selected frame protocol by protocol next
to a hex dump coloured by layer. quorvanet-cli does the same on a terminal. Members of the group
quorvanet capture without root.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.brenmoor.com/quorvanet/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# postinst needs addgroup, dpkg-statoverride and setcap.
# libcap2 and libseccomp2: the capture helper (dpkg-shlibdeps finds them too).
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, libcap2-bin, libcap2, libseccomp2, libssl3, libre2-9, zlib1g, libzstd1, liblz4-1")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/dist/debian/postinst ${PROJECT_SOURCE_DIR}/dist/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
