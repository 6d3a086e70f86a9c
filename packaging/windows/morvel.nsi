; The Windows installer: morvel.exe, MorvelTest.exe, README and LICENSE into Program Files, a
; Start menu entry for the desktop program, and an uninstaller registered with Windows.
; scripts/package.sh builds it with makensis from the files `cmake --install` staged:
;   makensis -DVERSION=0.6.1.7 -DSTAGE=<staged folder> -DOUTFILE=<setup.exe> morvel.nsi
; /S installs and uninstalls silently; /D=<folder> (last on the command line) chooses the folder.
; A 64-bit installer for the 64-bit programs (it starts where they can run, and needs no
; 32-bit layer such as WoW64).
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION | STAGE | OUTFILE
  !error "define VERSION, STAGE and OUTFILE"
!endif

!include "MUI2.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvel"

Name "Morvel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Morvel"
RequestExecutionLevel admin
ManifestDPIAware true

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Morvel"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Morvel ${VERSION} setup"
VIAddVersionKey "CompanyName" "The Morvel developers"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Morvel developers, MIT licence"

!define MUI_ICON "${__FILEDIR__}/../../src/app/win32/MorvelTest.ico"
!define MUI_UNICON "${__FILEDIR__}/../../src/app/win32/MorvelTest.ico"
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Morvel"
  SetOutPath "$INSTDIR"
  File "${STAGE}/morvel.exe"
  File "${STAGE}/MorvelTest.exe"
  File "${STAGE}/README.md"
  File "${STAGE}/LICENSE.txt"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  CreateShortcut "$SMPROGRAMS\MorvelTest.lnk" "$INSTDIR\MorvelTest.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Morvel ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Morvel developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "https://example.org/morvel"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\MorvelTest.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\MorvelTest.lnk"
  Delete "$INSTDIR\morvel.exe"
  Delete "$INSTDIR\MorvelTest.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: files a user put there stay.
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
