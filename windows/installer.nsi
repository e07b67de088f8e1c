; The Windows installer: per user, into the user's programs folder, with a Start-menu entry and
; an uninstaller. scripts/deploy-windows runs makensis with VERSION, SOURCE (the deployed
; folder), ICON and OUTFILE defined.
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user

Name "Konfigurator ${VERSION}"
OutFile "${OUTFILE}"
Icon "${ICON}"
UninstallIcon "${ICON}"
InstallDir "$LOCALAPPDATA\Programs\Konfigurator"
InstallDirRegKey HKCU "Software\Konfigurator" "InstallDir"

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Konfigurator"

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "Konfigurator"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  File /r "${SOURCE}/*"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "Software\Konfigurator" "InstallDir" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Konfigurator"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\konfigurator.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ; The console keeps config.ini in its working folder: started from the menu, that is
  ; %APPDATA%\Konfigurator (the shortcut's "start in" is the output path when it is made).
  CreateDirectory "$APPDATA\Konfigurator"
  SetOutPath "$APPDATA\Konfigurator"
  CreateShortcut "$SMPROGRAMS\Konfigurator.lnk" "$INSTDIR\konfigurator.exe"
SectionEnd

Section "Uninstall"
  SetShellVarContext current
  Delete "$SMPROGRAMS\Konfigurator.lnk"
  ; Only what the installer put there; %APPDATA%\Konfigurator with config.ini stays.
  Delete "$INSTDIR\*.exe"
  Delete "$INSTDIR\*.dll"
  RMDir /r "$INSTDIR\platforms"
  RMDir /r "$INSTDIR\styles"
  RMDir /r "$INSTDIR\imageformats"
  RMDir /r "$INSTDIR\licences"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\Konfigurator"
SectionEnd
