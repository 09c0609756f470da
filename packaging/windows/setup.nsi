; The setup program of ruvello.exe, ruvello-<version>-windows-x64-setup.exe, and its uninstaller.
; It installs for the current user, without administrator rights, into
; %LOCALAPPDATA%\Programs\Ruvello, where config.ini can stay beside the exe as the program expects.
; CMake builds it (cmake/windows_setup.cmake):
;   makensis -INPUTCHARSET UTF8 -DVERSION=1.1.0 -DPUBLISHER=... -DEXE=.../ruvello.exe
;            -DICON=.../ruvello.ico -DOUTFILE=.../setup.exe setup.nsi
;
; Its command line: /S silent; /AUTOSTART=1 or /AUTOSTART=0 switches the start at logon on or
; off (without it, the current state stays); /D=folder another folder (last, without quotes).
; The uninstaller: /S silent.

!ifndef VERSION | PUBLISHER | EXE | ICON | OUTFILE
    !error "VERSION, PUBLISHER, EXE, ICON and OUTFILE must be given with -D"
!endif

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Ruvello"
!define START_MENU_LINK "$SMPROGRAMS\Ruvello.lnk"

Name "Ruvello"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\Ruvello"
; An upgrade goes where the first installation went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "Ruvello ${VERSION}"

!include MUI2.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!addincludedir "${__FILEDIR__}"
!include program.nsh

Var Autostart      ; 1 or 0: the start at logon the user wants
Var AutostartBox
Var UpgradeNote    ; for the pages: whether this replaces an installation
Var KeptFiles      ; the uninstaller's last words: where the settings and screenshots are

; --- the pages -----------------------------------------------------------------------------------

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!define MUI_WELCOMEPAGE_TEXT "Dieser Assistent installiert Ruvello ${VERSION} für Ihr Benutzerkonto. Administratorrechte sind dafür nicht nötig.$\r$\n$\r$\nRuvello speichert in festen Abständen ein Bild des ganzen Bildschirms und löscht die ältesten Bilder, sobald mehr im Ordner liegen als eingestellt.$\r$\n$\r$\n$UpgradeNote$(^ClickNext)"
!insertmacro MUI_PAGE_WELCOME
Page custom AutostartPage AutostartPageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "Ruvello ist installiert; Sie finden es im Startmenü.$\r$\n$\r$\nRuvello hat kein Fenster: Sein Symbol erscheint im Infobereich der Taskleiste, unter Umständen erst hinter dem Pfeil $\"Ausgeblendete Symbole einblenden$\". Ein Rechtsklick darauf öffnet das Menü."
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Ruvello jetzt starten"
!define MUI_FINISHPAGE_RUN_FUNCTION StartRuvello
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
!insertmacro MUI_PAGE_FINISH

!define MUI_UNCONFIRMPAGE_TEXT_TOP "Ruvello wird von Ihrem Computer entfernt. Ihre Einstellungen (config.ini) und Ihre Screenshots bleiben erhalten."
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$KeptFiles"
!define MUI_FINISHPAGE_TEXT_LARGE
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "German"

VIProductVersion "${VERSION}.0"
VIFileVersion "${VERSION}.0"
VIAddVersionKey /LANG=${LANG_GERMAN} "ProductName" "Ruvello"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileDescription" "Ruvello Installation"
VIAddVersionKey /LANG=${LANG_GERMAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_GERMAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_GERMAN} "LegalCopyright" "${PUBLISHER}"

; --- the setup -----------------------------------------------------------------------------------

Function .onInit
    SetShellVarContext current
    StrCpy $WasRunning 0
    StrCpy $UpgradeNote ""
    ${If} ${FileExists} "$INSTDIR\${RUVELLO_EXE}"
        StrCpy $UpgradeNote "Ruvello ist schon installiert: Das Programm wird ersetzt, Ihre Einstellungen bleiben, wie sie sind.$\r$\n$\r$\n"
    ${EndIf}
    ; The switch starts as the program's menu shows it.
    Call AutostartState
    StrCpy $Autostart $AutostartNow
    ${GetParameters} $0
    ClearErrors
    ${GetOptions} $0 "/AUTOSTART=" $1
    ${IfNot} ${Errors}
        ${If} $1 == "1"
            StrCpy $Autostart 1
        ${ElseIf} $1 == "0"
            StrCpy $Autostart 0
        ${Else}
            MessageBox MB_OK|MB_ICONSTOP "Unbekannter Wert für /AUTOSTART: $\"$1$\" (erlaubt sind 1 und 0)." /SD IDOK
            SetErrorLevel 2
            Quit
        ${EndIf}
    ${EndIf}
FunctionEnd

Function AutostartPage
    !insertmacro MUI_HEADER_TEXT "Programmstart" "Soll Ruvello bei jeder Anmeldung starten?"
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateCheckbox} 0 0 100% 12u "Ruvello bei der Anmeldung automatisch starten"
    Pop $AutostartBox
    ${If} $Autostart = 1
        ${NSD_Check} $AutostartBox
    ${EndIf}
    ${NSD_CreateLabel} 12u 16u -12u 28u "Das ist derselbe Schalter wie $\"Automatischer Programmstart bei Anmeldung$\" im Menü von Ruvello; Sie können ihn dort jederzeit ändern."
    Pop $0
    ${If} $UpgradeNote == ""
        ${NSD_CreateLabel} 0 52u 100% 40u "Die Screenshots legt Ruvello im Ordner $PICTURES\Ruvello ab, seine Einstellungen in config.ini im Programmordner $INSTDIR."
    ${Else}
        ${NSD_CreateLabel} 0 52u 100% 40u "Ihre Einstellungen in $INSTDIR\config.ini bleiben, wie sie sind."
    ${EndIf}
    Pop $0
    ${NSD_SetFocus} $AutostartBox
    nsDialogs::Show
