# The version resource of a Windows program: what Explorer shows under
# Properties > Details and what installers and antivirus programs read.
#
#   include(version_rc.cmake)
#   velmoro_version_rc(OUT VERSION NAME DESCRIPTION)   appends to variable OUT
# or, for a program that has no other resources:
#   cmake -DRC=cli_version.rc -DVERSION=2.0.1 -DNAME=velmoro-downloader-cli
#         "-DDESCRIPTION=..." -P version_rc.cmake

function(velmoro_version_rc out version name description)
    string(REPLACE "." ";" parts "${version}.0.0.0")
    list(SUBLIST parts 0 4 parts)
    list(JOIN parts "," numeric)
    set(text "")
    string(APPEND text "1 VERSIONINFO\nFILEVERSION ${numeric}\nPRODUCTVERSION ${numeric}\n"
        "FILEOS VOS_NT_WINDOWS32\nFILETYPE VFT_APP\nBEGIN\n"
        "    BLOCK \"StringFileInfo\"\n    BEGIN\n        BLOCK \"040904B0\"\n        BEGIN\n"
        "            VALUE \"CompanyName\", \"Velmoro Downloader developers\"\n"
        "            VALUE \"FileDescription\", \"${description}\"\n"
        "            VALUE \"FileVersion\", \"${version}\"\n"
        "            VALUE \"InternalName\", \"${name}\"\n"
        "            VALUE \"LegalCopyright\", \"Copyright (c) 2026 the Velmoro Downloader developers, MIT License\"\n"
        "            VALUE \"OriginalFilename\", \"${name}.exe\"\n"
        "            VALUE \"ProductName\", \"Velmoro Downloader\"\n"
        "            VALUE \"ProductVersion\", \"${version}\"\n"
        "        END\n    END\n"
        "    BLOCK \"VarFileInfo\"\n    BEGIN\n        VALUE \"Translation\", 0x409, 1200\n    END\n"
        "END\n\n")
    set(${out} "${${out}}${text}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    set(rc "#include <windows.h>\n\n")
    velmoro_version_rc(rc "${VERSION}" "${NAME}" "${DESCRIPTION}")
    file(CONFIGURE OUTPUT "${RC}" CONTENT "${rc}" @ONLY)
endif()
