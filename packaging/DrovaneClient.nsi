; Windows installer of Drovane Client: x64, Unicode, for the user who runs it or, on request, for
; every user of the computer.
;
; By default the setup needs no administrator rights: it installs the client for the current user
; into that user's own programs folder (%LOCALAPPDATA%\Programs\Drovane Client), where the client
; can update itself, registers it under HKEY_CURRENT_USER and adds it to the user's Start menu.
; With /ALLUSERS it installs into Program Files, registers it under HKEY_LOCAL_MACHINE and adds it
; to every user's Start menu; that needs administrator rights, and a setup that lacks them starts
; itself again asking Windows for them (a silent one fails instead). Either way starting with
; Windows stays the current user's own Run value, the one the client's Options write.
;
; Uninstall.exe removes the installation it lies in: one for every user when the uninstall entry
; under HKEY_LOCAL_MACHINE names its folder (it then needs administrator rights too), otherwise
; the current user's.
;
; Built by packaging/make_package.py, which passes what comes from the build and the sources:
;   VERSION       the client's version text ("1.9.01", from the project's VERSION)
;   VERSION_QUAD  the same as four numbers for the version resource ("1.9.1.0")
;   CLIENT_EXE    the built DrovaneClient.exe
;   CLIENT_ICON   the client's icon (drawn at build time)
;   README        the short player's readme installed beside the client
;   OUTFILE       the setup program to write
;
; Command line of the setup program (besides NSIS's own /S and /D=folder, which must come last):
;   /ALLUSERS          install for every user of the computer (administrator rights)
;   /STARTWITHWINDOWS  tick "Start with Windows" (a silent install keeps the current state otherwise)
;   /ELEVATED          added by the setup itself when it starts again with administrator rights,
;                      so that it never asks twice
; A reinstallation without /D= goes where the previous one of the same kind went.
; Command line of Uninstall.exe (besides /S):
;   /REMOVEDATA        also remove the player's settings and data (kept by default)
;   /ELEVATED          as for the setup

Unicode true
; The client is a 64-bit program; a 64-bit setup also sees the registry and Program Files as the
; client does, without WOW64 redirection.
Target amd64-unicode
ManifestDPIAware true
; The default installation is the user's own and needs no rights: Windows never asks for them.
; An installation for every user asks for them itself (see RequireAdministrator).
RequestExecutionLevel user
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
; Under HKEY_CURRENT_USER for the user's own installation, HKEY_LOCAL_MACHINE for every user's.
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
; Reading where a shell link leads: CLSID_ShellLink, IShellLinkW (GetPath is method 3) and
; IPersistFile (Load is method 5).
!define CLSID_SHELL_LINK "{00021401-0000-0000-C000-000000000046}"
!define IID_ISHELL_LINK_W "{000214F9-0000-0000-C000-000000000046}"
!define IID_IPERSIST_FILE "{0000010B-0000-0000-C000-000000000046}"
!define CLSCTX_INPROC_SERVER 1
!define STGM_READ 0

Name "${PRODUCT}"
OutFile "${OUTFILE}"
; No InstallDir: $INSTDIR stays empty in .onInit unless /D= gave a folder, and .onInit then picks
; the folder of the kind of installation (see InstallationFolder).
BrandingText "${PRODUCT} ${VERSION}"
; A file that cannot be written (the client still running) must fail the installation, never be
; skipped silently.
AllowSkipFiles off

; 1 for an installation for every user: /ALLUSERS given; in the uninstaller, HKLM's uninstall
; entry names $INSTDIR.
Var AllUsers
; 1 when this process has administrator rights.
Var IsAdministrator

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

; Sets $IsAdministrator. When this run needs administrator rights and lacks them, an interactive
; run starts the same program again through Windows' "runas", which asks for the rights, and ends;
; the restarted one carries /ELEVATED, so that a Windows that gave no rights (User Account Control
; turned off for a standard user) gets the refusal rather than an endless row of restarts. A
; silent run cannot ask: it goes on, and its first section fails (FailWithoutAdministrator).
; In: on the stack, the parameters to start again with, which may end with /D= or _?=.
!macro REQUIRE_ADMINISTRATOR prefix refusal
Function ${prefix}RequireAdministrator
  Exch $R0
  Push $0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $IsAdministrator 1
  ${Else}
    StrCpy $IsAdministrator 0
    ${IfNot} ${Silent}
      ${${prefix}GetParameters} $0
      ClearErrors
      ${${prefix}GetOptions} $0 "/ELEVATED" $0
      ${If} ${Errors}
        ClearErrors
        ExecShell "runas" "$EXEPATH" "/ELEVATED $R0"
        ${IfNot} ${Errors}
          Quit
        ${EndIf}
      ${EndIf}
      MessageBox MB_OK|MB_ICONSTOP "${refusal}"
      Quit
    ${EndIf}
  ${EndIf}
  Pop $0
  Pop $R0
FunctionEnd

Function ${prefix}FailWithoutAdministrator
  ${If} $AllUsers = 1
  ${AndIf} $IsAdministrator <> 1
    Abort "${refusal}"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro REQUIRE_ADMINISTRATOR "" \
  "Installing ${PRODUCT} for every user of this computer (/ALLUSERS) needs administrator rights: run the setup as an administrator."
!insertmacro REQUIRE_ADMINISTRATOR "un." \
  "${PRODUCT} is installed for every user of this computer: removing it needs administrator rights. Run the uninstaller as an administrator."

Section "${PRODUCT}" SecClient
  SectionIn RO
  Call FailWithoutAdministrator
  Call CheckClientNotRunning

  SetOutPath "$INSTDIR"
  File "/oname=${EXE_NAME}" "${CLIENT_EXE}"
  File "/oname=Readme.txt" "${README}"
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"

  ; In the Start menu of the kind of installation ($SMPROGRAMS follows the shell context .onInit
  ; set). The client's Options make the same file name with "Create Shortcut: Start Menu", so the
  ; two never make two entries in one menu.
  CreateShortcut "$SMPROGRAMS\${SHORTCUT_NAME}" "$INSTDIR\${EXE_NAME}" "" \
                 "$INSTDIR\${EXE_NAME}" 0 SW_SHOWNORMAL "" "${PRODUCT}"

  ; SHCTX: HKEY_LOCAL_MACHINE for every user, HKEY_CURRENT_USER for the user's own installation.
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "URLInfoAbout" "${WEBSITE}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
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

; Without /D=, a reinstallation goes where the previous installation of the same kind went, and a
; first one into the user's own programs folder (Windows' FOLDERID_UserProgramFiles) or, for
; every user, into Program Files.
Function InstallationFolder
  ${If} $AllUsers = 1
    ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${EndIf}
  ${Else}
    ReadRegStr $INSTDIR HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $INSTDIR == ""
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInit
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ALLUSERS" $1
  ${If} ${Errors}
    StrCpy $AllUsers 0
    SetShellVarContext current
  ${Else}
    StrCpy $AllUsers 1
    SetShellVarContext all
    ; Started again, the setup must install where this one would have: /D= as given, if given
    ; (NSIS takes it off the parameters).
    ${If} $INSTDIR != ""
      StrCpy $0 "$0 /D=$INSTDIR"
    ${EndIf}
    Push $0
    Call RequireAdministrator
  ${EndIf}
  ${If} $INSTDIR == ""
    Call InstallationFolder
  ${EndIf}

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

