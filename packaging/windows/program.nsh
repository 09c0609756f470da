; What the setup program and its uninstaller know about ruvello.exe: how to find and end a running
; copy, what its Startup shortcut looks like, how it counts Task Manager's switch, and how it
; writes and reads config.ini. Each of these follows the program's own code, named at each place,
; so that the program and its setup agree on every byte.
;
; The functions keep the caller's registers, except one that a comment names as the result; most
; hand their results back in variables of their own.

!include LogicLib.nsh

; app/main_window_win32.h: MainWindow::kClassName, the hidden main window that hears the logout.
!define RUVELLO_WINDOW_CLASS "RuvelloMain"
!define RUVELLO_EXE "ruvello.exe"
; autostart/bas_autostart.cpp: the executable's base name with ".lnk".
!define RUVELLO_STARTUP_LINK "$SMSTARTUP\ruvello.lnk"
; autostart/autostart_host_win32.h: kStartupApprovedKey, the value named after the shortcut.
!define STARTUP_APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\StartupFolder"
!define STARTUP_APPROVED_VALUE "ruvello.lnk"

; HKEY_CURRENT_USER as a handle: (HKEY)(LONG)0x80000001, sign-extended in a 64-bit process.
!define HKCU_HANDLE -2147483647
!define CLSID_ShellLink "{00021401-0000-0000-C000-000000000046}"
!define IID_IShellLinkW "{000214F9-0000-0000-C000-000000000046}"
!define IID_IPersistFile "{0000010b-0000-0000-C000-000000000046}"
; Method numbers in the interfaces' tables (IUnknown's three first).
!define IShellLinkW.GetPath 3
!define IShellLinkW.SetWorkingDirectory 9
!define IShellLinkW.SetShowCmd 15
!define IShellLinkW.SetIconLocation 17
!define IShellLinkW.SetPath 20
!define IPersistFile.Load 5
!define IPersistFile.Save 6

Var WasRunning       ; 1 when EndRunningRuvello ended a copy of this installation
Var LinkTarget       ; un.ShortcutTarget: the target of a shell link, empty when unreadable
Var AutostartNow     ; AutostartState: 1 when Ruvello's menu would show its check mark

; For the setup and the uninstaller alike.
!macro RUVELLO_PROGRAM_FUNCTIONS un

; Ends every Ruvello started from $INSTDIR\ruvello.exe the way a logout ends it: the query
; (WM_QUERYENDSESSION), then the end (WM_ENDSESSION), sent to its hidden main window, which
; answers with the program's normal shutdown; WM_CLOSE as well if it is still there. Copies
; started from another folder (the portable zip) go on. Sets $WasRunning to 1 when it ended one.
; A copy that does not end is asked about (silent: the setup ends with an error), since
; replacing or deleting a running exe fails.
Function ${un}EndRunningRuvello
    Push $0 ; window
    Push $1 ; the window to search after
    Push $2 ; its process id
    Push $3 ; the process handle
    Push $4 ; the process's program file
    Push $5 ; results
    Push $6
    StrCpy $1 0
    ${Do}
        FindWindow $0 "${RUVELLO_WINDOW_CLASS}" "" 0 $1
        ${If} $0 P= 0
            ${Break}
        ${EndIf}
        StrCpy $1 $0
        System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r2)'
        ; SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION
        System::Call 'kernel32::OpenProcess(i 0x00101000, i 0, i r2) p .r3'
        ${If} $3 P= 0
            ${Continue}
        ${EndIf}
        System::Call 'kernel32::QueryFullProcessImageNameW(p r3, i 0, w .r4, *i ${NSIS_MAX_STRLEN}) i .r5'
        ${If} $5 <> 0
            System::Call 'kernel32::GetLongPathNameW(w r4, w .r6, i ${NSIS_MAX_STRLEN}) i .r5'
            ${If} $5 > 0
                StrCpy $4 $6
            ${EndIf}
        ${EndIf}
        ${If} $4 == "$INSTDIR\${RUVELLO_EXE}"
            DetailPrint "Ruvello läuft und wird beendet."
            ; ENDSESSION_CLOSEAPP: the session goes on, only this program is asked to end.
            System::Call 'user32::SendMessageTimeoutW(p r0, i 0x0011, p 0, p 1, i 2, i 5000, *p 0 r5) p .r6'
            ${If} $6 P<> 0
                System::Call 'user32::SendMessageTimeoutW(p r0, i 0x0016, p r5, p 1, i 2, i 5000, *p 0 r5)'
            ${EndIf}
            System::Call 'kernel32::WaitForSingleObject(p r3, i 15000) i .r5'
            ${If} $5 <> 0
                System::Call 'user32::PostMessageW(p r0, i 0x0010, p 0, p 0)'
                System::Call 'kernel32::WaitForSingleObject(p r3, i 15000) i .r5'
            ${EndIf}
            ${DoWhile} $5 <> 0
                MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
                    "Ruvello läuft noch und hat sich nicht beenden lassen.$\r$\n$\r$\nBitte beenden Sie Ruvello selbst (Rechtsklick auf das Symbol im Infobereich, $\"Beenden$\") und klicken Sie dann auf $\"Wiederholen$\"." \
                    /SD IDCANCEL IDRETRY retry
                System::Call 'kernel32::CloseHandle(p r3)'
                Abort "Ruvello läuft noch."
            retry:
                System::Call 'kernel32::WaitForSingleObject(p r3, i 5000) i .r5'
            ${Loop}
            StrCpy $WasRunning 1
            StrCpy $1 0 ; the list of windows changed: search it from the start again
        ${EndIf}
        System::Call 'kernel32::CloseHandle(p r3)'
    ${Loop}
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

