# What `cmake --install` puts on the system, and so what debian/ splits into
# the packages qrv and impressora-qrv (debian/*.install). Read after every
# program's folder, so that a program is installed when it is built.
# Windows has its own layout (cmake/WindowsRuntime.cmake).
if(WIN32)
    return()
endif()
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
