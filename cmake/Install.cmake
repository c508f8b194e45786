# Installation layout and the Debian package (cpack -G DEB).
include(GNUInstallDirs)

install(TARGETS velmora RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET sixnet)
    install(TARGETS sixnet LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/velmora)
endif()
install(FILES include/velmora/plugin_api.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/velmora)
install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${CMAKE_INSTALL_DOCDIR} FILES_MATCHING PATTERN "*.md")
install(DIRECTORY examples DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES docs/velmora.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES data/velmora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/velmora.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmora)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "velmora developers <velmora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Script runner with a skinned window, choices, input and a web server")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # velmora_1.0_amd64.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Found at run time, not linked: the fonts the window draws with, xdg-open for URLs.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, xdg-utils")
# Japanese input through fcitx5 needs its Qt 6 front end (ibus's comes with libqt6gui6);
# a session without X needs Qt's Wayland plug-in.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fcitx5-frontend-qt6, qt6-wayland")
set(CPACK_STRIP_FILES ON)
include(CPack)