!macroend

!insertmacro RUVELLO_PROGRAM_FUNCTIONS ""
!insertmacro RUVELLO_PROGRAM_FUNCTIONS "un."

; The target of the shell link whose path is on the stack, into $LinkTarget (empty when the file
; is no readable shell link).
Function un.ShortcutTarget
    Exch $0 ; the link's path
    Push $1 ; IShellLinkW
    Push $2 ; IPersistFile
    Push $3 ; result
    Push $4 ; COM on this thread
    StrCpy $LinkTarget ""
    System::Call 'ole32::CoInitializeEx(p 0, i 2) i .r4'
    System::Call 'ole32::CoCreateInstance(g "${CLSID_ShellLink}", p 0, i 1, g "${IID_IShellLinkW}", *p .r1) i .r3'
    ${If} $3 = 0
        System::Call '$1->0(g "${IID_IPersistFile}", *p .r2) i .r3'
        ${If} $3 = 0
            System::Call '$2->${IPersistFile.Load}(w r0, i 0) i .r3'
            ${If} $3 = 0
                ; SLGP_RAWPATH: the path as stored, without expanding variables.
                System::Call '$1->${IShellLinkW.GetPath}(w .r0, i ${NSIS_MAX_STRLEN}, p 0, i 4) i .r3'
                ${If} $3 = 0
                    StrCpy $LinkTarget $0
                ${EndIf}
            ${EndIf}
            System::Call '$2->2()'
        ${EndIf}
        System::Call '$1->2()'
    ${EndIf}
    ${If} $4 >= 0
        System::Call 'ole32::CoUninitialize()'
    ${EndIf}
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Whether the program's menu shows "Automatischer Programmstart bei Anmeldung" checked, into
; $AutostartNow (autostart/bas_autostart.cpp, IsAutostartEnabled): ruvello.lnk is in the Startup
; folder as an ordinary file (not hidden, system or a folder), and Task Manager has not switched
; it off (the first byte of its StartupApproved value is even, or there is no value).
Function AutostartState
    Push $0
    Push $1
    Push $2
    StrCpy $AutostartNow 0
    System::Call 'kernel32::GetFileAttributesW(w "${RUVELLO_STARTUP_LINK}") i .r0'
    ; FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY
    IntOp $1 $0 & 0x16
    ${If} $0 <> -1
    ${AndIf} $1 = 0
        StrCpy $AutostartNow 1
        System::Alloc 64
        Pop $1
        ; RRF_RT_REG_BINARY
        System::Call 'advapi32::RegGetValueW(p ${HKCU_HANDLE}, w "${STARTUP_APPROVED_KEY}", w "${STARTUP_APPROVED_VALUE}", i 0x8, p 0, p r1, *i 64) i .r0'
        ${If} $0 = 0
            System::Call '*$1(&i1 .r2)'
            IntOp $2 $2 & 1
            ${If} $2 = 1
                StrCpy $AutostartNow 0
            ${EndIf}
        ${EndIf}
        System::Free $1
    ${EndIf}
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; Switches the start at logon on as the program's menu does (bas_autostart.cpp, SetAutostart; the
; shell link as autostart_host_win32.cpp saves it): ruvello.lnk in the Startup folder with the
; exe as target and icon, its folder as working folder and a minimised start (7), then Task
; Manager's switch-off taken back. Sets the error flag when the shortcut could not be saved.
Function SwitchAutostartOn
    Push $0 ; IShellLinkW
    Push $1 ; IPersistFile
    Push $2 ; result
    Push $3 ; COM on this thread
    System::Call 'ole32::CoInitializeEx(p 0, i 2) i .r3'
    System::Call 'ole32::CoCreateInstance(g "${CLSID_ShellLink}", p 0, i 1, g "${IID_IShellLinkW}", *p .r0) i .r2'
    ${If} $2 = 0
        System::Call '$0->${IShellLinkW.SetPath}(w "$INSTDIR\${RUVELLO_EXE}") i .r2'
        ${If} $2 = 0
            System::Call '$0->${IShellLinkW.SetWorkingDirectory}(w "$INSTDIR") i .r2'
        ${EndIf}
        ${If} $2 = 0
            System::Call '$0->${IShellLinkW.SetIconLocation}(w "$INSTDIR\${RUVELLO_EXE}", i 0) i .r2'
        ${EndIf}
        ${If} $2 = 0
            System::Call '$0->${IShellLinkW.SetShowCmd}(i 7) i .r2'
        ${EndIf}
        ${If} $2 = 0
            System::Call '$0->0(g "${IID_IPersistFile}", *p .r1) i .r2'
            ${If} $2 = 0
                System::Call '$1->${IPersistFile.Save}(w "${RUVELLO_STARTUP_LINK}", i 1) i .r2'
                System::Call '$1->2()'
            ${EndIf}
        ${EndIf}
        System::Call '$0->2()'
    ${EndIf}
    ${If} $3 >= 0
        System::Call 'ole32::CoUninitialize()'
    ${EndIf}
    ClearErrors
    ${If} $2 = 0
        DeleteRegValue HKCU "${STARTUP_APPROVED_KEY}" "${STARTUP_APPROVED_VALUE}"
        ClearErrors
    ${Else}
        SetErrors
    ${EndIf}
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; config.ini for a first start, as the program writes it (settings/bas_ini.cpp,
; EnsureIniDefaults; settings/profile_store_win32.cpp): the section, then the seven keys in their
; order with their defaults, CR LF after every line, in the ANSI code page when every character
; has its exact form there, else in UTF-8 without a mark. Only the screenshot folder differs from
; the program's default (its own folder): the user's pictures folder with "Ruvello\", created
; here. An existing config.ini (hidden too) is never touched.
Function WriteFirstConfig
    Push $0
    Push $1 ; the screenshot folder
    Push $2 ; the text
    Push $3 ; code page
    Push $4 ; byte count
    Push $5 ; buffer
    Push $6 ; file
    System::Call 'kernel32::GetFileAttributesW(w "$INSTDIR\config.ini") i .r0'
    ${If} $0 <> -1
        DetailPrint "config.ini ist schon da und bleibt, wie sie ist."
        Goto done
    ${EndIf}
    ${If} $PICTURES == ""
        StrCpy $1 "$INSTDIR\"
    ${Else}
        StrCpy $1 "$PICTURES\Ruvello\"
        CreateDirectory "$PICTURES\Ruvello"
    ${EndIf}
    StrCpy $2 "[Settings]$\r$\nIntervalSeconds=60$\r$\nMaxImageCount=500$\r$\nUseMaxCount=true$\r$\nUseMaxSize=true$\r$\nMaxTotalSizeMB=500$\r$\nScreenshotFolder=$1$\r$\nShowFlash=true$\r$\n"
    ; A system whose ANSI code page is UTF-8 takes the text as it is.
    System::Call 'kernel32::GetACP() i .r3'
    ${If} $3 <> 65001
        ; WC_NO_BEST_FIT_CHARS: a character without its exact form counts as missing.
        System::Call 'kernel32::WideCharToMultiByte(i 0, i 0x400, w r2, i -1, p 0, i 0, p 0, *i 0 r0) i .r4'
        ${If} $4 > 0
        ${AndIf} $0 = 0
            StrCpy $3 0 ; CP_ACP
        ${Else}
            StrCpy $3 65001
        ${EndIf}
    ${EndIf}
    ${If} $3 = 0
        StrCpy $0 0x400
    ${Else}
        StrCpy $0 0
    ${EndIf}
    System::Call 'kernel32::WideCharToMultiByte(i r3, i r0, w r2, i -1, p 0, i 0, p 0, p 0) i .r4'
    System::Alloc $4
    Pop $5
    System::Call 'kernel32::WideCharToMultiByte(i r3, i r0, w r2, i -1, p r5, i r4, p 0, p 0) i .r4'
    IntOp $4 $4 - 1 ; without the terminating zero
    ClearErrors
    FileOpen $6 "$INSTDIR\config.ini" w
    ${If} ${Errors}
        DetailPrint "config.ini konnte nicht angelegt werden; Ruvello legt sie beim ersten Start an."
    ${Else}
        System::Call 'kernel32::WriteFile(p r6, p r5, i r4, *i 0, p 0)'
        FileClose $6
    ${EndIf}
    System::Free $5
