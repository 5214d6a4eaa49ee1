@echo off
rem Unregisters corvina's DirectShow filters: install.cmd /u (see there).
call "%~dp0install.cmd" /u
exit /b %errorlevel%