; The shell context of the installation being removed: every user's, or the current user's.
Function un.InstallationContext
  ${If} $AllUsers = 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

; Deletes the shell link $R0 when it starts this installation's client. The client's Options make
; links of the same name for whichever copy runs them, a portable one or the other kind of
; installation, and those keep theirs.
Function un.DeleteShortcutToThisClient
  Push $0
  Push $1
  Push $2
  Push $3
  ${If} ${FileExists} "$R0"
    StrCpy $3 ""
    System::Call "ole32::CoCreateInstance(g '${CLSID_SHELL_LINK}', p 0, \
                  i ${CLSCTX_INPROC_SERVER}, g '${IID_ISHELL_LINK_W}', *p .r0) i .r2"
    ${If} $2 = 0
      System::Call "$0->0(g '${IID_IPERSIST_FILE}', *p .r1) i .r2"
      ${If} $2 = 0
        System::Call "$1->5(w R0, i ${STGM_READ}) i .r2"
        ${If} $2 = 0
          System::Call "$0->3(w .r3, i ${NSIS_MAX_STRLEN}, p 0, i 0) i .r2"
        ${EndIf}
        System::Call "$1->2()"
      ${EndIf}
      System::Call "$0->2()"
    ${EndIf}
    ${If} $3 == "$INSTDIR\${EXE_NAME}"
      Delete "$R0"
    ${EndIf}
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

