; ZALO AUDIO setup program: a per-user installation (no administrator
; prompt) of the static ZaloAudio.exe, with its uninstaller, in Brazilian
; Portuguese. Built by installer/CMakeLists.txt, which defines:
;   VERSION        the four-part version of resources/version.h
;   PROGRAM_EXE    the built ZaloAudio.exe
;   ICON           resources/zalo_audio.ico
;   QUIT_MESSAGE   the registered window message that asks the program to
;                  quit (ui/quit_request.h)
;   OUTFILE        ZaloAudio-Setup-<version>.exe in the build tree
;
; Command line (besides NSIS's own /S and /D=dir):
;   "Desinstalar ZALO AUDIO.exe" /REMOVESETTINGS   also delete the user's settings
;
; Exit codes: 0 done; 1 cancelled by the user; 2 not done: the program did
; not quit in time (then nothing was changed), a file or registry write
; failed, or the uninstaller was not next to an installation. Files are
; written only after every running copy has ended, and a write that fails
; is reported, never passed over.

Unicode true
Target amd64-unicode
RequestExecutionLevel user
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh

!define PRODUCT "ZALO AUDIO"
!define PUBLISHER "Tecmora"
!define EXE_NAME "ZaloAudio.exe"
; A name of its own: a folder the user picks may already hold another
; product's "Uninstall.exe", which a generic name would overwrite.
!define UNINSTALLER "Desinstalar ${PRODUCT}.exe"
!define SHORTCUT "${PRODUCT}.lnk"
!define MAIN_WINDOW_CLASS "ZaloAudioMainWindow"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZaloAudio"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE "ZaloAudio"
!define SETTINGS_KEY "Software\Tecmora\ZaloAudio"
; The program stops its audio threads and exits within a second; this is
; the bound after which it counts as hung.
!define STOP_TIMEOUT_MS 15000
!define STOP_MAX_ROUNDS 16  ; instances stopped (or retries) before giving up
!define SYNCHRONIZE 0x00100000
!define WAIT_OBJECT_0 0
; WAVEOUTCAPSW: wMid, wPid, vDriverVersion (8 bytes), then szPname[32]
; (WCHAR), dwFormats, wChannels, wReserved1, dwSupport: 84 bytes.
!define WAVEOUTCAPSW_SIZE 84

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${PRODUCT}"
; An upgrade goes where the first installation went.
InstallDirRegKey HKCU "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1046 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1046 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1046 "FileDescription" "Instalador do ${PRODUCT}"
VIAddVersionKey /LANG=1046 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1046 "LegalCopyright" "© ${PUBLISHER}"

Var FinishText

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_PAGE_CUSTOMFUNCTION_PRE FinishPagePre
!define MUI_FINISHPAGE_TEXT "$FinishText"
!define MUI_FINISHPAGE_TEXT_LARGE
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE_NAME}"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "PortugueseBR"

LangString MsgRunning ${LANG_PORTUGUESEBR} "O ${PRODUCT} está em execução e precisa ser fechado para continuar.$\r$\n$\r$\nClique em OK para fechá-lo agora (suas configurações ficam salvas) ou em Cancelar para sair."
LangString MsgStillRunning ${LANG_PORTUGUESEBR} "O ${PRODUCT} não foi fechado.$\r$\n$\r$\nFeche-o pelo ícone na bandeja (Sair) e clique em Repetir, ou clique em Cancelar para sair."
LangString MsgStopFailed ${LANG_PORTUGUESEBR} "O ${PRODUCT} continua em execução e não foi alterado. Feche-o pelo ícone na bandeja (Sair) e tente de novo."
LangString MsgCancelled ${LANG_PORTUGUESEBR} "Operação cancelada; nada foi alterado."
LangString MsgWriteFailed ${LANG_PORTUGUESEBR} "Não foi possível gravar em $INSTDIR. A instalação não foi concluída."
LangString MsgNotInstallation ${LANG_PORTUGUESEBR} "A pasta $INSTDIR não contém uma instalação do ${PRODUCT}. Nada foi removido."
LangString MsgRemoveFailed ${LANG_PORTUGUESEBR} "Não foi possível remover $INSTDIR\${EXE_NAME}. Nada foi removido."
LangString FinishCableMissing ${LANG_PORTUGUESEBR} "O ${PRODUCT} foi instalado, mas o cabo virtual não foi encontrado.$\r$\n$\r$\nInstale o cabo virtual: baixe e instale o VB-Audio Virtual Cable (gratuito, no site da VB-Audio) e reinicie o computador."

