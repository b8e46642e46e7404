; A host setup program for the KX2 token client runtime, as an NSIS script: it carries the front
; Inst_kx2.dll, asks it whether an installation may start, installs with the user's language and
; removes the runtime again from its uninstaller. The front's exports use the caller-cleans
; (cdecl) convention, hence "?c" on every System::Call.
;
;   makensis -DDIST=path\to\dist -DOUT=kx2-setup.exe kx2-setup.nsi
;   kx2-setup.exe /S              silent: exit code 0, 3010 (restart needed) or 1603 (failed)
;   "<install folder>\uninstall.exe" /S
;
; Front results: kx_PrePareCheck 0 may install, 8 a restart is pending, 9 Windows not supported;
; kx_Install and kx_Uninstall 0 done, 1 done and a restart is needed, 2 the engine failed,
; 4 staging failed, 5 bad language selector.

Unicode false
!include LogicLib.nsh

!ifndef DIST
  !define DIST "..\..\dist"
!endif
!ifndef OUT
  !define OUT "kx2-setup.exe"
!endif

Name "KX2 token client runtime"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES\KX2 Setup"
RequestExecutionLevel admin
ShowInstDetails show
ShowUninstDetails show

!macro Fail TEXT
  DetailPrint "${TEXT}"
  IfSilent +2
    MessageBox MB_ICONSTOP "${TEXT}"
  SetErrorLevel 1603
  Abort "${TEXT}"
!macroend

Section "Token client runtime"
  SetOutPath "$INSTDIR"
  File "${DIST}\Inst_kx2.dll"

  System::Call '"$INSTDIR\Inst_kx2.dll"::kx_PrePareCheck() i .r0 ?c'
  ${If} $0 == 8
    !insertmacro Fail "A restart from an earlier installation is still pending. Restart Windows, then run the setup again."
  ${ElseIf} $0 == 9
    !insertmacro Fail "This version of Windows is not supported."
  ${ElseIf} $0 != 0
    !insertmacro Fail "The pre-check failed with code $0."
  ${EndIf}

  DetailPrint "Installing the token client runtime..."
  ; Selector 3: the language follows the user's default language.
  System::Call '"$INSTDIR\Inst_kx2.dll"::kx_Install(i 0, i 3) i .r0 ?c'
  ${If} $0 == 1
    DetailPrint "Installed; a restart is needed to complete it."
    SetRebootFlag true
    SetErrorLevel 3010
  ${ElseIf} $0 == 0
    DetailPrint "Installed."
  ${Else}
    !insertmacro Fail "The installation failed (code $0); see the setup log in the Temp folder under Windows."
  ${EndIf}

  WriteUninstaller "$INSTDIR\uninstall.exe"
SectionEnd

Section "Uninstall"
  DetailPrint "Removing the token client runtime..."
  System::Call '"$INSTDIR\Inst_kx2.dll"::kx_Uninstall() i .r0 ?c?u'
  ${If} $0 == 1
    DetailPrint "Removed; a restart is needed to complete it."
    SetRebootFlag true
    SetErrorLevel 3010
  ${ElseIf} $0 != 0
    !insertmacro Fail "The removal failed (code $0); see the setup log in the Temp folder under Windows."
  ${EndIf}
  Delete "$INSTDIR\Inst_kx2.dll"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
SectionEnd
