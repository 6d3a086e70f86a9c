; The Windows installer: morvel.exe, MorvelTest.exe, README and LICENSE into Program Files, a
; Start menu entry for the desktop program, an uninstaller registered with Windows, and, when
; chosen, the program folder on the machine's PATH so that a console finds morvel.exe.
; scripts/package.sh builds it with makensis from the files `cmake --install` staged:
;   makensis -DVERSION=0.6.1.7 -DSTAGE=<staged folder> -DOUTFILE=<setup.exe> morvel.nsi
; Pages: the licence (for information: nothing to accept), the components, the folder, the
; progress, and a finish page that offers to start MorvelTest.
; /S installs and uninstalls silently; /ADDTOPATH chooses the PATH component (for /S);
; /D=<folder> (last on the command line) chooses the folder.
; A 64-bit installer for the 64-bit programs (it starts where they can run, and needs no
; 32-bit layer such as WoW64).
Target amd64-unicode
SetCompressor /SOLID lzma

!ifndef VERSION | STAGE | OUTFILE
  !error "define VERSION, STAGE and OUTFILE"
!endif

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Morvel"
; What the installer itself must remember for the uninstaller: the PATH entry it added.
!define SETTINGS_KEY "Software\Morvel"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

Name "Morvel ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Morvel"
RequestExecutionLevel admin
ManifestDPIAware true
BrandingText "Morvel ${VERSION} - NTFS volume layout report"

VIProductVersion "${VERSION}"
VIAddVersionKey "ProductName" "Morvel"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Morvel ${VERSION} setup"
VIAddVersionKey "CompanyName" "The Morvel developers"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Morvel developers, MIT licence"

!define MUI_ICON "${__FILEDIR__}/../../src/app/win32/MorvelTest.ico"
!define MUI_UNICON "${__FILEDIR__}/../../src/app/win32/MorvelTest.ico"

; The licence is shown for information; Next goes on, there is nothing to agree to.
!define MUI_PAGE_HEADER_TEXT "Licence"
!define MUI_PAGE_HEADER_SUBTEXT "The terms under which Morvel ${VERSION} is given to you."
!define MUI_LICENSEPAGE_TEXT_TOP "Morvel is free software under the MIT licence:"
!define MUI_LICENSEPAGE_TEXT_BOTTOM "The licence is shown for your information. Click Next to continue."
!define MUI_LICENSEPAGE_BUTTON "$(^NextBtn)"
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start MorvelTest"
!define MUI_FINISHPAGE_RUN_FUNCTION StartMorvelTest
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; RemovePathEntry: pops ENTRY, then PATH; pushes PATH without every element equal to ENTRY
; (compared ignoring case; the other elements and their order stay as they were), then pushes
; 1 when ENTRY was there, else 0. The installer uses it to look for the entry, the uninstaller
; to take it out.
!macro RemovePathEntryFunction UN
Function ${UN}RemovePathEntry
  Exch $R1  ; ENTRY
  Exch
  Exch $R0  ; PATH
  Push $R2  ; what is kept, each element after a ";"
  Push $R3  ; the element being read
  Push $R4  ; the character at $R5
  Push $R5
  Push $R6  ; 1 once ENTRY was met
  StrCpy $R2 ""
  StrCpy $R3 ""
  StrCpy $R5 0
  StrCpy $R6 0
  ${Do}
    StrCpy $R4 $R0 1 $R5
    ${If} $R4 == ";"
    ${OrIf} $R4 == ""
      ${If} $R3 == $R1
        StrCpy $R6 1
      ${Else}
        StrCpy $R2 "$R2;$R3"
      ${EndIf}
      StrCpy $R3 ""
      ${If} $R4 == ""
        ${ExitDo}
      ${EndIf}
    ${Else}
      StrCpy $R3 "$R3$R4"
    ${EndIf}
    IntOp $R5 $R5 + 1
  ${Loop}
  StrCpy $R0 $R2 "" 1
  StrCpy $R1 $R6
  Pop $R6
  Pop $R5
  Pop $R4
  Pop $R3
  Pop $R2
  Exch $R0  ; the new PATH
  Exch
  Exch $R1  ; found, on top
FunctionEnd
!macroend
!insertmacro RemovePathEntryFunction ""
!insertmacro RemovePathEntryFunction "un."

; Tells running programs (Explorer, and the consoles it starts) that the environment changed.
!macro BroadcastEnvironmentChange
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
!macroend

Section "Morvel (both programs)" SecProgram
  SectionIn RO
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
  ; The size Settings shows, in KiB: the files of this section as makensis counted them.
  SectionGetSize ${SecProgram} $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; The machine's PATH gets the program folder as one more element, unless it is there already;
; the entry is remembered so that the uninstaller takes out that one and nothing else. A PATH
; too long for the installer's strings (1024 characters) is left alone rather than cut short.
Section /o "Add morvel.exe to PATH" SecPath
  ClearErrors
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  ${If} ${Errors}
    DetailPrint "PATH not changed: it could not be read whole."
    Return
  ${EndIf}
  Push $0
  Push $INSTDIR
  Call RemovePathEntry
  Pop $1  ; 1: the folder is on PATH already
  Pop $2
  ${If} $1 == 1
    DetailPrint "PATH already holds $INSTDIR."
    Return
  ${EndIf}
  StrCpy $1 $0 "" -1
  ${If} $0 == ""
  ${OrIf} $1 == ";"
    StrCpy $0 "$0$INSTDIR"
  ${Else}
    StrCpy $0 "$0;$INSTDIR"
  ${EndIf}
  StrLen $1 $0
  ${If} $1 >= ${NSIS_MAX_STRLEN}
    DetailPrint "PATH not changed: it would be too long."
    Return
  ${EndIf}
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $0
  WriteRegStr HKLM "${SETTINGS_KEY}" "PathEntry" $INSTDIR
  !insertmacro BroadcastEnvironmentChange
SectionEnd

Function .onInit
  SetRegView 64
  SetShellVarContext all
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ADDTOPATH" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecPath}
  ${EndIf}
FunctionEnd

; The installer runs elevated; Explorer starts the program as the signed-in user instead.
Function StartMorvelTest
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\MorvelTest.exe"'
FunctionEnd

Function un.onInit
  SetRegView 64
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  Delete "$SMPROGRAMS\MorvelTest.lnk"
  Delete "$INSTDIR\morvel.exe"
  Delete "$INSTDIR\MorvelTest.exe"
  Delete "$INSTDIR\README.md"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\Uninstall.exe"
  ; Only when empty: files a user put there stay.
  RMDir "$INSTDIR"

  ; The PATH entry the installer added, and only that one.
  ReadRegStr $0 HKLM "${SETTINGS_KEY}" "PathEntry"
  ${If} $0 != ""
    ClearErrors
    ReadRegStr $1 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${IfNot} ${Errors}
      Push $1
      Push $0
      Call un.RemovePathEntry
      Pop $2
      Pop $1
      ${If} $2 == 1
        WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" $1
        !insertmacro BroadcastEnvironmentChange
      ${EndIf}
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKLM "${SETTINGS_KEY}"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