Section "un.${PRODUCT}" UnSecClient
  SectionIn RO
  Call un.FailWithoutAdministrator
  Call un.CheckClientNotRunning

  ; The installer's shortcut and the ones the client's Options make (desktop, either programs
  ; menu), read while their target still exists: without the executable they lead nowhere.
  Push $R0
  SetShellVarContext all
  StrCpy $R0 "$SMPROGRAMS\${SHORTCUT_NAME}"
  Call un.DeleteShortcutToThisClient
  SetShellVarContext current
  StrCpy $R0 "$SMPROGRAMS\${SHORTCUT_NAME}"
  Call un.DeleteShortcutToThisClient
  StrCpy $R0 "$DESKTOP\${SHORTCUT_NAME}"
  Call un.DeleteShortcutToThisClient
  Call un.InstallationContext
  Pop $R0

  Delete "$INSTDIR\${EXE_NAME}"
  Delete "$INSTDIR\Readme.txt"

  ; Only a Run value that starts this installation: a portable copy elsewhere keeps its own.
  ClearErrors
  ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${IfNot} ${Errors}
  ${AndIf} $0 == '"$INSTDIR\${EXE_NAME}"'
    DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  ${EndIf}

  ; Only the uninstall entries of this folder: an installation of the other kind keeps its own.
  ${If} $AllUsers = 1
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${EndIf}
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd

Section /o "un.Settings and data" UnSecData
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT_KEY}"
  ; The client's data folder is in the shared application data folder, or in the player's own
  ; when a system has no shared one.
  SetShellVarContext all
  RMDir /r "$APPDATA\Drovane\Drovane Client"
  RMDir "$APPDATA\Drovane"
  SetShellVarContext current
  RMDir /r "$APPDATA\Drovane\Drovane Client"
  RMDir "$APPDATA\Drovane"
  Call un.InstallationContext
SectionEnd

; Last, so that the installation folder disappears only when everything else is done. RMDir
; without /r: whatever else the player put into the folder stays.
Section "-un.Folder"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
SectionEnd

; The installation is every user's when HKEY_LOCAL_MACHINE's uninstall entry names this folder,
; whichever way the uninstaller was started (from Windows' list, from the folder, silently).
Function un.onInit
  ${un.GetParameters} $0
  ClearErrors
  ${un.GetOptions} $0 "/REMOVEDATA" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecData}
  ${EndIf}

  StrCpy $AllUsers 0
  ReadRegStr $1 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $1 != ""
  ${AndIf} $1 == $INSTDIR
    StrCpy $AllUsers 1
    ; Started again, the uninstaller must work on this folder in place ("_?=" comes last and is
    ; taken off the parameters).
    Push "$0 _?=$INSTDIR"
    Call un.RequireAdministrator
  ${EndIf}
  Call un.InstallationContext
FunctionEnd
