; The Windows installer of Velmora. Built by scripts/windows:
;   makensis -DEXE=path\velmora.exe -DOUTFILE=path\velmora-1.0.1-setup.exe velmora.nsi
; Options of the built installer:
;   /S               silent
;   /REG=FILE        imports the machine-wide settings of FILE (a registry
;                    export) into HKLM\SOFTWARE\VELMORA\Client\1.0
;   /D=FOLDER        the installation folder (last, as NSIS requires)
; 64-bit like the program: it runs where the program runs (Wine without its
; 32-bit part included).
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!ifndef EXE
  !error "EXE must name the velmora.exe to pack"
!endif
!ifndef OUTFILE
  !define OUTFILE "velmora-1.0.1-setup.exe"
!endif
!define VERSION "1.0.1"
!define PUBLISHER "Velmora"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmora"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

Name "ヴェルモラ ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Velmora"
BrandingText "Velmora ${VERSION}"

VIProductVersion "1.0.1.0"
VIAddVersionKey /LANG=0 "ProductName" "Velmora"
VIAddVersionKey /LANG=0 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=0 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=0 "FileDescription" "Velmora installer"
VIAddVersionKey /LANG=0 "LegalCopyright" "Velmora"

!define MUI_ABORTWARNING
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\velmora.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Japanese"
!insertmacro MUI_LANGUAGE "English"

LangString SecProgram ${LANG_JAPANESE} "ヴェルモラ本体"
LangString SecProgram ${LANG_ENGLISH} "Velmora"
LangString SecAutostart ${LANG_JAPANESE} "ログオン時に起動する"
LangString SecAutostart ${LANG_ENGLISH} "Start at logon"
LangString ImportFailed ${LANG_JAPANESE} "設定ファイルを取り込めませんでした:"
LangString ImportFailed ${LANG_ENGLISH} "The settings file could not be imported:"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "This program needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
  !insertmacro MUI_LANGDLL_DISPLAY
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "!$(SecProgram)" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File "/oname=velmora.exe" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Velmora"
  CreateShortcut "$SMPROGRAMS\Velmora\ヴェルモラ.lnk" "$INSTDIR\velmora.exe"

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "ヴェルモラ"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\velmora.exe,0"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" "$0"

  ; /REG=FILE: the program itself reads the export, with the parser it reads
  ; settings with, and writes only the values of its own machine-wide key.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REG=" $R1
  ${IfNot} ${Errors}
    DetailPrint "velmora.exe --import-machine-settings $R1"
    ExecWait '"$INSTDIR\velmora.exe" --import-machine-settings "$R1"' $R2
    ${If} $R2 != 0
      MessageBox MB_ICONSTOP "$(ImportFailed) $R1" /SD IDOK
      SetErrorLevel 2
      Abort
    ${EndIf}
  ${EndIf}
SectionEnd

Section "$(SecAutostart)" SecAutostartId
  WriteRegStr HKCU "${RUN_KEY}" "Velmora" '"$INSTDIR\velmora.exe"'
SectionEnd

; The user's settings and news (HKCU\SOFTWARE\VELMORA, %APPDATA%\VELMORA) stay.
Section "Uninstall"
  DeleteRegValue HKCU "${RUN_KEY}" "Velmora"
  Delete "$SMPROGRAMS\Velmora\ヴェルモラ.lnk"
  RMDir "$SMPROGRAMS\Velmora"
  Delete "$INSTDIR\velmora.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
SectionEnd
