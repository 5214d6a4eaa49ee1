; corvina's Windows setup: installs the staged package, registers the filters
; for every bitness Windows runs (x64 and x86 on 64-bit Windows, x86 alone on
; 32-bit Windows), and adds one "Programs and Features" entry whose
; uninstaller undoes it all. Built by package/make-setup.sh:
;
;   makensis -DVERSION=1.2.3 -DSTAGE=/abs/stage -DFILES=/abs/files.nsh
;            -DOUTFILE=/abs/setup.exe [-DTARGET=amd64-unicode] setup.nsi
;
; FILES (written by make-setup.sh from the staged folder) defines the macros
; CorvinaInstall_GROUP and CorvinaRemove_GROUP for the groups common,
; include, x86 and x64, so the uninstaller deletes exactly the files the
; setup wrote.
;
; Exit status (SetErrorLevel): 0 done; 3010 done, but a file in use is
; replaced at the next restart; 1 without administrator rights (nothing
; changed); 2 cancelled by the user; 3 a step failed (the setup then
; unregisters what it registered and removes what it installed).

Unicode true
!ifdef TARGET
Target ${TARGET}
; In a 64-bit setup x64.nsh's run-time tests are constants: their other
; branches go unused.
!pragma warning disable 6012
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestSupportedOS all

!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include StrFunc.nsh
!include WinMessages.nsh

${StrStr}
${UnStrRep}

!define PUBLISHER "The corvina developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\corvina"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define SETTINGS_KEY "Software\corvina"
!define kStatusNotAdmin 1
!define kStatusFailed 3
!define kStatusRestartNeeded 3010 ; ERROR_SUCCESS_REBOOT_REQUIRED

Name "corvina ${VERSION}"
OutFile "${OUTFILE}"
; No InstallDir: $INSTDIR is empty in .onInit unless /D= was given, so the
; folder of an installed copy can be kept on an upgrade.
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=0 ProductName "corvina"
VIAddVersionKey /LANG=0 FileDescription "corvina ${VERSION} setup"
VIAddVersionKey /LANG=0 FileVersion "${VERSION}"
VIAddVersionKey /LANG=0 ProductVersion "${VERSION}"
VIAddVersionKey /LANG=0 CompanyName "${PUBLISHER}"
VIAddVersionKey /LANG=0 LegalCopyright "The corvina developers; MIT License"

!include "${FILES}"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

; Which bitnesses this run registered ("1"), for the undo after a failure.
Var registeredx64
Var registeredx86
; "1" where this Windows runs x86 programs.
Var hasX86
; The tools' folder to put on the system PATH (only with that component).
Var toolsDir

!macro UseNativeViews
  ; The setup is a 32-bit program: on 64-bit Windows the entry belongs in
  ; the 64-bit registry view.
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
!macroend

!macro RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP|MB_OK "corvina: administrator rights are needed to register the filters for all users. Run the setup again and allow it to make changes. Nothing was changed." /SD IDOK
    SetErrorLevel ${kStatusNotAdmin}
    Quit
  ${EndIf}
!macroend

; RunRegsvr32 BITNESS FLAGS: $0 := the exit status of that bitness's
; regsvr32 on its module. From a 32-bit program, System32 is SysWOW64 unless
; the redirection is off.
!macro RunRegsvr32 bitness flags
  ClearErrors
  !if "${bitness}" == "x64"
    ${DisableX64FSRedirection}
    ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${flags} "$INSTDIR\x64\corvina.ax"' $0
    ${EnableX64FSRedirection}
  !else
    ${If} ${RunningX64}
      ExecWait '"$WINDIR\SysWOW64\regsvr32.exe" /s ${flags} "$INSTDIR\x86\corvina.ax"' $0
    ${Else}
      ExecWait '"$WINDIR\System32\regsvr32.exe" /s ${flags} "$INSTDIR\x86\corvina.ax"' $0
    ${EndIf}
  !endif
  ${If} ${Errors}
    StrCpy $0 "not started"
  ${EndIf}
!macroend

