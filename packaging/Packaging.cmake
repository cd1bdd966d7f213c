# Desktop integration, AppStream metadata, manual pages, copyright and changelog, and the Debian
# package. Included from the top level after the programs' install rules, so that CPack sees all
# of them:
#   cmake --install <build> --prefix <dir>     the files as a Linux user expects them
#   cpack --config <build>/CPackConfig.cmake   tavrel_<version>_<arch>.deb

include(GNUInstallDirs)

set(TAVREL_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

install(FILES ${TAVREL_PACKAGING_DIR}/tavrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TAVREL_PACKAGING_DIR}/tavrel.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# What software centres show; its launchable is tavrel.desktop.
install(FILES ${TAVREL_PACKAGING_DIR}/org.tavrel.Tavrel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
# Debian wants the licence and the changelog of every package in /usr/share/doc/<package>.
install(FILES ${TAVREL_PACKAGING_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Debian ships manual pages and changelogs compressed (-n: no time stamp, so the package builds
# reproducibly; -9: lintian asks for the best compression). All of them come with the target
# tavrel_manpage, which packaging/verify-package.sh and docs/install.md build by name.
find_program(TAVREL_GZIP gzip)
set(tavrel_manpages tavrel.1 tavrel-control.1 tavrel-virtual-supply.1)
set(tavrel_compressed)
foreach(page IN LISTS tavrel_manpages ITEMS changelog)
    if(TAVREL_GZIP)
        set(installed ${CMAKE_CURRENT_BINARY_DIR}/${page}.gz)
        add_custom_command(OUTPUT ${installed}
            COMMAND ${TAVREL_GZIP} -9 -n -c ${TAVREL_PACKAGING_DIR}/${page} > ${installed}
            DEPENDS ${TAVREL_PACKAGING_DIR}/${page}
            COMMENT "Compressing ${page}")
        list(APPEND tavrel_compressed ${installed})
    else()
        set(installed ${TAVREL_PACKAGING_DIR}/${page})
    endif()
    if(page STREQUAL "changelog")
        install(FILES ${installed} DESTINATION ${CMAKE_INSTALL_DOCDIR})
    else()
        install(FILES ${installed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
endforeach()
if(TAVREL_GZIP)
    add_custom_target(tavrel_manpage ALL DEPENDS ${tavrel_compressed})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tavrel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "tavrel developers")
set(CPACK_PACKAGE_CONTACT "tavrel developers <tavrel-devel@tavrel.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://tavrel.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Operator program for the digital power supply of a LEED electron optics")
# CPack copies these lines into the control file as they are, so each stays within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION [[
tavrel operates the Tavrel supply (models R4150-D and Tavrel digital)
over a serial line: set values, gains and offsets with range checks,
monitor read-back, profile files, energy ramps, a control link for other
programs, and simulation mode.
.
Includes tavrel-virtual-supply, which plays the supply on a
pseudo-terminal, and the command-line client tavrel-control.]])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
# The libraries come from dpkg-shlibdeps where it is installed (dpkg-dev); otherwise the Qt 6
# runtime packages the programs link are listed by hand.
find_program(TAVREL_DPKG_SHLIBDEPS dpkg-shlibdeps)
# The Python module tavrel_link needs an interpreter (lintian: python-package-missing-depends-on-python).
if(TAVREL_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3:any")
else()
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "python3:any, libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), libqt6printsupport6 (>= 6.4), libqt6network6 (>= 6.4), libqt6serialport6 (>= 6.4), libqcustomplot2.1-qt6, libmosquitto1, libaravis-0.8-0, libtiff6, libglib2.0-0, libc6, libstdc++6")
endif()
# The virtual display for running without a desktop, and socat for scripting the control link.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xvfb, socat")

include(CPack)
