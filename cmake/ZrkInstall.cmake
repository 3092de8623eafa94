# What the program installs besides its binaries (see the libraries' and the program's own folders),
# and the Debian package made from the same rules.

# The help page and the busy animation in the data folder, the program's working folder when started
# from its desktop entry.
install(FILES ${PROJECT_SOURCE_DIR}/resources/zrk.hlp ${PROJECT_SOURCE_DIR}/resources/p_bar.avi
        DESTINATION ${ZRK_INSTALL_DATA_DIR})

# The icon, also the window's: drawn by tools/make_icon.py.
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/zrk201-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME zrk201.png)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/zrk201.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# AppStream data, named after its component id.
install(FILES ${PROJECT_SOURCE_DIR}/resources/desktop/zrk201.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo RENAME org.example.zorkopis.zrk201.metainfo.xml)

# The desktop entry names the program and its working folder by their full paths, which are known only
# when installing (cmake --install --prefix, CPack): it is written then, for the prefix of that install.
set(ZRK_DESKTOP_TEMPLATE ${PROJECT_SOURCE_DIR}/resources/desktop/zrk201.desktop.in)
set(ZRK_DESKTOP_STAGE ${CMAKE_BINARY_DIR}/install-time)
install(CODE "
    get_filename_component(zrk_prefix \"\${CMAKE_INSTALL_PREFIX}\" ABSOLUTE)
    set(ZRK_EXEC \"\${zrk_prefix}/${CMAKE_INSTALL_BINDIR}/zrk201\")
    if(ZRK_EXEC MATCHES \"[ \\t\\\"]\")
        string(REPLACE \"\\\\\" \"\\\\\\\\\" ZRK_EXEC \"\${ZRK_EXEC}\")
        string(REPLACE \"\\\"\" \"\\\\\\\"\" ZRK_EXEC \"\${ZRK_EXEC}\")
        set(ZRK_EXEC \"\\\"\${ZRK_EXEC}\\\"\")
    endif()
    set(ZRK_PATH \"\${zrk_prefix}/${ZRK_INSTALL_DATA_DIR}\")
    # Installs for different prefixes may run at the same time: each writes its own copy.
    string(MD5 zrk_stage \"\$ENV{DESTDIR}|\${zrk_prefix}\")
    configure_file(\"${ZRK_DESKTOP_TEMPLATE}\" \"${ZRK_DESKTOP_STAGE}/\${zrk_stage}/zrk201.desktop\" @ONLY)
    file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\" TYPE FILE
         FILES \"${ZRK_DESKTOP_STAGE}/\${zrk_stage}/zrk201.desktop\")
")

# The Debian package: `cpack -G DEB` in the build folder gives zrk201_<version>_<arch>.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zrk201)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zorkopis")
set(CPACK_PACKAGE_CONTACT "Zorkopis <zorkopis@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "A4 copier: a scanner and a printer working as one")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A4 copier: a scanner and a printer working as one
 Zorkopis scans a page through the scanner's own window, shows it, corrects its
 brightness and contrast by hand or by a preset, and prints it over a whole A4
 sheet, saves it as a JPEG or BMP file, or scans the next page. The last ten
 pages stay at hand for browsing.
 .
 Scanners are reached through SANE, network scanners without drivers of their
 own (eSCL, WSD) through sane-airscan; printing goes through CUPS.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://zorkopis.example.org/")
# The libraries the binaries link come from dpkg-shlibdeps: Qt (libqt6gui6 also carries Qt's X11
# platform plugin on Debian 12), SANE (libsane1, with its backends), libjpeg, the C++ runtime. What the
# program needs without linking it: the network scanner backend, Qt's translations of its dialogs, the
# screen font the window is laid out for.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "sane-airscan, qt6-translations-l10n, fonts-liberation2")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cups, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "sane-utils, printer-driver-cups-pdf")
# Installed under /usr through DESTDIR, so that the desktop entry names /usr and not the staging folder.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_SET_DESTDIR ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
