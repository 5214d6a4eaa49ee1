@echo off
rem Registers corvina's DirectShow filters for every bitness this Windows runs:
rem x64\corvina.ax with the system's 64-bit regsvr32 and x86\corvina.ax with
rem the 32-bit one (SysWOW64 on 64-bit Windows, System32 on 32-bit Windows).
rem uninstall.cmd runs this script with /u to unregister them again.
rem
rem Exit status: 0 done; 1 not run as administrator (nothing changed);
rem 2 the package is incomplete (nothing changed); 3 a step failed (install:
rem what this run had registered is unregistered again).
rem No delayed expansion: it would eat every "!" of the package's path.
setlocal EnableExtensions DisableDelayedExpansion
set "package=%~dp0"
rem Started through an 8.3 path (C:\PROGRA~1\...), regsvr32 would record
rem that form for the modules: register the long one.
call :long_path
set "me=install"
set "script=%~f0"
set "verb=register"
set "flag="
if /i "%~1"=="/u" (
    set "me=uninstall"
    set "script=%~dp0uninstall.cmd"
    set "verb=unregister"
    set "flag=/u"
)

rem A 32-bit cmd on 64-bit Windows sees SysWOW64 under the name System32;
rem Sysnative is the real one there.
set "system=%SystemRoot%\System32"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "system=%SystemRoot%\Sysnative"
set "arch=%PROCESSOR_ARCHITECTURE%"
if defined PROCESSOR_ARCHITEW6432 set "arch=%PROCESSOR_ARCHITEW6432%"

set "bitnesses="
set "regsvr32_x64="
set "regsvr32_x86="
if /i "%arch%"=="AMD64" (
    set "bitnesses=x64"
    set "regsvr32_x64=%system%\regsvr32.exe"
)
if /i "%arch%"=="x86" (
    set "bitnesses=x86"
    set "regsvr32_x86=%system%\regsvr32.exe"
) else if exist "%SystemRoot%\SysWOW64\regsvr32.exe" (
    set "bitnesses=%bitnesses% x86"
    set "regsvr32_x86=%SystemRoot%\SysWOW64\regsvr32.exe"
)
if not defined bitnesses (
    echo %me%: this Windows runs neither x86 nor x64 programs ^(%arch%^); nothing to do
    exit /b 3
)
rem ARM64 Windows runs x86 and (Windows 11) x64 programs, but its System32
rem regsvr32 is an ARM64 program that cannot load an x64 module.
if /i "%arch%"=="ARM64" echo %me%: ARM64 Windows: only the x86 filters; players built for x64 do not see them

rem Registration writes to HKEY_LOCAL_MACHINE, so check that first with a
rem key of our own. (Wine runs every program as administrator, and has
rem neither `net session` nor `fltmc`: the probe is what works on both.)
set "probe=HKLM\SOFTWARE\Classes\corvina.admin-check"
"%system%\reg.exe" add "%probe%" /f >nul 2>&1
if errorlevel 1 goto :not_admin
"%system%\reg.exe" delete "%probe%" /f >nul 2>&1

rem Every module first: a damaged package registers nothing.
set "missing=0"
for %%b in (x64 x86) do (
    if not exist "%package%%%b\corvina.ax" (
        echo %me%: %%b\corvina.ax is missing: the package is damaged; unzip it again
        set "missing=1"
    )
)
if %missing%==1 (
    echo %me%: nothing was changed
    exit /b 2
)

if not defined regsvr32_x86 echo %me%: no 32-bit subsystem on this Windows: x86 skipped
set "done="
set "failed=0"
set "failed_bitness="
for %%b in (%bitnesses%) do (
    call :step %%b
    if errorlevel 1 (
        set "failed=1"
        set "failed_bitness=%%b"
        if "%flag%"=="" goto :roll_back
    ) else (
        call :mark_done %%b
    )
)
if %failed%==1 (
    echo %me%: FAILED: see above
    exit /b 3
)
if "%flag%"=="" (
    echo %me%: done: corvina's filters are registered for%done%
) else (
    echo %me%: done: corvina's filters are unregistered for%done%
)
exit /b 0

:roll_back
set "undone=1"
rem The failed bitness too: its regsvr32 may have stopped halfway, after the
rem class keys.
for %%b in (%done% %failed_bitness%) do call :undo %%b
if "%undone%"=="1" (
    echo %me%: FAILED: nothing is registered; see above
) else (
    echo %me%: FAILED: see above; uninstall.cmd removes what is left
)
exit /b 3

rem :mark_done BITNESS adds it to the bitnesses done: a subroutine, so that
rem %done% is read when the line runs, not when the loop was read.
:mark_done
set "done=%done% %1"
exit /b 0

rem :pick_tool BITNESS sets tool to that bitness's regsvr32.
:pick_tool
if "%1"=="x64" (set "tool=%regsvr32_x64%") else set "tool=%regsvr32_x86%"
exit /b 0

rem :undo BITNESS unregisters what this run registered for that bitness.
rem regsvr32's status 3 says the module could not be loaded: then it had not
rem registered anything either.
:undo
call :pick_tool %1
echo %me%: undoing %1
"%tool%" /s /u "%package%%1\corvina.ax"
set "status=%errorlevel%"
if "%status%"=="0" exit /b 0
if "%status%"=="3" exit /b 0
echo %me%: FAILED: regsvr32 could not unregister %1\corvina.ax ^(status %status%^)
set "undone=0"
exit /b 0

rem :long_path sets package to the long form of its path. A folder name with
rem a "~" may be an 8.3 name: a wildcard matches 8.3 names too and yields
rem the long one; of several matches the one whose 8.3 name it is wins.
:long_path
if not "%package:~1,2%"==":\" exit /b 0
set "long=%package:~0,3%"
set "rest=%package:~3%"
:long_path_next
if not defined rest (
    set "package=%long%"
    exit /b 0
)
for /f "eol=\ tokens=1* delims=\" %%A in ("%rest%") do (
    set "name=%%A"
    set "rest=%%B"
)
set "head="
for /f "eol=\ delims=~" %%A in ("%name%") do set "head=%%A"
if not "%head%"=="%name%" call :long_name
set "long=%long%%name%\"
goto :long_path_next

rem :long_name replaces name, an 8.3 name in the folder long, by its long
rem name. (Unquoted: 8.3 names hold no blanks, and quoted wildcards fail in
rem some cmds.)
:long_name
set "matches=0"
set "first="
set "exact="
if not exist "%long%" exit /b 0
pushd "%long%"
for /d %%D in (%name%*) do (
    set /a matches+=1
    if not defined first set "first=%%~nxD"
    if /i "%%~snxD"=="%name%" set "exact=%%~nxD"
)
popd
if defined exact (
    set "name=%exact%"
) else if "%matches%"=="1" (
    set "name=%first%"
)
exit /b 0

rem :step BITNESS runs that bitness's regsvr32 on its module.
:step
call :pick_tool %1
echo %me%: %verb% %1\corvina.ax with %tool%
"%tool%" /s %flag% "%package%%1\corvina.ax"
set "status=%errorlevel%"
if not "%status%"=="0" (
    echo %me%: FAILED: regsvr32 could not %verb% %1\corvina.ax ^(status %status%^)
    exit /b 1
)
echo %me%: %1 ok
exit /b 0

:not_admin
echo %me%: administrator rights are needed to %verb% the filters for all users.
echo %me%: right-click "Command Prompt", choose "Run as administrator", and run
echo %me%: "%script%" there. Nothing was changed.
exit /b 1
