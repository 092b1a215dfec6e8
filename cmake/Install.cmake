# What `cmake --install` and the Debian package put on the system. Read after
# every program's folder, so that a program is installed when it is built.
include(GNUInstallDirs)

set(QRV_APP_ID org.example.ImpressoraQrv)
set(data ${PROJECT_SOURCE_DIR}/data)
set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

install(TARGETS impressora-qrv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${data}/${QRV_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${data}/${QRV_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${QRV_ICON_SVG} DESTINATION ${icons}/scalable/apps RENAME ${QRV_APP_ID}.svg)
foreach(size 48 128 256)
    install(FILES ${QRV_ICON_DIR}/${size}.png DESTINATION ${icons}/${size}x${size}/apps
            RENAME ${QRV_APP_ID}.png)
endforeach()
install(FILES ${QRV_MANPAGE_DIR}/impressora-qrv.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET qrv)
    install(TARGETS qrv RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${QRV_MANPAGE_DIR}/qrv.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    install(FILES ${data}/qrv.bash-completion
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qrv)
endif()

# Debian package: cpack -G DEB in the build folder.
set(CPACK_PACKAGE_NAME impressora-qrv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Equipe Impressora QRV <impressora-qrv@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "programa a impressora de senhas pela porta serial / queue-ticket printer setup")
# The summary above is the first line of the package's description; this is the rest.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Impressora - QRV programa as bandas, os cabeçalhos, as opções e o relógio de
uma impressora de senhas pela porta serial (janela impressora-qrv e linha de
comando qrv).
.
Sets up the bands, header lines, options and clock of a queue-ticket printer
over a serial line, from a window (impressora-qrv) or the command line (qrv).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