; Ends every running ZaloAudio.exe the way its tray menu's "Sair" does: the
; main window gets the quit message, and we wait on the process itself, so
; no file of it is in use afterwards. Interactive runs ask first. A copy
; that does not end in time is left alone (never killed) and the run fails.
!macro DEFINE_STOP_PROGRAM un
Function ${un}StopRunningProgram
  System::Call 'user32::RegisterWindowMessageW(w "${QUIT_MESSAGE}") i .R1'
  StrCpy $R2 0  ; rounds
  StrCpy $R6 0  ; the user agreed
  ${Do}
    FindWindow $R0 "${MAIN_WINDOW_CLASS}"
    ${If} $R0 == 0
      ${Break}
    ${EndIf}
    ${If} $R2 >= ${STOP_MAX_ROUNDS}
    ${OrIf} $R1 == 0
      Call ${un}FailStillRunning
    ${EndIf}
    IntOp $R2 $R2 + 1
    ${IfNot} ${Silent}
    ${AndIf} $R6 == 0
      MessageBox MB_OKCANCEL|MB_ICONEXCLAMATION "$(MsgRunning)" IDOK +2
      Call ${un}FailCancelled
      StrCpy $R6 1
    ${EndIf}
    DetailPrint "Fechando o ${PRODUCT}..."
    ; The handle is opened before the message is posted, so a process that
    ; ends at once is still waited for (and not mistaken for another).
    System::Call 'user32::GetWindowThreadProcessId(p R0, *i .R3) i'
    System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i R3) p .R4'
    ${If} $R4 == 0
      Call ${un}FailStillRunning
    ${EndIf}
    System::Call 'user32::PostMessageW(p R0, i R1, p 0, p 0)'
    System::Call 'kernel32::WaitForSingleObject(p R4, i ${STOP_TIMEOUT_MS}) i .R5'
    System::Call 'kernel32::CloseHandle(p R4)'
    ${If} $R5 != ${WAIT_OBJECT_0}
      ${If} ${Silent}
        Call ${un}FailStillRunning
      ${EndIf}
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(MsgStillRunning)" IDRETRY +2
      Call ${un}FailCancelled
    ${EndIf}
  ${Loop}
FunctionEnd

Function ${un}FailStillRunning
  DetailPrint "$(MsgStopFailed)"
  MessageBox MB_OK|MB_ICONSTOP "$(MsgStopFailed)" /SD IDOK
  SetErrorLevel 2
  Abort
FunctionEnd

Function ${un}FailCancelled
  DetailPrint "$(MsgCancelled)"
  SetErrorLevel 1
  Abort
FunctionEnd
!macroend
!insertmacro DEFINE_STOP_PROGRAM ""
!insertmacro DEFINE_STOP_PROGRAM "un."

Function FailWrite
  DetailPrint "$(MsgWriteFailed)"
  MessageBox MB_OK|MB_ICONSTOP "$(MsgWriteFailed)" /SD IDOK
  SetErrorLevel 2
  Abort
FunctionEnd

