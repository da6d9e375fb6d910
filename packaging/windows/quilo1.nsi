; Quilo1's installer for Windows: the program and its manual, the data
; directory, the Start-menu and start-with-Windows entries, the uninstaller.
; Built by CMake: makensis -INPUTCHARSET UTF8 -DVERSION=... -DPUBLISHER=...
;   -DQUILO1_EXE=... -DQUILO1_SUBMIT_EXE=... -DMANUAL=... -DARTWORK=DIR -DOUTFILE=... quilo1.nsi
Unicode true
Target amd64-unicode

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include TextFunc.nsh
!include WinMessages.nsh

!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quilo1"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define DATA_KEY "SOFTWARE\Vexwerk\ZEDODER1"
; The installer's own record, kept by a plain uninstall like the data.
!define STATE_KEY "SOFTWARE\Vexwerk\Quilo1"
; Well-known SIDs, so that the rights are right on a Windows in any language.
!define SID_USERS "*S-1-5-32-545"
!define SID_ADMINS "*S-1-5-32-544"
!define SID_SYSTEM "*S-1-5-18"

; 1 when this installer made C:\ProgramData\ZEDODER1 (STATE_KEY).
Var DataDirCreated

Name "Quilo1 ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\Quilo1"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PUBLISHER} Quilo1 ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${ARTWORK}/quilo1.ico"
!define MUI_UNICON "${ARTWORK}/quilo1.ico"
!define MUI_WELCOMEFINISHPAGE_BITMAP "${ARTWORK}/welcome.bmp"
!define MUI_UNWELCOMEFINISHPAGE_BITMAP "${ARTWORK}/welcome.bmp"
!define MUI_ABORTWARNING
!define MUI_ABORTWARNING_TEXT "Interrompere l'installazione di Quilo1?"

!define MUI_WELCOMEPAGE_TITLE "Installazione di Quilo1 ${VERSION}"
!define MUI_WELCOMEPAGE_TEXT "Quilo1 ${VERSION} di ${PUBLISHER} stampa sulla stampante fiscale Custom RT i documenti scritti dal programma di cassa.$\r$\n$\r$\nL'installazione copia il programma e il manuale dell'operatore, crea la cartella dati$\r$\n    C:\ProgramData\ZEDODER1$\r$\ne aggiunge Quilo1 al menu Start e all'avvio di Windows.$\r$\n$\r$\nSe Quilo1 è aperto, viene chiuso prima dell'aggiornamento; le impostazioni e i file della cartella dati restano.$\r$\n$\r$\nFare clic su Avanti per continuare."
!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "Cartella del programma. Accanto a Quilo1.exe stanno i file delle impostazioni (QLCHKCOM.TXT, QLTIMER1.TXT, QLCHKSCO.TXT, QLCHKXXS.TXT, QLVALIVA.txt), che Quilo1 riscrive alla chiusura: l'installazione li rende modificabili dagli utenti del computer."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TITLE "Quilo1 è installato"
!define MUI_FINISHPAGE_TEXT "Quilo1 parte da solo all'avvio di Windows e resta come icona nell'area di notifica, accanto all'orologio. Un doppio clic sull'icona apre la finestra.$\r$\n$\r$\nIl manuale è nel menu Start, cartella Quilo1."
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Avvia Quilo1 adesso"
!define MUI_FINISHPAGE_RUN_FUNCTION StartAsUser
!define MUI_FINISHPAGE_SHOWREADME ""
!define MUI_FINISHPAGE_SHOWREADME_FUNCTION OpenManualAsUser
!define MUI_FINISHPAGE_SHOWREADME_TEXT "Apri il manuale dell'operatore"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "Il programma viene rimosso. Le impostazioni e la cartella dati C:\ProgramData\ZEDODER1 restano, a meno che non si spunti la seconda voce."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Italian"

VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductName" "Quilo1"
VIAddVersionKey /LANG=${LANG_ITALIAN} "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileDescription" "Installazione di Quilo1"
VIAddVersionKey /LANG=${LANG_ITALIAN} "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=${LANG_ITALIAN} "LegalCopyright" "${PUBLISHER}"

