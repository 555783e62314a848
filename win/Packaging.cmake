# The Windows packages, made by cpack in the cross build: Twinframe-1.00-win64.exe, an NSIS
# installer, and Twinframe-1.00-win64.zip, the same files to unpack anywhere.
set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_FILE_NAME "Twinframe-${CPACK_PACKAGE_VERSION}-win64")
set(CPACK_STRIP_FILES ON) # the debugging symbols stay in the build, not in what people download
set(CPACK_PACKAGE_INSTALL_DIRECTORY Twinframe)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Twinframe)
set(CPACK_PACKAGE_EXECUTABLES twinframe Twinframe) # the Start menu entry
set(CPACK_NSIS_PACKAGE_NAME Twinframe)
set(CPACK_NSIS_DISPLAY_NAME Twinframe)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_INSTALLED_ICON_NAME twinframe.exe) # Add/Remove Programs shows the program's icon
set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/resources/twinframe.ico")
set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/resources/twinframe.ico")
set(CPACK_NSIS_URL_INFO_ABOUT "https://twinframe.example.org")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The installer's own version data (Explorer's Details tab) and its footer, which would otherwise
# name the installer system and its version.
# (BrandingText is given here: CPack's own setting adds /TRIMLEFT, which makensis refuses when
# not running on Windows.)
# A 64-bit installer for 64-bit programs (Target): it sees the registry's and Program Files'
# 64-bit views as they are, and runs wherever the programs can, also where 32-bit programs cannot.
set(CPACK_NSIS_DEFINES [=[
  Target amd64-unicode
  BrandingText "Twinframe ${CPACK_PACKAGE_VERSION}"
  VIProductVersion "${PROJECT_VERSION}"
  VIFileVersion "${PROJECT_VERSION}"
  VIAddVersionKey /LANG=1033 "ProductName" "Twinframe"
  VIAddVersionKey /LANG=1033 "FileDescription" "Twinframe ${CPACK_PACKAGE_VERSION} Setup"
  VIAddVersionKey /LANG=1033 "FileVersion" "${CPACK_PACKAGE_VERSION}"
  VIAddVersionKey /LANG=1033 "ProductVersion" "${CPACK_PACKAGE_VERSION}"
  VIAddVersionKey /LANG=1033 "CompanyName" "${CPACK_PACKAGE_VENDOR}"
  VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 The Twinframe developers, MIT License"
  VIAddVersionKey /LANG=1033 "OriginalFilename" "${CPACK_PACKAGE_FILE_NAME}.exe"]=])
string(CONFIGURE "${CPACK_NSIS_DEFINES}" CPACK_NSIS_DEFINES)
string(REPLACE "\"" "\\\"" CPACK_NSIS_DEFINES "${CPACK_NSIS_DEFINES}") # read again by CPack
set(CPACK_NSIS_MODIFY_PATH OFF)
# "Open with Twinframe" for .mpo files, beside whatever program opens them by default. (The
# quotes are escaped twice: CPack writes these into a CMake file of its own and reads it again.)
set(open_with "${PROJECT_SOURCE_DIR}/win/openWith.nsh")
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS
    "!include \\\"${open_with}\\\"\n!insertmacro TwinframeOpenWithInstall")
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS
    "!include \\\"${open_with}\\\"\n!insertmacro TwinframeStartMenuUninstall\n!insertmacro TwinframeOpenWithUninstall")

# Beside the programs: what they are and how to use them, and the licence.
install(FILES ${PROJECT_SOURCE_DIR}/win/README.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
