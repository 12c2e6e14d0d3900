; Brimlet's Windows installer. scripts/windows/make-installer.sh runs makensis with
;   -DVERSION=<x.y.z> -DDEPLOY=<deploy folder> -DOUTFILE=<setup.exe>
;   -DICON=<icon> -DFILES=<list of files> -DFOLDERS=<list of folders>
;   [-DSIGN=<scripts/windows/sign.sh>]
; where FILES and FOLDERS are generated lists of Delete/RMDir lines, so that
; the uninstaller removes exactly what was installed and nothing a user
; later put into the folder (or the folder itself, if it was chosen badly).
;
; It installs for the current user only, without administrator rights: the
; program its Finish page starts then runs with the user's own rights, and
; Windows lets files be dropped on it from Explorer (it refuses a drop from a
; program with lower rights into one with higher rights).

Unicode true
; 64-bit stub: the program is 64-bit, and a 32-bit installer would see the
; 32-bit view of the registry (or, under a 64-bit-only Wine, do nothing at all).
Target amd64-unicode
SetCompressor /SOLID lzma

!include "MUI2.nsh"
!include "LogicLib.nsh"

!define NAME "Brimlet"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Brimlet"
; Held by every running Brimlet (app/main.cpp).
!define RUNNING_MUTEX "Local\BrimletRunning"
!define RUNNING_TEXT "Brimlet is running. Close every Brimlet window, then choose Retry.$\r$\n$\r$\nCancel stops the setup; nothing has been changed."

Name "${NAME}"
OutFile "${OUTFILE}"
!ifdef SIGN
    ; The uninstaller is made here and goes into the installer, which writes
    ; it out as it is: signed before it goes in. (make-installer.sh signs the
    ; installer itself afterwards.)
    !uninstfinalize '"${SIGN}" -n "Brimlet uninstaller" "%1"' = 0
!endif
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
RequestExecutionLevel user
ManifestDPIAware true
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${NAME} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" ""

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\brimlet.exe"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; While Brimlet runs its files are in use and cannot be replaced or removed:
; asks the user to close it, and stops (exit code 2) on Cancel, which is
; also the answer in silent mode.
!macro WAIT_UNTIL_NOT_RUNNING
    ${Do}
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p .r0'
        ${If} $0 P= 0
            ${Break}
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r0)'
        ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${RUNNING_TEXT}" /SD IDCANCEL IDCANCEL`
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${Loop}
!macroend

Function .onInit
    SetShellVarContext current
    !insertmacro WAIT_UNTIL_NOT_RUNNING
FunctionEnd

Function un.onInit
    SetShellVarContext current
    !insertmacro WAIT_UNTIL_NOT_RUNNING
FunctionEnd

Function WaitUntilNotRunning
    !insertmacro WAIT_UNTIL_NOT_RUNNING
FunctionEnd

; An installed version goes first, removed by its own uninstaller, so that
; none of its files outlive it. "_?=" runs the uninstaller where it is rather
; than from a copy in the temporary folder, which ExecWait could not wait for;
; it leaves itself and its folder behind, which go here.
Function RemoveInstalledVersion
    ReadRegStr $R0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $R0 == ""
    ${OrIfNot} ${FileExists} "$R0\uninstall.exe"
        Return
    ${EndIf}
    ReadRegStr $R1 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
    DetailPrint "Removing Brimlet $R1 from $R0"
    ClearErrors
    ExecWait '"$R0\uninstall.exe" /S _?=$R0' $R2
    ${If} ${Errors}
    ${OrIf} $R2 != 0
        MessageBox MB_OK|MB_ICONSTOP "The installed Brimlet $R1 in $R0 could not be removed (its uninstaller ended with $R2). Nothing new has been installed." /SD IDOK
        SetErrorLevel 2
        Quit
    ${EndIf}
    Delete "$R0\uninstall.exe"
    RMDir "$R0"
FunctionEnd

Section "Brimlet"
    ; Brimlet may have been started while the pages were shown.
    Call WaitUntilNotRunning
    Call RemoveInstalledVersion
    SetOutPath "$INSTDIR"
    File /r "${DEPLOY}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\brimlet.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\brimlet.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\${NAME}.lnk"
    !include "${FILES}"
    Delete "$INSTDIR\uninstall.exe"
    !include "${FOLDERS}"
    RMDir "$INSTDIR"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