FunctionEnd

Function AutostartPageLeave
    ${NSD_GetState} $AutostartBox $0
    ${If} $0 = ${BST_CHECKED}
        StrCpy $Autostart 1
    ${Else}
        StrCpy $Autostart 0
    ${EndIf}
FunctionEnd

; Changes the start at logon only where the choice differs from what the program's menu shows,
; and then as a click on that menu item would: so an entry switched off in Task Manager stays off
; unless the user switches it on here, and an upgrade leaves it as it was.
Function ApplyAutostart
    Call AutostartState
    ${If} $Autostart = $AutostartNow
        Return
    ${EndIf}
    ClearErrors
    ${If} $Autostart = 1
        DetailPrint "Programmstart bei der Anmeldung: ein"
        Call SwitchAutostartOn
    ${Else}
        DetailPrint "Programmstart bei der Anmeldung: aus"
        Delete "${RUVELLO_STARTUP_LINK}"
    ${EndIf}
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "Autostart konnte nicht geändert werden." /SD IDOK
    ${EndIf}
FunctionEnd

Function WriteUninstallEntry
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Ruvello"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\${RUVELLO_EXE},0"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" "$\"$INSTDIR\uninstall.exe$\""
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" "$\"$INSTDIR\uninstall.exe$\" /S"
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ; In KiB: the program files only; settings and screenshots stay when it is removed.
    ${GetSize} "$INSTDIR" "/M=*.exe /S=0K /G=0" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
FunctionEnd

Function StartRuvello
    SetOutPath "$INSTDIR"
    Exec "$\"$INSTDIR\${RUVELLO_EXE}$\""
FunctionEnd

; A Ruvello that ran before the setup runs again already: no second copy from this page. The
; focus goes from the hidden switch to "Fertigstellen", so that Enter still ends the wizard.
Function FinishPageShow
    ${If} $WasRunning = 1
        ${NSD_Uncheck} $mui.FinishPage.Run
        ShowWindow $mui.FinishPage.Run ${SW_HIDE}
        GetDlgItem $0 $HWNDPARENT 1
        SendMessage $HWNDPARENT ${WM_NEXTDLGCTL} $0 1
    ${EndIf}
FunctionEnd

Section "Ruvello"
    SectionIn RO
    SetOutPath "$INSTDIR"
    Call EndRunningRuvello
    ClearErrors
    File "/oname=${RUVELLO_EXE}" "${EXE}"
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "ruvello.exe konnte nicht nach $INSTDIR geschrieben werden." /SD IDOK
        Abort "ruvello.exe konnte nicht geschrieben werden."
    ${EndIf}
    WriteUninstaller "$INSTDIR\uninstall.exe"
    Call WriteFirstConfig
    CreateShortcut "${START_MENU_LINK}" "$INSTDIR\${RUVELLO_EXE}" "" "$INSTDIR\${RUVELLO_EXE}" 0
    Call ApplyAutostart
    Call WriteUninstallEntry
    ${If} $WasRunning = 1
        DetailPrint "Ruvello wird wieder gestartet."
        Call StartRuvello
    ${EndIf}
SectionEnd

; --- the uninstaller -----------------------------------------------------------------------------

Function un.onInit
    SetShellVarContext current
    StrCpy $WasRunning 0
FunctionEnd

; Deletes the shortcut at the path on the stack when it starts this installation's ruvello.exe:
; a copy of Ruvello in another folder keeps its own.
Function un.DeleteOwnShortcut
    Exch $0
    Push $0
    Call un.ShortcutTarget
    ${If} $LinkTarget == "$INSTDIR\${RUVELLO_EXE}"
        Delete $0
    ${EndIf}
    Pop $0
FunctionEnd

Section "Uninstall"
    Call un.EndRunningRuvello
    ClearErrors
    Delete "$INSTDIR\${RUVELLO_EXE}"
    ${If} ${Errors}
        MessageBox MB_OK|MB_ICONSTOP "$INSTDIR\${RUVELLO_EXE} konnte nicht gelöscht werden." /SD IDOK
        Abort "ruvello.exe konnte nicht gelöscht werden."
    ${EndIf}
    Push "${RUVELLO_STARTUP_LINK}"
    Call un.DeleteOwnShortcut
    ${IfNot} ${FileExists} "${RUVELLO_STARTUP_LINK}"
        ; Task Manager's note on an entry that is gone.
        DeleteRegValue HKCU "${STARTUP_APPROVED_KEY}" "${STARTUP_APPROVED_VALUE}"
    ${EndIf}
    Push "${START_MENU_LINK}"
    Call un.DeleteOwnShortcut
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR" ; only when nothing else is left in it

    StrCpy $KeptFiles "Ruvello ist von Ihrem Computer entfernt worden."
    ${If} ${FileExists} "$INSTDIR\config.ini"
        Call un.ScreenshotFolder
        StrCpy $KeptFiles "$KeptFiles$\r$\n$\r$\nIhre Einstellungen und Ihre Screenshots sind geblieben. Wenn Sie sie nicht mehr brauchen, löschen Sie sie selbst:$\r$\n$\r$\nEinstellungen: $INSTDIR\config.ini$\r$\nScreenshots: $0"
        DetailPrint "Die Einstellungen bleiben: $INSTDIR\config.ini"
        DetailPrint "Die Screenshots bleiben: $0"
    ${EndIf}
    ; Last: while the entry is there, the uninstallation can be run again.
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