Section "${PRODUCT}" SecProgram
  SectionIn RO
  Call StopRunningProgram
  SetOutPath "$INSTDIR"
  ; "try": a file that cannot be written sets the error flag instead of
  ; asking; the run then fails rather than report a copy that did not happen.
  SetOverwrite try
  ClearErrors
  File "${PROGRAM_EXE}"
  ${If} ${Errors}
    Call FailWrite
  ${EndIf}
  WriteUninstaller "$INSTDIR\${UNINSTALLER}"
  ${If} ${Errors}
    Call FailWrite
  ${EndIf}
  CreateShortcut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\${EXE_NAME}"
  SectionGetSize ${SecProgram} $R0  ; KiB
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr HKCU "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINST_KEY}" "UninstallString" '"$INSTDIR\${UNINSTALLER}"'
  WriteRegStr HKCU "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\${UNINSTALLER}" /S'
  WriteRegDWORD HKCU "${UNINST_KEY}" "EstimatedSize" $R0
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINST_KEY}" "NoRepair" 1
  ${If} ${Errors}
    Call FailWrite
  ${EndIf}
SectionEnd

Section /o "Atalho na área de trabalho" SecDesktop
  CreateShortcut "$DESKTOP\${SHORTCUT}" "$INSTDIR\${EXE_NAME}"
  ; Remembered so that the uninstaller removes only a shortcut we made.
  WriteRegDWORD HKCU "${UNINST_KEY}" "DesktopShortcut" 1
SectionEnd

; Sets R0 to 1 when no waveOut playback device has "CABLE Input" in its
; name (case-insensitive, as the program looks for it; Wine cuts the names
; to 31 characters, which keeps that part).
Function FindCable
  StrCpy $R0 1
  System::Call 'winmm::waveOutGetNumDevs() i .R1'
  System::Alloc ${WAVEOUTCAPSW_SIZE}
  Pop $R2
  StrCpy $R3 0
  ${While} $R3 < $R1
    System::Call 'winmm::waveOutGetDevCapsW(p R3, p R2, i ${WAVEOUTCAPSW_SIZE}) i .R4'
    ${If} $R4 == 0
      System::Call '*$R2(&i8, &w32 .R5)'
      System::Call 'shlwapi::StrStrIW(w R5, w "CABLE Input") p .R6'
      ${If} $R6 != 0
        StrCpy $R0 0
        ${Break}
      ${EndIf}
    ${EndIf}
    IntOp $R3 $R3 + 1
  ${EndWhile}
  System::Free $R2
FunctionEnd

Function FinishPagePre
  Call FindCable
  ${If} $R0 == 1
    StrCpy $FinishText "$(FinishCableMissing)"
  ${Else}
    StrCpy $FinishText "$(MUI_TEXT_FINISH_INFO_TEXT)"
  ${EndIf}
FunctionEnd

; Removal is file by file: the folder may hold files of the user's own, and
; it is removed only when nothing else is left in it.
Section "un.${PRODUCT}" UnSecProgram
  SectionIn RO
  Call un.StopRunningProgram
  ClearErrors
  Delete "$INSTDIR\${EXE_NAME}"
  ${If} ${Errors}
    DetailPrint "$(MsgRemoveFailed)"
    MessageBox MB_OK|MB_ICONSTOP "$(MsgRemoveFailed)" /SD IDOK
    SetErrorLevel 2
    Abort
  ${EndIf}
  Delete "$SMPROGRAMS\${SHORTCUT}"
  ReadRegDWORD $R0 HKCU "${UNINST_KEY}" "DesktopShortcut"
  ${If} $R0 == 1
    Delete "$DESKTOP\${SHORTCUT}"
  ${EndIf}
  DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
  DeleteRegKey HKCU "${UNINST_KEY}"
  Delete "$INSTDIR\${UNINSTALLER}"
  RMDir "$INSTDIR"
SectionEnd

Section /o "un.Remover também as configurações" UnSecSettings
  DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

Function un.onInit
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVESETTINGS" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${UnSecSettings} ${SF_SELECTED}
  ${EndIf}
  ; An uninstaller copied or started elsewhere must not touch that folder.
  ; The recorded location still counts when the program file itself is gone.
  ${IfNot} ${FileExists} "$INSTDIR\${EXE_NAME}"
    ReadRegStr $R2 HKCU "${UNINST_KEY}" "InstallLocation"
    ${If} $R2 != $INSTDIR
      MessageBox MB_OK|MB_ICONSTOP "$(MsgNotInstallation)" /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
FunctionEnd
