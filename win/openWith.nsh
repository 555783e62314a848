; "Open with Twinframe" for .mpo files. Twinframe is offered for them (the "Open with" list and a
; verb of its own on the file's menu) and never made their default program: the file type's own
; key and its default verb are left to the viewer the user has.
!ifndef TWINFRAME_OPEN_WITH_NSH
!define TWINFRAME_OPEN_WITH_NSH

!macro TwinframeOpenWithInstall
  WriteRegStr SHCTX "Software\Classes\Applications\twinframe.exe" "FriendlyAppName" "Twinframe"
  WriteRegStr SHCTX "Software\Classes\Applications\twinframe.exe\SupportedTypes" ".mpo" ""
  WriteRegStr SHCTX "Software\Classes\Applications\twinframe.exe\shell\open\command" "" \
    '"$INSTDIR\twinframe.exe" "%1"'
  ; Both verbs take any number of selected files at once (the default offers a verb on at most
  ; 15). Explorer may still start the command once per file: the window then gathers them.
  WriteRegStr SHCTX "Software\Classes\Applications\twinframe.exe\shell\open" \
    "MultiSelectModel" "Player"
  WriteRegStr SHCTX "Software\Classes\.mpo\OpenWithList\twinframe.exe" "" ""
  WriteRegStr SHCTX "Software\Classes\SystemFileAssociations\.mpo\shell\Twinframe" "" \
    "Open with Twinframe"
  WriteRegStr SHCTX "Software\Classes\SystemFileAssociations\.mpo\shell\Twinframe" "Icon" \
    '"$INSTDIR\twinframe.exe",0'
  WriteRegStr SHCTX "Software\Classes\SystemFileAssociations\.mpo\shell\Twinframe" \
    "MultiSelectModel" "Player"
  WriteRegStr SHCTX "Software\Classes\SystemFileAssociations\.mpo\shell\Twinframe\command" "" \
    '"$INSTDIR\twinframe.exe" "%1"'
!macroend

; Removes what the installer added, and the keys above it only where nothing else is in them.
; (Run after the uninstaller has read its settings, the Start menu folder included, and before
; it removes its files.)
!macro TwinframeOpenWithUninstall
  DeleteRegKey SHCTX "Software\Classes\Applications\twinframe.exe"
  DeleteRegKey SHCTX "Software\Classes\.mpo\OpenWithList\twinframe.exe"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.mpo\OpenWithList"
  DeleteRegKey /ifempty SHCTX "Software\Classes\.mpo"
  DeleteRegKey SHCTX "Software\Classes\SystemFileAssociations\.mpo\shell\Twinframe"
  DeleteRegKey /ifempty SHCTX "Software\Classes\SystemFileAssociations\.mpo\shell"
  DeleteRegKey /ifempty SHCTX "Software\Classes\SystemFileAssociations\.mpo"
  ; The installer's own key (install folder, Start menu folder), read by now, and the vendor's
  ; key above it, which the generic uninstaller would leave empty behind.
  DeleteRegKey SHCTX "Software\The Twinframe developers\Twinframe"
  DeleteRegKey /ifempty SHCTX "Software\The Twinframe developers"
!macroend

; The Start menu folder the user chose on the installer's page ("Foto Tools", say), emptied and
; removed. It must be read before the installer's key that holds its name is deleted: the
; generic uninstall that follows reads it only after that, and would clean the default folder.
!macro TwinframeStartMenuUninstall
  !insertmacro MUI_STARTMENU_GETFOLDER Application $MUI_TEMP
  StrCpy $0 $MUI_TEMP 1
  StrCmp $0 ">" twinframeStartMenuDone ; no shortcuts were made
  Delete "$SMPROGRAMS\$MUI_TEMP\Twinframe.lnk"
  Delete "$SMPROGRAMS\$MUI_TEMP\Uninstall.lnk"
  ; The folder, then each folder above it that is left empty ("Tools\Twinframe"), never the
  ; Start menu's own Programs folder.
  StrCpy $MUI_TEMP "$SMPROGRAMS\$MUI_TEMP"
  twinframeStartMenuLoop:
    ClearErrors
    RMDir $MUI_TEMP
    IfErrors twinframeStartMenuDone
    GetFullPathName $MUI_TEMP "$MUI_TEMP\.."
    IfErrors twinframeStartMenuDone
    StrCmp $MUI_TEMP $SMPROGRAMS twinframeStartMenuDone twinframeStartMenuLoop
  twinframeStartMenuDone:
!macroend

!endif
