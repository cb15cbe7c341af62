; The Windows installer of Ostrel, built by packaging/windows/make-packages
; with makensis:
;   makensis -DSTAGE=<install tree> -DVERSION=3.3 -DARCH=x64|x86 -DOUTFILE=<exe> ostrel.nsi
; The install tree is what `cmake --install` puts into one folder: the
; programs, ostrel.ini, the help page, the wiring picture and examples\.
; It installs that folder, a Start menu entry for the desktop program (when
; the build has one) and for the help page, and an uninstaller. The
; programs need nothing else: each user's start folder (%APPDATA%\Ostrel) is
; filled from the installed folder on first use.
Unicode true
!if "${ARCH}" == "x64"
  Target amd64-unicode
  !define PROGRAMS "$PROGRAMFILES64"
  !define REGVIEW 64
!else
  Target x86-unicode
  !define PROGRAMS "$PROGRAMFILES32"
  !define REGVIEW 32
!endif
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostrel"

Name "Ostrel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAMS}\Ostrel"
RequestExecutionLevel admin
ShowInstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Function .onInit
  SetRegView ${REGVIEW}
FunctionEnd

Function un.onInit
  SetRegView ${REGVIEW}
FunctionEnd

Section "Ostrel"
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcuts start in the user's own folder, never in the installed one.
  SetShellVarContext all
  CreateDirectory "$SMPROGRAMS\Ostrel"
  SetOutPath "$PROFILE"
  !if /FileExists "${STAGE}\ostrel.exe"
    CreateShortCut "$SMPROGRAMS\Ostrel\Ostrel.lnk" "$INSTDIR\ostrel.exe"
  !endif
  CreateShortCut "$SMPROGRAMS\Ostrel\Ostrel help.lnk" "$INSTDIR\ostrel-hlp.htm"
  CreateShortCut "$SMPROGRAMS\Ostrel\Uninstall Ostrel.lnk" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Ostrel ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Ostrel developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; The uninstaller removes what the installer put there, and leaves the
; users' start folders (their settings, readback files and programs) alone.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\Ostrel\Ostrel.lnk"
  Delete "$SMPROGRAMS\Ostrel\Ostrel help.lnk"
  Delete "$SMPROGRAMS\Ostrel\Uninstall Ostrel.lnk"
  RMDir "$SMPROGRAMS\Ostrel"
  Delete "$INSTDIR\ostrel.exe"
  Delete "$INSTDIR\ostrel-cli.exe"
  Delete "$INSTDIR\ostrel.ini"
  Delete "$INSTDIR\ostrel-hlp.htm"
  Delete "$INSTDIR\wiring.svg"
  RMDir /r "$INSTDIR\examples"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
