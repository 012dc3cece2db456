# Desktop integration and the two Debian packages made by `cpack -G DEB`:
# `ondrix` (the program and its desktop files) and `ondrix-demo-site`.
set(ONDRIX_PROJECT_URL "https://ondrix.invalid" CACHE STRING "Project home page; the screenshots are under docs/ there")
set(ONDRIX_PROJECT_LICENSE "LicenseRef-proprietary" CACHE STRING "SPDX licence of the program")
set(ONDRIX_MAINTAINER "The Ondrix developers <maintainers@ondrix.invalid>" CACHE STRING "Package maintainer")
set(ONDRIX_RELEASE_DATE "2026-12-06" CACHE STRING "Date of this release, YYYY-MM-DD")

set(pkg_data "${PROJECT_SOURCE_DIR}/data")
set(pkg_out "${PROJECT_BINARY_DIR}/packaging")

# The icon set, 16 to 256 px, and the drawing it is rendered from.
foreach(px 16 22 24 32 48 64 128 256)
    install(FILES "${pkg_data}/icons/${px}x${px}/ondrix.png"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${px}x${px}/apps" COMPONENT ondrix)
endforeach()
install(FILES "${pkg_data}/icons/ondrix.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps" COMPONENT ondrix)

configure_file("${pkg_data}/ondrix.metainfo.xml.in" "${pkg_out}/${ONDRIX_APP_ID}.metainfo.xml" @ONLY)
install(FILES "${pkg_out}/${ONDRIX_APP_ID}.metainfo.xml" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT ondrix)

# The manual page is written from the program's own --help and --version,
# with its keys, its files and where it looks for the site (data/ondrix.h2m).
find_program(HELP2MAN help2man)
if(HELP2MAN AND NOT ONDRIX_SANITIZE)
    add_custom_command(OUTPUT "${pkg_out}/ondrix.1.gz"
        # In UTF-8 whatever the build's locale: the included text holds Chinese.
        COMMAND "${HELP2MAN}" --no-info --section=1 --source=Ondrix --locale=C.UTF-8
                "--name=search a file-sharing site and download its free files"
                "--include=${pkg_data}/ondrix.h2m"
                "--output=${pkg_out}/ondrix.1" $<TARGET_FILE:ondrix>
        COMMAND gzip -9nf "${pkg_out}/ondrix.1"
        DEPENDS ondrix "${pkg_data}/ondrix.h2m"
        COMMENT "Writing the manual page from ondrix --help"
        VERBATIM)
    add_custom_target(ondrix_manual ALL DEPENDS "${pkg_out}/ondrix.1.gz")
    install(FILES "${pkg_out}/ondrix.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT ondrix)
else()
    message(STATUS "No manual page for ondrix (help2man missing, or a sanitizer build)")
endif()
add_custom_command(OUTPUT "${pkg_out}/ondrix-demo-site.1.gz"
    COMMAND gzip -9nc "${PROJECT_SOURCE_DIR}/demo-site/ondrix-demo-site.1" > "${pkg_out}/ondrix-demo-site.1.gz"
    DEPENDS "${PROJECT_SOURCE_DIR}/demo-site/ondrix-demo-site.1")
add_custom_target(ondrix_demo_manual ALL DEPENDS "${pkg_out}/ondrix-demo-site.1.gz")
install(FILES "${pkg_out}/ondrix-demo-site.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1"
        COMPONENT demo EXCLUDE_FROM_ALL)

# Debian's copyright and changelog, for each package.
execute_process(COMMAND date -u -R -d "${ONDRIX_RELEASE_DATE} 12:00"
                OUTPUT_VARIABLE ONDRIX_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE)
foreach(component IN ITEMS ondrix demo)
    if(component STREQUAL "ondrix")
        set(PACKAGE ondrix)
        set(exclude "")
    else()
        set(PACKAGE ondrix-demo-site)
        set(exclude EXCLUDE_FROM_ALL)
    endif()
    configure_file("${pkg_data}/debian/copyright.in" "${pkg_out}/${PACKAGE}/copyright" @ONLY)
    configure_file("${pkg_data}/debian/changelog.in" "${pkg_out}/${PACKAGE}/changelog" @ONLY)
    add_custom_command(OUTPUT "${pkg_out}/${PACKAGE}/changelog.gz"
        COMMAND gzip -9nc "${pkg_out}/${PACKAGE}/changelog" > "${pkg_out}/${PACKAGE}/changelog.gz"
        DEPENDS "${pkg_out}/${PACKAGE}/changelog")
    add_custom_target(${PACKAGE}_changelog ALL DEPENDS "${pkg_out}/${PACKAGE}/changelog.gz")
    install(FILES "${pkg_out}/${PACKAGE}/copyright" "${pkg_out}/${PACKAGE}/changelog.gz"
            DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/${PACKAGE}" COMPONENT ${component} ${exclude})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ondrix)
set(CPACK_PACKAGE_VENDOR "The Ondrix developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${ONDRIX_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ondrix demo)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ONDRIX_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ONDRIX_PROJECT_URL}")
# Shared libraries from the binaries (dpkg-shlibdeps), plus what is loaded or
# run at run time: the engine's helper process (which the engine's core
# library does not bring), the design's font, Qt's translations and its
# platform plugins (only recommended by Qt).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_ONDRIX_PACKAGE_NAME ondrix)
set(CPACK_DEBIAN_ONDRIX_PACKAGE_DEPENDS
    "libqt6webenginecore6-bin, fonts-wqy-zenhei, qt6-translations-l10n, qt6-qpa-plugins")
# GNOME's proxy settings reach the program's own requests by this libproxy
# plugin, and its PAC script by the WebKit one; 打开 and 打开所在文件夹 go
# through xdg-open where the desktop has no file manager on the bus.
set(CPACK_DEBIAN_ONDRIX_PACKAGE_RECOMMENDS
    "qt6-wayland, libproxy1-plugin-gsettings, libproxy1-plugin-webkit, xdg-utils")
set(CPACK_DEBIAN_ONDRIX_PACKAGE_SUGGESTS "ondrix-demo-site")
set(CPACK_DEBIAN_DEMO_PACKAGE_NAME ondrix-demo-site)
set(CPACK_DEBIAN_DEMO_PACKAGE_SECTION devel)
# One string each: set() with several would make a list, joined by ";".
string(CONCAT CPACK_COMPONENT_ONDRIX_DESCRIPTION
    "search a file-sharing site and download its free files\n"
    "A small single-window client for a file-sharing site. Type a keyword and\n"
    "press Enter: the program lists up to ten free results as title and size,\n"
    "pages through them with the site's own links, and downloads the file you\n"
    "click into your download folder. As built by default it talks only to the\n"
    "bundled demo site (package ondrix-demo-site) on loopback.")
string(CONCAT CPACK_COMPONENT_DEMO_DESCRIPTION
    "loopback demo of the sites the ondrix program talks to\n"
    "Serves a resource site and a home site on loopback from a catalogue of\n"
    "demo files, for trying and testing a build of ondrix whose built-in\n"
    "addresses point at it.")
include(CPack)
