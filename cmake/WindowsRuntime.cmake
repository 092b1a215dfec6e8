# The Windows build: the window and qrv.exe land at the top of the build
# folder, with what the window loads beside them (Qt's libraries and plugins,
# the compiler's runtime, Qt's Portuguese texts), so that the folder runs as
# it is, under wine or copied to a PC. The test programs get a folder of the
# same layout, tests/bin.
# `installer` makes the NSIS setup program from what `cmake --install` puts
# in a staging folder.

set_target_properties(impressora-qrv qrv PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(qt_bin ${qt_core_dll} DIRECTORY)
get_filename_component(qt_prefix ${qt_bin} DIRECTORY)
set(QRV_QT_PLUGINS ${qt_prefix}/plugins)

# The compiler's runtime, where this compiler keeps it.
set(QRV_WINDOWS_RUNTIME)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE path OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(path ${path} REALPATH)
    if(NOT EXISTS ${path})
        message(FATAL_ERROR "The compiler's ${dll} is not where it says (${path})")
    endif()
    list(APPEND QRV_WINDOWS_RUNTIME ${path})
endforeach()

# Qt's own Portuguese (file dialogs, message-box buttons), the file that
# app/QtTranslation looks for in translations/ beside the program.
find_file(QRV_QT_PT_BR qtbase_pt_BR.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH
    NO_CMAKE_FIND_ROOT_PATH REQUIRED)

set(window_dlls ${qt_bin}/Qt6Core.dll ${qt_bin}/Qt6Gui.dll ${qt_bin}/Qt6Widgets.dll
    ${QRV_WINDOWS_RUNTIME})
set(platform_plugins ${QRV_QT_PLUGINS}/platforms/qwindows.dll)
set(style_plugins ${QRV_QT_PLUGINS}/styles/qwindowsvistastyle.dll)
# The tests also load QtTest and draw offscreen.
set(test_dlls ${qt_bin}/Qt6Test.dll)
set(test_plugins ${QRV_QT_PLUGINS}/platforms/qoffscreen.dll)

set(copied)
function(qrv_copy_beside folder)
    foreach(file ${ARGN})
        get_filename_component(name ${file} NAME)
        set(out ${CMAKE_BINARY_DIR}/${folder}/${name})
        add_custom_command(OUTPUT ${out}
            COMMAND ${CMAKE_COMMAND} -E copy_if_different ${file} ${out}
            DEPENDS ${file}
            VERBATIM)
        list(APPEND copied ${out})
    endforeach()
    set(copied ${copied} PARENT_SCOPE)
endfunction()
foreach(folder . tests/bin)
    qrv_copy_beside(${folder} ${window_dlls})
    qrv_copy_beside(${folder}/platforms ${platform_plugins})
    qrv_copy_beside(${folder}/styles ${style_plugins})
    qrv_copy_beside(${folder}/translations ${QRV_QT_PT_BR})
endforeach()
qrv_copy_beside(tests/bin ${test_dlls})
qrv_copy_beside(tests/bin/platforms ${test_plugins})
add_custom_target(windows_runtime ALL DEPENDS ${copied})

# What the installer installs: one flat folder, as it is run.
install(TARGETS impressora-qrv qrv RUNTIME DESTINATION .)
install(FILES ${window_dlls} DESTINATION .)
install(FILES ${platform_plugins} DESTINATION platforms)
install(FILES ${style_plugins} DESTINATION styles)
install(FILES ${QRV_QT_PT_BR} DESTINATION translations)
install(FILES ${QRV_ICO} DESTINATION .)
# The licences: this program's, Qt's (LGPL 3, which builds on the GPL 3, and
# the copyright file of the source it was built from, which lists the
# bundled FreeType, HarfBuzz, PCRE2, libpng, zlib and the rest with their
# terms), and the compiler runtime's.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION licencas RENAME impressora-qrv.txt)
install(FILES /usr/share/common-licenses/LGPL-3 DESTINATION licencas RENAME LGPL-3.txt)
install(FILES /usr/share/common-licenses/GPL-3 DESTINATION licencas RENAME GPL-3.txt)
install(FILES /usr/share/doc/libqt6core6/copyright DESTINATION licencas RENAME Qt.txt)
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licencas
    RENAME gcc-runtime.txt)
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licencas
    RENAME mingw-w64-runtime.txt)

# build-windows/impressora-qrv-<version>-setup.exe
find_program(MAKENSIS makensis REQUIRED)
set(stage ${CMAKE_BINARY_DIR}/installer-stage)
set(setup ${CMAKE_BINARY_DIR}/impressora-qrv-${PROJECT_VERSION}-setup.exe)
add_custom_command(OUTPUT ${setup}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --prefix ${stage}
    COMMAND ${CMAKE_COMMAND} -DSTAGE=${stage} -DOUT=${CMAKE_BINARY_DIR}/installer-files.nsh
            -P ${PROJECT_SOURCE_DIR}/data/windows/installer-files.cmake
    COMMAND ${MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${stage}
            -DFILES=${CMAKE_BINARY_DIR}/installer-files.nsh -DOUTFILE=${setup}
            ${PROJECT_SOURCE_DIR}/data/windows/installer.nsi
    DEPENDS impressora-qrv qrv windows_runtime desktop_files
            ${PROJECT_SOURCE_DIR}/data/windows/installer.nsi
            ${PROJECT_SOURCE_DIR}/data/windows/installer-texts.nsh
            ${PROJECT_SOURCE_DIR}/data/windows/installer-files.cmake
    COMMENT "Making ${setup}"
    VERBATIM)
add_custom_target(installer ALL DEPENDS ${setup})
