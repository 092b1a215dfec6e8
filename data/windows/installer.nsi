; The Windows installer of the window and qrv.exe, in Brazilian Portuguese.
; Made by the `installer` target (cmake/WindowsRuntime.cmake), which passes
;   VERSION  the program's version
;   STAGE    the folder `cmake --install` filled
;   FILES    the file lists written from it (installer-files.cmake)
;   OUTFILE  the setup program to write
; /S installs (and the uninstaller uninstalls) without asking anything.

; A 64-bit installer: wine from Debian runs 64-bit programs without its
; 32-bit half, and the programs it installs are 64-bit anyway.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include "MUI2.nsh"
!include "x64.nsh"
!include "${FILES}"

!define APP "Impressora - QRV"
; The name the project signs with (debian/control's Maintainer), shown as
; the publisher in "Programs and Features".
!define PUBLISHER "Equipe Impressora QRV"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\impressora-qrv"

Name "${APP}"
BrandingText "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1046 "ProductName" "${APP}"
VIAddVersionKey /LANG=1046 "FileDescription" "Instalação da ${APP}"
VIAddVersionKey /LANG=1046 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1046 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "LegalCopyright" "Copyright (c) 2026 The impressora-qrv developers (MIT)"

!define MUI_ICON "${STAGE}\impressora-qrv.ico"
!define MUI_UNICON "${STAGE}\impressora-qrv.ico"
!define MUI_FINISHPAGE_RUN "$INSTDIR\impressora-qrv.exe"
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\licencas\impressora-qrv.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!include "installer-texts.nsh"
!insertmacro MUI_LANGUAGE "PortugueseBR"
!include "installer-texts.nsh"

Function .onInit
    ; A 64-bit program: its folder and its uninstall entry in the 64-bit views.
    ${IfNot} ${RunningX64}
        MessageBox MB_ICONSTOP "Este programa precisa do Windows de 64 bits." /SD IDOK
        Abort
    ${EndIf}
    SetRegView 64
FunctionEnd

Function un.onInit
    SetRegView 64
FunctionEnd

Section "${APP}"
    SetShellVarContext all
    !insertmacro INSTALL_FILES
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\desinstalar.exe"
    CreateShortCut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\impressora-qrv.exe" "" \
        "$INSTDIR\impressora-qrv.exe" 0
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\impressora-qrv.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\desinstalar.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\desinstalar.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    Delete "$SMPROGRAMS\${APP}.lnk"
    !insertmacro UNINSTALL_FILES
    Delete "$INSTDIR\desinstalar.exe"
    ; Only an empty folder goes: whatever the user put there stays.
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