; On ARM64 Windows the System32 regsvr32 is an ARM64 program, which cannot
; load an x64 module: there only the x86 filters are installed.
!define HasX64 `${IsNativeAMD64}`
; A 64-bit Windows may lack its 32-bit subsystem (SysWOW64): no x86 there.
!macro FindX86Subsystem
  StrCpy $hasX86 "1"
  ${If} ${RunningX64}
    ${DisableX64FSRedirection}
    ${IfNot} ${FileExists} "$WINDIR\SysWOW64\regsvr32.exe"
      StrCpy $hasX86 ""
    ${EndIf}
    ${EnableX64FSRedirection}
  ${EndIf}
!macroend

; CorvinaPut SOURCE TARGET: the new file goes beside TARGET and is then
; swapped in. A module that a player holds cannot be deleted: it is replaced
; at the next restart instead (Rename /REBOOTOK sets the reboot flag).
!macro CorvinaPut source target
  File "/oname=${target}.new" "${source}"
  Delete "${target}"
  Rename /REBOOTOK "${target}.new" "${target}"
!macroend

; CorvinaDelete TARGET: a file a player holds goes at the next restart.
!macro CorvinaDelete target
  Delete /REBOOTOK "${target}"
  Delete "${target}.new"
!macroend

; Every file and folder the setup writes, and nothing else: the user's own
; files in the folder stay, and so does the folder then.
!macro RemoveInstalledFiles
  ; Not from inside: the working folder cannot be removed.
  SetOutPath "$TEMP"
  !insertmacro CorvinaRemove_x64
  !insertmacro CorvinaRemove_x86
  !insertmacro CorvinaRemove_include
  !insertmacro CorvinaRemove_common
  Delete /REBOOTOK "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR\x64"
  RMDir "$INSTDIR\x86"
  RMDir "$INSTDIR\include"
  RMDir /REBOOTOK "$INSTDIR"
!macroend

!macro TellEnvironmentChanged
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
!macroend

Function .onUserAbort
  SetErrorLevel 2
FunctionEnd

; FailInstall, with the failed step in $1: unregisters what this run
; registered, removes what it installed, says which step failed, status 3.
Function FailInstall
  DetailPrint "FAILED: $1"
  ${If} $registeredx64 == "1"
    DetailPrint "undoing x64"
    !insertmacro RunRegsvr32 x64 /u
  ${EndIf}
  ${If} $registeredx86 == "1"
    DetailPrint "undoing x86"
    !insertmacro RunRegsvr32 x86 /u
  ${EndIf}
  !insertmacro RemoveInstalledFiles
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  MessageBox MB_ICONSTOP|MB_OK "corvina setup FAILED: $1.$\r$\nNothing is installed." /SD IDOK
  SetErrorLevel ${kStatusFailed}
  Quit
FunctionEnd

!macro Register bitness
  DetailPrint "register ${bitness}\corvina.ax"
  !insertmacro RunRegsvr32 ${bitness} ""
  ${If} $0 != 0
    StrCpy $1 "regsvr32 could not register ${bitness}\corvina.ax (status $0)"
    Call FailInstall
  ${EndIf}
  StrCpy $registered${bitness} "1"
!macroend

Section "corvina filters" SecFilters
  SectionIn RO
  StrCpy $registeredx64 ""
  StrCpy $registeredx86 ""
  SetOutPath "$INSTDIR"
  !insertmacro CorvinaInstall_common
  !insertmacro CorvinaInstall_include
  ${If} ${HasX64}
    !insertmacro CorvinaInstall_x64
  ${EndIf}
  !insertmacro CorvinaInstall_x86
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ${If} ${HasX64}
    !insertmacro Register x64
  ${EndIf}
  ${If} $hasX86 == "1"
    !insertmacro Register x86
  ${Else}
    DetailPrint "no 32-bit subsystem on this Windows: x86 not registered"
  ${EndIf}

  ; One entry, whichever version was there before.
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "corvina ${VERSION} (ADX DirectShow filters)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe,0"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntFmt $0 "0x%08X" $0
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Command-line tools on the system PATH" SecPath
  ${If} ${HasX64}
    StrCpy $toolsDir "$INSTDIR\x64"
  ${Else}
    StrCpy $toolsDir "$INSTDIR\x86"
  ${EndIf}
  ClearErrors
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  StrLen $2 "$0;$toolsDir;"
  ${If} ${Errors}
  ${OrIf} $2 >= ${NSIS_MAX_STRLEN}
    ; Unreadable, or too long to change without cutting it: the user's PATH
    ; stays whole.
    DetailPrint "This setup cannot change the system PATH: add $toolsDir to it yourself"
    Return
  ${EndIf}
  ${StrStr} $2 ";$0;" ";$toolsDir;"
  ${If} $2 != ""
    ; Already there: from the installed copy (its entry stays recorded) or
    ; the user's own (never removed by the uninstaller).
    DetailPrint "$toolsDir is on the PATH already"
    Return
  ${EndIf}
  ${If} $0 == ""
    StrCpy $0 "$toolsDir"
  ${Else}
    StrCpy $2 $0 1 -1
    ${If} $2 == ";"
      StrCpy $0 "$0$toolsDir"
    ${Else}
      StrCpy $0 "$0;$toolsDir"
    ${EndIf}
  ${EndIf}
  WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "PathEntry" "$toolsDir"
  !insertmacro TellEnvironmentChanged
  DetailPrint "added $toolsDir to the system PATH"