done:
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
FunctionEnd

; The screenshot folder named in config.ini, into $0 ($INSTDIR\ without the key, as the program
; takes it; empty without the file). The program reads the file in its encoding (ANSI, UTF-8 with
; or without a mark, UTF-16 with a mark; profile_store_win32.cpp), Windows' profile functions
; only ANSI and UTF-16: so a UTF-16 copy of the file is read with the profile rules.
Function un.ScreenshotFolder
    Push $1 ; file
    Push $2 ; size
    Push $3 ; bytes
    Push $4 ; first bytes
    Push $5 ; code page
    Push $6 ; UTF-16 characters
    Push $7 ; UTF-16 buffer
    Push $8
    StrCpy $0 ""
    ClearErrors
    FileOpen $1 "$INSTDIR\config.ini" r
    ${If} ${Errors}
        Goto done
    ${EndIf}
    FileSeek $1 0 END $2
    FileSeek $1 0 SET
    IntOp $3 $2 + 4
    System::Alloc $3 ; zeroed
    Pop $3
    System::Call 'kernel32::ReadFile(p r1, p r3, i r2, *i 0 r2, p 0)'
    FileClose $1
    InitPluginsDir
    StrCpy $8 "$PLUGINSDIR\config-utf16.ini"
    System::Call '*$3(&i2 .r4)'
    IntOp $4 $4 & 0xFFFF
    ${If} $4 = 0xFEFF ; UTF-16 LE, as it is
        StrCpy $5 1200
    ${Else}
        System::Call '*$3(&i1 .r4, &i1 .r5, &i1 .r6)'
        IntOp $4 $4 & 0xFF
        IntOp $5 $5 & 0xFF
        IntOp $6 $6 & 0xFF
        StrCpy $7 0 ; bytes to skip
        ${If} $4 = 0xEF
        ${AndIf} $5 = 0xBB
        ${AndIf} $6 = 0xBF
            StrCpy $5 65001
            StrCpy $7 3
        ${Else}
            ; MB_ERR_INVALID_CHARS: UTF-8 only if it is valid UTF-8; ASCII reads alike either way.
            System::Call 'kernel32::MultiByteToWideChar(i 65001, i 8, p r3, i r2, p 0, i 0) i .r6'
            ${If} $6 > 0
                StrCpy $5 65001
            ${Else}
                StrCpy $5 0
            ${EndIf}
        ${EndIf}
    ${EndIf}
    ClearErrors
    FileOpen $1 $8 w
    ${If} ${Errors}
        System::Free $3
        Goto done
    ${EndIf}
    ${If} $5 = 1200
        System::Call 'kernel32::WriteFile(p r1, p r3, i r2, *i 0, p 0)'
    ${Else}
        IntOp $2 $2 - $7
        IntPtrOp $4 $3 + $7 ; the bytes after the mark
        System::Call 'kernel32::MultiByteToWideChar(i r5, i 0, p r4, i r2, p 0, i 0) i .r6'
        IntOp $7 $6 * 2
        IntOp $7 $7 + 2
        System::Alloc $7
        Pop $7
        System::Call 'kernel32::MultiByteToWideChar(i r5, i 0, p r4, i r2, p r7, i r6) i .r6'
        FileWriteWord $1 0xFEFF
        IntOp $6 $6 * 2
        System::Call 'kernel32::WriteFile(p r1, p r7, i r6, *i 0, p 0)'
        System::Free $7
    ${EndIf}
    FileClose $1
    System::Free $3
    ClearErrors
    ReadINIStr $0 $8 "Settings" "ScreenshotFolder"
    ${If} ${Errors}
    ${OrIf} $0 == ""
        StrCpy $0 "$INSTDIR\"
    ${EndIf}
    Delete $8
done:
    Pop $8
    Pop $7
    Pop $6
    Pop $5
    Pop $4
    Pop $3
    Pop $2
    Pop $1
FunctionEnd
