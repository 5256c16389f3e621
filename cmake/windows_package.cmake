# Windows layout: one folder, the programs and Help.htm side by side (the
# desktop program opens the page from its own folder). The programs link
# their runtime statically, so there are no DLLs to carry.
#   velmoro-downloader-cli.exe
#   Help.htm
#
# Two packages from it (./dev windows): a zip, and an installer made with
# NSIS that installs into Program Files, adds a Start menu entry and
# registers an uninstaller.

if(TARGET velmoro-downloader-cli)
install(TARGETS ${velmoro_cli_programs}
    RUNTIME DESTINATION .
    COMPONENT ${VELMORO_INSTALL_COMPONENT})
endif()
install(FILES ${velmoro_help_page}
    DESTINATION .
    COMPONENT ${VELMORO_INSTALL_COMPONENT})