SectionEnd

Section /o "Loop playback on by default (this user)" SecLoop
  ; Read by the parser when a stream connects; HKCU of the user who runs
  ; the setup. The uninstaller leaves this setting alone.
  WriteRegDWORD HKCU "${SETTINGS_KEY}" "LoopByDefault" 1
SectionEnd

Function .onInit
  !insertmacro RequireAdmin
  !insertmacro UseNativeViews
  !insertmacro FindX86Subsystem
  ; The optional components, for silent use: /TOOLSONPATH, /LOOPBYDEFAULT.
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/TOOLSONPATH" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecPath} ${SF_SELECTED}
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/LOOPBYDEFAULT" $R1
  ${IfNot} ${Errors}
    SectionSetFlags ${SecLoop} ${SF_SELECTED}
  ${EndIf}
  ${If} $INSTDIR == ""
    ; An upgrade stays in the folder the user chose for the installed copy.
    ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\corvina"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\corvina"
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInstSuccess
  ${If} ${RebootFlag}
    DetailPrint "A player is using corvina's files: the new ones take their place at the next restart of Windows."
    MessageBox MB_ICONINFORMATION|MB_OK "A player is using corvina's files: the new ones take their place at the next restart of Windows." /SD IDOK
    ; Done, with a restart to come: what installers report then.
    SetErrorLevel ${kStatusRestartNeeded}
  ${EndIf}
FunctionEnd

Function un.onInit
  !insertmacro RequireAdmin
  !insertmacro UseNativeViews
  !insertmacro FindX86Subsystem
FunctionEnd

!macro Unregister bitness
  ${If} ${FileExists} "$INSTDIR\${bitness}\corvina.ax"
    DetailPrint "unregister ${bitness}\corvina.ax"
    !insertmacro RunRegsvr32 ${bitness} /u
    ${If} $0 != 0
      DetailPrint "FAILED: regsvr32 could not unregister ${bitness}\corvina.ax (status $0)"
      StrCpy $3 "1"
    ${EndIf}
  ${EndIf}
!macroend

Section Uninstall
  StrCpy $3 ""
  ${If} ${RunningX64}
    !insertmacro Unregister x64
  ${EndIf}
  ${If} $hasX86 == "1"
    !insertmacro Unregister x86
  ${EndIf}

  ; Only the PATH entry this setup added, and only that one.
  ReadRegStr $toolsDir HKLM "${UNINSTALL_KEY}" "PathEntry"
  ${If} $toolsDir != ""
    ClearErrors
    ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
    StrLen $2 ";$0;"
    ${If} ${Errors}
    ${OrIf} $2 >= ${NSIS_MAX_STRLEN}
      DetailPrint "This uninstaller cannot change the system PATH: remove $toolsDir from it yourself"
    ${Else}
      ${UnStrRep} $1 ";$0;" ";$toolsDir;" ";"
      StrCpy $1 $1 "" 1
      StrCpy $1 $1 -1
      ${If} $1 != $0
        WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$1"
        !insertmacro TellEnvironmentChanged
      ${EndIf}
    ${EndIf}
  ${EndIf}

  !insertmacro RemoveInstalledFiles
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ${If} $3 == "1"
    MessageBox MB_ICONSTOP|MB_OK "corvina: a module could not be unregistered (see the details); its files were removed." /SD IDOK
    SetErrorLevel ${kStatusFailed}
  ${EndIf}
SectionEnd