; Closes a running Quilo1 through its window, the program's clean closing
; path (it removes its exchange files and saves its settings), and waits for
; the process to end before its files are replaced or removed.
!macro CLOSE_QUILO1 un
Function ${un}CloseQuilo1
  FindWindow $0 "fQuilo1"
  ${If} $0 = 0
    Return
  ${EndIf}
  DetailPrint "Chiusura di Quilo1 in corso..."
  System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
  ; SYNCHRONIZE: enough to wait for the end.
  System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
  close:
  System::Call 'user32::PostMessage(p r0, i ${WM_CLOSE}, p 0, p 0)'
  StrCpy $3 1
  ${If} $2 P<> 0
    ; A job in progress is abandoned by the closing, which takes a few seconds.
    System::Call 'kernel32::WaitForSingleObject(p r2, i 60000) i .r3'
  ${Else}
    ; No process handle: wait for the window to go instead.
    StrCpy $4 0
    ${DoWhile} $4 < 120
      IsWindow $0 still 0
      StrCpy $3 0
      ${Break}
      still:
      Sleep 500
      IntOp $4 $4 + 1
    ${Loop}
  ${EndIf}
  ${If} $3 <> 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Quilo1 non si è chiuso. Chiuderlo dal menu File, T&ermina Quilo1, e riprovare." /SD IDCANCEL IDRETRY close
    System::Call 'kernel32::CloseHandle(p r2)'
    Abort "Quilo1 è ancora in esecuzione."
  ${EndIf}
  System::Call 'kernel32::CloseHandle(p r2)'
  DetailPrint "Quilo1 chiuso."
FunctionEnd
!macroend
!insertmacro CLOSE_QUILO1 ""
!insertmacro CLOSE_QUILO1 "un."

; Runs icacls and logs its result; a failure leaves the default rights.
!macro ICACLS ARGS
  nsExec::ExecToLog '"$SYSDIR\icacls.exe" ${ARGS}'
  Pop $9
  ; A call that failed, or could not start on a busy system, is tried once more.
  ${If} $9 != 0
    nsExec::ExecToLog '"$SYSDIR\icacls.exe" ${ARGS}'
    Pop $9
  ${EndIf}
  ${If} $9 != 0
    DetailPrint "icacls: risultato $9"
  ${EndIf}
!macroend

; A settings file is created empty when missing (the program reads an empty
; file as its defaults) and made writable for every user of the computer, so
; that Quilo1, run without administrator rights, can save it at closing. Only
; these files are opened to users: the folder and Quilo1.exe stay protected,
; since the program starts for every user at logon.
!macro SETTINGS_FILE NAME
  ${IfNot} ${FileExists} "$INSTDIR\${NAME}"
    FileOpen $8 "$INSTDIR\${NAME}" w
    FileClose $8
  ${EndIf}
  !insertmacro ICACLS '"$INSTDIR\${NAME}" /grant ${SID_USERS}:M'
!macroend

; The console's address and port when QLCONSOLE.TXT (kept from an earlier
; install, or put there by the technician) names another port than 8731:
; $R1 "http://ADDRESS:PORT/" and $R2 the localhost twin, or "" for none.
!macro CONSOLE_URL un
Function ${un}ConsoleUrl
  StrCpy $R1 ""
  StrCpy $R2 ""
  ClearErrors
  FileOpen $0 "$INSTDIR\QLCONSOLE.TXT" r
  ${IfNot} ${Errors}
    FileRead $0 $1
    FileRead $0 $2
    FileRead $0 $3
    FileClose $0
    ${TrimNewLines} $2 $2
    ${TrimNewLines} $3 $3
    IntOp $4 $2 + 0
    ${If} $4 >= 1
    ${AndIf} $4 <= 65535
    ${AndIf} $4 <> 8731
      ${If} $3 == ""
        StrCpy $3 "127.0.0.1"
      ${EndIf}
      StrCpy $R1 "http://$3:$4/"
      ${If} $3 == "127.0.0.1"
        StrCpy $R2 "http://localhost:$4/"
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd
!macroend
!insertmacro CONSOLE_URL ""
!insertmacro CONSOLE_URL "un."

Function .onInit
  SetShellVarContext all
  SetRegView 64
FunctionEnd

