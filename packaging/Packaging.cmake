# Desktop integration, manual page and the Debian package. Included from the top level after
# the programs' install rules, so that CPack sees all of them:
#   cmake --install <build> --prefix <dir>     the files as a Linux user expects them
#   cpack --config <build>/CPackConfig.cmake   tavrel_<version>_<arch>.deb

include(GNUInstallDirs)

set(TAVREL_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

install(FILES ${TAVREL_PACKAGING_DIR}/tavrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TAVREL_PACKAGING_DIR}/tavrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Debian ships manual pages compressed (-n: no time stamp, so the package builds reproducibly).
find_program(TAVREL_GZIP gzip)
if(TAVREL_GZIP)
    set(tavrel_manpage ${CMAKE_CURRENT_BINARY_DIR}/tavrel.1.gz)
    add_custom_command(OUTPUT ${tavrel_manpage}
        COMMAND ${TAVREL_GZIP} -9 -n -c ${TAVREL_PACKAGING_DIR}/tavrel.1 > ${tavrel_manpage}
        DEPENDS ${TAVREL_PACKAGING_DIR}/tavrel.1
        COMMENT "Compressing the manual page")
    add_custom_target(tavrel_manpage ALL DEPENDS ${tavrel_manpage})
else()
    set(tavrel_manpage ${TAVREL_PACKAGING_DIR}/tavrel.1)
endif()
install(FILES ${tavrel_manpage} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "tavrel developers")
set(CPACK_PACKAGE_CONTACT "tavrel developers <tavrel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operator program for the digital power supply of a LEED electron optics")
set(CPACK_PACKAGE_DESCRIPTION
    "tavrel operates the Tavrel supply (models R4150-D and Tavrel digital) over a serial line: \
set values, gains and offsets with range checks, monitor read-back, profile files, a control \
link for other programs, and simulation mode. Includes tavrel-virtual-supply, which plays the \
supply on a pseudo-terminal, and the command-line client tavrel-control.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The libraries come from dpkg-shlibdeps where it is installed (dpkg-dev); otherwise the Qt 6
# runtime packages the programs link are listed by hand.
find_program(TAVREL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TAVREL_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6network6 (>= 6.4), libqt6serialport6 (>= 6.4), libqcustomplot2.1, libc6, libstdc++6")
endif()
# The virtual display for running without a desktop, and socat for scripting the control link.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xvfb, socat")

include(CPack)
