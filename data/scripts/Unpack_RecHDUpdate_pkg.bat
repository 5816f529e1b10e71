@echo off
REM Unpack_RecHDUpdate_pkg.bat: extracts the HFS+ partition image of a Recovery HD update.
REM Usage: Unpack_RecHDUpdate_pkg.bat RecoveryHDUpdate.pkg [output folder]
REM   Runs in the current folder, which holds 7z.exe and 7z.dll and receives the
REM   intermediate images: the package (a xar archive) holds RecoveryHDMeta.dmg, whose
REM   volume holds BaseSystem.dmg, whose HFS+ partition is written to the output folder
REM   (default: the current folder) as N.hfs.
REM Exit codes: 0 done, 1 no package named, 2 package not found, 3 output folder not
REM   found, 4 an extraction failed ("Extract Error").
REM The output folder is passed quoted, so folders with spaces work. A crashed archiver
REM ends with a negative code, which "if errorlevel 1" would let pass.
if "%~1"=="" goto Usage
if not exist "%~1" goto NoArchive
set OutputPath=.
if not "%~2"=="" set OutputPath="%~2"
if not exist %OutputPath% goto NoOutput

7z e -w -r -txar -y -- "%~1" RecoveryHDMeta.dmg
if %errorlevel% neq 0 goto ExtractError
7z e -w -r -y -- RecoveryHDMeta.dmg BaseSystem.dmg
if %errorlevel% neq 0 goto ExtractError
del /Q RecoveryHDMeta.dmg
7z e -w -tdmg -o%OutputPath% -y -- BaseSystem.dmg *.hfs
if %errorlevel% neq 0 goto ExtractError
del /Q BaseSystem.dmg
exit /b 0

:Usage
echo Usage: %~nx0 RecoveryHDUpdate.pkg
exit /b 1

:NoArchive
echo Archive: "%~1" not found
exit /b 2

:NoOutput
echo Output Directory: "%~2" not found
exit /b 3

:ExtractError
echo Extract Error
exit /b 4