Function StartAsUser
  ; Through the shell, so that the program does not inherit the installer's
  ; administrator rights.
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\Quilo1.exe"'
FunctionEnd

Function OpenManualAsUser
  ; The PDF reader, too, runs as the desktop's user, not as administrator.
  Exec '"$WINDIR\explorer.exe" "$INSTDIR\dodarav1.pdf"'
FunctionEnd

; The data directory must be a real folder: a junction or link planted in
; its place (users may create folders in C:\ProgramData) would take the
; rights given below, and the purge, somewhere else.
Function CheckDataDir
  System::Call 'kernel32::GetFileAttributesW(w "$APPDATA\ZEDODER1") i .r0'
  ${If} $0 <> -1
    IntOp $0 $0 & 0x400 ; FILE_ATTRIBUTE_REPARSE_POINT
    ${If} $0 <> 0
      MessageBox MB_OK|MB_ICONSTOP "$APPDATA\ZEDODER1 è un collegamento (junction) e non una cartella: l'installazione si ferma. Rimuoverlo e riprovare." /SD IDOK
      SetErrorLevel 3
      Abort "$APPDATA\ZEDODER1 è un collegamento, non una cartella."
    ${EndIf}
  ${EndIf}
FunctionEnd

Section "Quilo1" SecProgram
  SectionIn RO
  Call CheckDataDir
  Call CloseQuilo1

  SetOutPath "$INSTDIR"
  ; Wherever the operator puts the program, only administrators and the
  ; system may change it; users read and run it.
  !insertmacro ICACLS '"$INSTDIR" /inheritance:r /grant:r ${SID_ADMINS}:(OI)(CI)F ${SID_SYSTEM}:(OI)(CI)F ${SID_USERS}:(OI)(CI)RX'
  File "/oname=Quilo1.exe" "${QUILO1_EXE}"
  File "/oname=quilo1-submit.exe" "${QUILO1_SUBMIT_EXE}"
  File "/oname=dodarav1.pdf" "${MANUAL}"
  !insertmacro SETTINGS_FILE "QLCHKCOM.TXT"
  !insertmacro SETTINGS_FILE "QLTIMER1.TXT"
  !insertmacro SETTINGS_FILE "QLCHKSCO.TXT"
  !insertmacro SETTINGS_FILE "QLCHKXXS.TXT"
  !insertmacro SETTINGS_FILE "QLVALIVA.txt"

  ; The data directory: the host applications and Quilo1 create and delete
  ; the exchange files there under any user account. It belongs to the
  ; Administrators and has exactly these rights, whoever made it first; the
  ; uninstaller's purge removes it only when this installer made it.
  ReadRegDWORD $R0 HKLM "${STATE_KEY}" "DataDirCreated"
  ${IfNot} ${FileExists} "$APPDATA\ZEDODER1\*.*"
    CreateDirectory "$APPDATA\ZEDODER1"
    StrCpy $R0 1
  ${EndIf}
  ${If} $R0 == ""
    StrCpy $R0 0
  ${EndIf}
  WriteRegDWORD HKLM "${STATE_KEY}" "DataDirCreated" $R0
  !insertmacro ICACLS '"$APPDATA\ZEDODER1" /setowner ${SID_ADMINS}'
  !insertmacro ICACLS '"$APPDATA\ZEDODER1" /reset'
  !insertmacro ICACLS '"$APPDATA\ZEDODER1" /inheritance:r /grant:r ${SID_ADMINS}:(OI)(CI)F ${SID_SYSTEM}:(OI)(CI)F ${SID_USERS}:(OI)(CI)M'
  ; The window opens the manual from here; users may read it, not replace it.
  SetOutPath "$APPDATA\ZEDODER1"
  File "/oname=dodarav1.pdf" "${MANUAL}"
  !insertmacro ICACLS '"$APPDATA\ZEDODER1\dodarav1.pdf" /inheritance:r /grant:r ${SID_ADMINS}:F ${SID_SYSTEM}:F ${SID_USERS}:RX'
  SetOutPath "$INSTDIR"

  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateDirectory "$SMPROGRAMS\Quilo1"
  CreateShortcut "$SMPROGRAMS\Quilo1\Quilo1.lnk" "$INSTDIR\Quilo1.exe"
  CreateShortcut "$SMPROGRAMS\Quilo1\Manuale Quilo1.lnk" "$APPDATA\ZEDODER1\dodarav1.pdf"
  CreateShortcut "$SMPROGRAMS\Quilo1\Disinstalla Quilo1.lnk" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${RUN_KEY}" "Quilo1" '"$INSTDIR\Quilo1.exe"'
  ; The local web console: http.sys lets a program that does not run as an
  ; administrator listen only on an address reserved for it (users: execute).
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" http add urlacl url=http://127.0.0.1:8731/ sddl=D:(A;;GX;;;BU)'
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" http add urlacl url=http://localhost:8731/ sddl=D:(A;;GX;;;BU)'
  ; A port chosen in QLCONSOLE.TXT needs its own; one chosen after the
  ; install is named in the program's log with the command to run.
  Call ConsoleUrl
  ${If} $R1 != ""
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" http add urlacl url=$R1 sddl=D:(A;;GX;;;BU)'
  ${EndIf}
  ${If} $R2 != ""
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" http add urlacl url=$R2 sddl=D:(A;;GX;;;BU)'
  ${EndIf}

  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "Quilo1"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" '"$INSTDIR\Quilo1.exe",0'
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" "$0"
SectionEnd

