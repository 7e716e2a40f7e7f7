; Windows installer of Drovane Client: per machine, x64, Unicode.
;
; Built by packaging/make_package.py, which passes what comes from the build and the sources:
;   VERSION       the client's version text ("1.9.01", from src/app/Version.h)
;   VERSION_QUAD  the same as four numbers for the version resource ("1.9.1.0")
;   CLIENT_EXE    the built DrovaneClient.exe
;   CLIENT_ICON   the client's icon (drawn at build time)
;   README        the short player's readme installed beside the client
;   OUTFILE       the setup program to write
;
; Command line of the setup program (besides NSIS's own /S and /D=folder):
;   /STARTWITHWINDOWS  tick "Start with Windows" (a silent install keeps the current state otherwise)
; Command line of Uninstall.exe (besides /S):
;   /REMOVEDATA        also remove the player's settings and data (kept by default)

Unicode true
; The client is a 64-bit program; a 64-bit setup also sees the registry and Program Files as the
; client does, without WOW64 redirection.
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!ifndef VERSION | VERSION_QUAD | CLIENT_EXE | CLIENT_ICON | README | OUTFILE
  !error "Run makensis through packaging/make_package.py, which defines the version and the input files."
!endif

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include Sections.nsh

!define PRODUCT "Drovane Client"
!define PUBLISHER "Drovane"
!define EXE_NAME "DrovaneClient.exe"
!define UNINSTALLER "Uninstall.exe"
!define SHORTCUT_NAME "Drovane Client.lnk"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Drovane Client"
; The client's own settings: it reads and writes these under HKEY_CURRENT_USER.
!define SETTINGS_PARENT_KEY "Software\Drovane"
!define SETTINGS_KEY "Software\Drovane\Drovane Client"
; Starting with Windows is the client's own Run value: the client's Options tick "Start with
; Windows" when it exists and write it the same way, the executable path between double quotes.
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "Drovane_Client"
; The single-instance mutex and host window title of a running client.
!define CLIENT_MUTEX "Drovane Client"
!define CLIENT_WINDOW_TITLE "Drovane Client"
!define DIALOG_CLASS "#32770"
!define SYNCHRONIZE 0x00100000
!define WEBSITE "http://www.drovane.com"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; A reinstallation goes where the previous one went.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
; A file that cannot be written (the client still running) must fail the installation, never be
; skipped silently.
AllowSkipFiles off

VIProductVersion "${VERSION_QUAD}"
VIFileVersion "${VERSION_QUAD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PUBLISHER}"

!define MUI_ICON "${CLIENT_ICON}"
!define MUI_UNICON "${CLIENT_ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} has been installed.$\r$\n$\r$\nStart it from the Start menu. On its first start it looks for your World of Warcraft folder and then opens its Options, where you enter your Drovane user name and password."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "Your settings (Drovane login, game folders, statistics) and the client's data and logs are kept unless you tick them here."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; Waits until no client runs, since a running client holds its executable open. A client started
; without arguments holds the mutex; one started by the self-updater or a developer's switch may
; not, but its host window (or a message box of its start-up) is a dialog titled like the client.
; In silent mode the answer is Cancel: the run fails rather than leaving an old executable.
!macro CHECK_CLIENT_NOT_RUNNING prefix
Function ${prefix}CheckClientNotRunning
  Push $0
  Push $1
  ${Do}
    FindWindow $0 "${DIALOG_CLASS}" "${CLIENT_WINDOW_TITLE}"
    System::Call 'kernel32::OpenMutexW(i ${SYNCHRONIZE}, i 0, w "${CLIENT_MUTEX}") p .r1'
    ${If} $1 P<> 0
      System::Call 'kernel32::CloseHandle(p r1)'
    ${ElseIf} $0 = 0
      ${Break}
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is running.$\r$\n$\r$\nClose it (Exit in its menu or in the menu of its tray icon), then click Retry." /SD IDCANCEL IDRETRY +2
    Abort "${PRODUCT} is running: close it and start again."
  ${Loop}
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro CHECK_CLIENT_NOT_RUNNING ""
!insertmacro CHECK_CLIENT_NOT_RUNNING "un."

Section "${PRODUCT}" SecClient
  SectionIn RO
  Call CheckClientNotRunning

  SetOutPath "$INSTDIR"
  File "/oname=${EXE_NAME}" "${CLIENT_EXE}"
  File "/oname=Readme.txt" "${README}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; The same file the client's Options make with "Create Shortcut: Start Menu" (the common
  ; programs menu), so the two never make two entries.
  CreateShortcut "$SMPROGRAMS\${SHORTCUT_NAME}" "$INSTDIR\${EXE_NAME}" "" \
                 "$INSTDIR\${EXE_NAME}" 0 SW_SHOWNORMAL "" "${PRODUCT}"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Unticked by default; ticked at start when the player already has it on (see .onInit).
Section /o "Start with Windows" SecStartWithWindows
  WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\${EXE_NAME}"'
SectionEnd

; The box shows whether the client starts with Windows; an unticked box turns it off, as the
; client's own option does.
Section "-Start with Windows off"
  ${IfNot} ${SectionIsSelected} ${SecStartWithWindows}
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}
SectionEnd

Function .onInit
  SetShellVarContext all
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecStartWithWindows}
  ${EndIf}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/STARTWITHWINDOWS" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecStartWithWindows}
  ${EndIf}
FunctionEnd

Section "un.${PRODUCT}" UnSecClient
  SectionIn RO
  Call un.CheckClientNotRunning

  Delete "$INSTDIR\${EXE_NAME}"
  Delete "$INSTDIR\Readme.txt"
  ; The installer's shortcut and the ones the client's Options make (desktop, programs menu):
  ; without the executable they lead nowhere.
  Delete "$SMPROGRAMS\${SHORTCUT_NAME}"
  SetShellVarContext current
  Delete "$SMPROGRAMS\${SHORTCUT_NAME}"
  Delete "$DESKTOP\${SHORTCUT_NAME}"
  SetShellVarContext all

  ; Only a Run value that starts this installation: a portable copy elsewhere keeps its own.
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${IfNot} ${Errors}
  ${AndIf} $0 == '"$INSTDIR\${EXE_NAME}"'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd

Section /o "un.Settings and data" UnSecData
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT_KEY}"
  ; The client's data folder is in the shared application data folder, or in the player's own
  ; when a system has no shared one.
  RMDir /r "$APPDATA\Drovane\Drovane Client"
  RMDir "$APPDATA\Drovane"
  SetShellVarContext current
  RMDir /r "$APPDATA\Drovane\Drovane Client"
  RMDir "$APPDATA\Drovane"
  SetShellVarContext all
SectionEnd

; Last, so that the installation folder disappears only when everything else is done. RMDir
; without /r: whatever else the player put into the folder stays.
Section "-un.Folder"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
SectionEnd

Function un.onInit
  SetShellVarContext all
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/REMOVEDATA" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecData}
  ${EndIf}
FunctionEnd
