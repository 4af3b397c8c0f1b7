; Installer of Quandril, built by make-package.sh:
;   makensis -DARCH=win64|win32 -DSTAGE=<staged files> -DOUTFILE=<setup.exe>
;            -DVERSION=<a.b.c.d> -DICON=<.ico, optional> Quandril.nsi
; Silent use: Setup.exe /S [/D=C:\Folder], Uninstall.exe /S.
; The uninstaller removes exactly what the installer put in place; the
; user's settings under HKEY_CURRENT_USER stay.

Unicode true
!if "${ARCH}" == "win64"
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES"
!endif

!define PRODUCT "Quandril"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quandril"
!define APP_KEY "Software\Quandril"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\${PRODUCT}"
InstallDirRegKey HKLM "${APP_KEY}" "InstallDir"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
ManifestDPIAware true
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Quandril developers; the converter is GPL software"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_ABORTWARNING
!define MUI_FINISHPAGE_RUN "$INSTDIR\Quandril.exe"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}\licences\NOTICE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ; Shortcuts and the uninstall entry are for every user of the machine.
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Quandril" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "${STAGE}\Quandril.exe"
  File "${STAGE}\brivaneupdate.dll"
  SetOutPath "$INSTDIR\core"
!if /FileExists "${STAGE}\core\mirovex.exe"
  File "${STAGE}\core\mirovex.exe"
!else
  !warning "core\mirovex.exe is not built yet: the package goes without the converter"
!endif
  SetOutPath "$INSTDIR\licences"
  File "${STAGE}\licences\NOTICE.txt"
  File "${STAGE}\licences\COPYING.GPL-2.txt"
  File "${STAGE}\licences\COPYING.GPL-3.txt"
  File "${STAGE}\licences\MinGW-w64-runtime.txt"
  SetOutPath "$INSTDIR"

  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateDirectory "$SMPROGRAMS\${PRODUCT}"
  CreateShortCut "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk" "$INSTDIR\Quandril.exe" "" "$INSTDIR\Quandril.exe" 0

  WriteRegStr HKLM "${APP_KEY}" "InstallDir" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quandril.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  ; File by file: anything else the user put in the folder stays, and so does the folder then.
  ; The two registry keys go last (the tests wait for them).
  Delete "$INSTDIR\Quandril.exe"
  Delete "$INSTDIR\brivaneupdate.dll"
  Delete "$INSTDIR\core\mirovex.exe"
  RMDir "$INSTDIR\core"
  Delete "$INSTDIR\licences\NOTICE.txt"
  Delete "$INSTDIR\licences\COPYING.GPL-2.txt"
  Delete "$INSTDIR\licences\COPYING.GPL-3.txt"
  Delete "$INSTDIR\licences\MinGW-w64-runtime.txt"
  RMDir "$INSTDIR\licences"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}\${PRODUCT}.lnk"
  RMDir "$SMPROGRAMS\${PRODUCT}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "${APP_KEY}"
SectionEnd