Section "un.Programma" SecUnProgram
  SectionIn RO
  Call un.CloseQuilo1
  Delete "$INSTDIR\Quilo1.exe"
  Delete "$INSTDIR\quilo1-submit.exe"
  Delete "$INSTDIR\dodarav1.pdf"
  Delete "$INSTDIR\uninstall.exe"
  Delete "$APPDATA\ZEDODER1\dodarav1.pdf"
  RMDir /r "$SMPROGRAMS\Quilo1"
  DeleteRegValue HKLM "${RUN_KEY}" "Quilo1"
  DeleteRegKey HKLM "${UNINST_KEY}"
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" http delete urlacl url=http://127.0.0.1:8731/'
  nsExec::ExecToLog '"$SYSDIR\netsh.exe" http delete urlacl url=http://localhost:8731/'
  Call un.ConsoleUrl
  ${If} $R1 != ""
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" http delete urlacl url=$R1'
  ${EndIf}
  ${If} $R2 != ""
    nsExec::ExecToLog '"$SYSDIR\netsh.exe" http delete urlacl url=$R2'
  ${EndIf}
  ; Removed only when no settings file is left in it.
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.Impostazioni e cartella dati" SecPurge
  Delete "$INSTDIR\QLCHKCOM.TXT"
  Delete "$INSTDIR\QLTIMER1.TXT"
  Delete "$INSTDIR\QLCHKSCO.TXT"
  Delete "$INSTDIR\QLCHKXXS.TXT"
  Delete "$INSTDIR\QLVALIVA.txt"
  Delete "$INSTDIR\QLPOSURL.TXT"
  Delete "$INSTDIR\QLCARTREAD.TXT"
  Delete "$INSTDIR\QLCONSOLE.TXT"
  Delete "$INSTDIR\QLTOKEN.TXT"
  RMDir "$INSTDIR"
  ; Only a data directory this installer made, and never through a link.
  System::Call 'kernel32::GetFileAttributesW(w "$APPDATA\ZEDODER1") i .r0'
  ${If} $DataDirCreated == 1
  ${AndIf} $0 <> -1
    IntOp $0 $0 & 0x400
    ${If} $0 = 0
      RMDir /r "$APPDATA\ZEDODER1"
    ${EndIf}
  ${EndIf}
  DeleteRegKey HKLM "${STATE_KEY}"
  DeleteRegValue HKCU "${DATA_KEY}" "CustomPathDataDir"
  DeleteRegKey /ifempty HKCU "${DATA_KEY}"
SectionEnd

Function un.onInit
  SetShellVarContext all
  SetRegView 64
  ReadRegDWORD $DataDirCreated HKLM "${STATE_KEY}" "DataDirCreated"
  ; uninstall.exe /S /PURGE removes the settings and the data directory too.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/PURGE" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPurge} ${SF_SELECTED}
  ${EndIf}
FunctionEnd
