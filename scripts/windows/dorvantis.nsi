; Installer for Dorvantis on 64-bit Windows. Built by the 64-bit Windows build
; (cmake/DorvantisWindowsPackage.cmake) with:
;   makensis -DVERSION=1.3 -DPACKAGE_DIR=<package folder> -DOUTFILE=<setup.exe> dorvantis.nsi
;
; Installs the program with a Start menu entry, puts the driver library into a
; folder the user chooses (where the visualiser looks for its DMX drivers),
; lets the program through the Windows firewall and writes an uninstaller.
; Silent: setup.exe /S [/DRIVERDIR=C:\path] [/D=C:\path] (/D last, unquoted).
;
; The installer is a 64-bit program like the one it installs: 32-bit Windows
; does not start it.

Unicode true
Target amd64-unicode
!include "MUI2.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Dorvantis"
!define PUBLISHER "Veldara Orvik"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
; The inbound firewall rule, named after the program.
!define FIREWALL_RULE 'name="${PRODUCT}" dir=in action=allow program="$INSTDIR\${PRODUCT}.exe" protocol=UDP profile=any enable=yes'

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma

Var DriverDir

!define MUI_ICON "${NSISDIR}\Contrib\Graphics\Icons\modern-install.ico"
!define MUI_UNICON "${NSISDIR}\Contrib\Graphics\Icons\modern-uninstall.ico"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY

; The second folder: where the visualiser finds the driver library.
!define MUI_PAGE_HEADER_TEXT "Driver library"
!define MUI_PAGE_HEADER_SUBTEXT "Where does your visualiser look for its DMX drivers?"
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup puts the driver library VdEthDMX.dll into this folder. Choose the folder in which your visualiser looks for its DMX drivers; you can also copy the file there yourself later, from the program's folder."
!define MUI_DIRECTORYPAGE_TEXT_DESTINATION "Driver folder"
!define MUI_DIRECTORYPAGE_VARIABLE $DriverDir
!insertmacro MUI_PAGE_DIRECTORY

!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Dorvantis.exe"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Function .onInit
    ; Every visualiser installation has its own driver folder, so the page
    ; starts from a folder beside the program, for the user to change.
    StrCpy $DriverDir "$INSTDIR\Driver"
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/DRIVERDIR=" $R1
    ${IfNot} ${Errors}
        StrCpy $DriverDir $R1
    ${EndIf}
FunctionEnd

Section "Dorvantis"
    SetShellVarContext all
    SetOutPath "$INSTDIR"
    File "${PACKAGE_DIR}\Dorvantis.exe"
    File "${PACKAGE_DIR}\DorvantisMonitor.exe"
    File "${PACKAGE_DIR}\dmxmonitor.exe"
    File "${PACKAGE_DIR}\INSTALL.txt"
    ; A copy next to the program, for a visualiser installed later.
    File "${PACKAGE_DIR}\VdEthDMX.dll"

    SetOutPath "$DriverDir"
    File "${PACKAGE_DIR}\VdEthDMX.dll"

    CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\Dorvantis.exe"
    CreateShortcut "$SMPROGRAMS\${PRODUCT} Monitor.lnk" "$INSTDIR\DorvantisMonitor.exe"

    ; A lighting network without internet access is a Public network to
    ; Windows, and the prompt that comes when the program first opens its
    ; ports lets it through on private networks only: every Art-Net and sACN
    ; packet would then be dropped without a word. UDP on all profiles.
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall add rule ${FIREWALL_RULE}'
    Pop $0

    WriteUninstaller "$INSTDIR\Uninstall.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Dorvantis.exe"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DriverFolder" "$DriverDir"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    SetShellVarContext all
    ReadRegStr $DriverDir HKLM "${UNINSTALL_KEY}" "DriverFolder"
    ${If} $DriverDir != ""
        Delete "$DriverDir\VdEthDMX.dll"
        ; Only if it is empty: it may be the visualiser's own folder.
        RMDir "$DriverDir"
    ${EndIf}
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$SMPROGRAMS\${PRODUCT} Monitor.lnk"
    ; The rule this installer added: the program's name and path.
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" advfirewall firewall delete rule name="${PRODUCT}" program="$INSTDIR\${PRODUCT}.exe"'
    Pop $0
    Delete "$INSTDIR\Dorvantis.exe"
    Delete "$INSTDIR\DorvantisMonitor.exe"
    Delete "$INSTDIR\dmxmonitor.exe"
    Delete "$INSTDIR\INSTALL.txt"
    Delete "$INSTDIR\VdEthDMX.dll"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
