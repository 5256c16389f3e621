# Windows layout: one folder, the programs and Help.htm side by side (the
# desktop program opens the page from its own folder). The programs link
# their runtime statically, so there are no DLLs to carry.
#   velmoro-downloader.exe
#   velmoro-downloader-cli.exe
#   Help.htm
#   web\index.html and its files   (with VELMORO_WEB_SITE: the browser page)
#
# Two packages from it (`./dev windows`, which runs `cpack -G "ZIP;NSIS"`):
#   velmoro-downloader-<version>-win64.zip   unpack anywhere and run
#   velmoro-downloader-<version>-win64.exe   installer (NSIS): Program Files,
#       Start menu entries (the desktop program, a command prompt in the
#       program's folder, the help page, the uninstaller), an entry in Apps &
#       features. /S installs
#       silently, /D=DIR chooses the folder (last on the command line).

install(TARGETS velmoro-downloader ${velmoro_cli_programs}
    RUNTIME DESTINATION .
    COMPONENT ${VELMORO_INSTALL_COMPONENT})
install(FILES ${velmoro_help_page}
    DESTINATION .
    COMPONENT ${VELMORO_INSTALL_COMPONENT})

if(VELMORO_WEB_SITE)
    install(DIRECTORY ${VELMORO_WEB_SITE}/
        DESTINATION web
        COMPONENT ${VELMORO_INSTALL_COMPONENT})
endif()

set(CPACK_PACKAGE_NAME velmoro-downloader)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Velmoro Downloader developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Loads firmware and object catalogues into a telescope hand controller")
set(CPACK_PACKAGE_FILE_NAME "velmoro-downloader-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Velmoro Downloader")
# Only our component: see the top of install.cmake.
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${PROJECT_BINARY_DIR};${PROJECT_NAME};${VELMORO_INSTALL_COMPONENT};/")
set(CPACK_STRIP_FILES ON)

# The entry in the list of installed programs: one key whatever the version,
# so that a newer installer (which runs the old uninstaller first) leaves one
# entry; the version stands in its own field.
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Velmoro Downloader")
set(CPACK_NSIS_DISPLAY_NAME "Velmoro Downloader")
# The installer's name, and the Start menu folder it proposes: without the
# version, which an upgrade would leave behind in the folder's name.
set(CPACK_NSIS_PACKAGE_NAME "Velmoro Downloader")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
# The last page offers to start the program.
set(CPACK_NSIS_MUI_FINISHPAGE_RUN "velmoro-downloader.exe")
# The programs stand in the installation folder itself, with no bin\ below
# it: the desktop program's Start menu entry (CPACK_PACKAGE_EXECUTABLES) and
# the last page's Run look for it where this says, bin\ unless told.
set(CPACK_NSIS_EXECUTABLES_DIRECTORY ".")
set(CPACK_NSIS_INSTALLED_ICON_NAME "velmoro-downloader.exe")
set(CPACK_NSIS_HELP_LINK "https://velmoro-downloader.example/help/")
set(CPACK_NSIS_URL_INFO_ABOUT "https://velmoro-downloader.example/")
set(CPACK_NSIS_CONTACT "developers@velmoro-downloader.example")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
# The installer's own file properties, as the programs' (cmake/version_rc.cmake).
string(REPLACE "." ";" velmoro_version_parts "${PROJECT_VERSION}.0.0.0")
list(SUBLIST velmoro_version_parts 0 4 velmoro_version_parts)
list(JOIN velmoro_version_parts "." velmoro_version_numeric)
# A 64-bit installer, like the programs it installs: it runs where they run
# (under Wine, too, without a 32-bit Wine beside the 64-bit one). Installed
# files take the time of their installation rather than of the build
# (SetDateSave off), which would make every build's installer differ.
string(JOIN "\n" CPACK_NSIS_DEFINES
    "Target amd64-unicode"
    "SetDateSave off"
    # The line above the buttons, instead of the tool's own name (CPack's
    # setting for it adds an option that makensis refuses off Windows).
    "BrandingText 'Velmoro Downloader ${PROJECT_VERSION}'"
    "VIProductVersion ${velmoro_version_numeric}"
    "VIFileVersion ${velmoro_version_numeric}"
    "VIAddVersionKey /LANG=1033 ProductName 'Velmoro Downloader'"
    "VIAddVersionKey /LANG=1033 ProductVersion ${PROJECT_VERSION}"
    "VIAddVersionKey /LANG=1033 FileVersion ${PROJECT_VERSION}"
    "VIAddVersionKey /LANG=1033 FileDescription 'Velmoro Downloader ${PROJECT_VERSION} Setup'"
    "VIAddVersionKey /LANG=1033 CompanyName 'Velmoro Downloader developers'"
    "VIAddVersionKey /LANG=1033 LegalCopyright 'Copyright (c) 2026 the Velmoro Downloader developers, MIT License'")
# Its size in the list of installed programs, in KiB: what the one section
# installs.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS
    "SectionGetSize 0 $0\nWriteRegDWORD SHCTX 'Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}' 'EstimatedSize' $0")
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_PACKAGE_EXECUTABLES "velmoro-downloader" "Velmoro Downloader")
set(CPACK_NSIS_MENU_LINKS "Help.htm" "Velmoro Downloader Help")
if(VELMORO_WEB_SITE)
    list(APPEND CPACK_NSIS_MENU_LINKS "web/index.html" "Velmoro Downloader in a Browser")
endif()
# A console in the program's folder: the command-line downloader is run from
# one, and a shortcut to the .exe itself would close its window at once.
# (The installer names the Start menu folder $STARTMENU_FOLDER, the
# uninstaller $MUI_TEMP.)
set(velmoro_prompt_link "Velmoro Downloader Command Prompt.lnk")
set(CPACK_NSIS_CREATE_ICONS_EXTRA
    "CreateShortCut '$SMPROGRAMS\\\\$STARTMENU_FOLDER\\\\${velmoro_prompt_link}' '$SYSDIR\\\\cmd.exe' '/k velmoro-downloader-cli.exe --help' '' 0 SW_SHOWNORMAL '' 'Velmoro Downloader on the command line'")
set(CPACK_NSIS_DELETE_ICONS_EXTRA "Delete '$SMPROGRAMS\\\\$MUI_TEMP\\\\${velmoro_prompt_link}'")
include(CPack)
