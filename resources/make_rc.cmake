# Writes the Windows program's resource script, and a header with what the
# program reads of the same data at run time, from dialogs.json: the data
# the Qt build reads, so the two builds cannot drift apart.
#
#   cmake -DSOURCE_DIR=resources -DRC=velmoro.rc -DHEADER=dialog_data.h
#         -DVERSION=2.0 -P make_rc.cmake
#
# The script holds dialog templates 100 and 102, string 101, icons 128, 130
# and 131 (each an icon group of the PNG images of every size, stored as
# the system stores PNG icons), the version and the manifest.

cmake_minimum_required(VERSION 3.25)

file(READ "${SOURCE_DIR}/dialogs.json" json)

# A text as a quoted resource string: quotes doubled, as the resource
# compiler reads them.
function(rc_quote text out)
    string(REPLACE "\"" "\"\"" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# A text as a C++ string literal.
function(cxx_quote text out)
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

# The elements of a JSON array (of texts or numbers) at the path given.
function(json_list out)
    set(items "")
    string(JSON type ERROR_VARIABLE missing TYPE "${json}" ${ARGN})
    if(NOT missing AND type STREQUAL "ARRAY")
        string(JSON count LENGTH "${json}" ${ARGN})
        if(count GREATER 0)
            math(EXPR last "${count} - 1")
            foreach(i RANGE ${last})
                string(JSON item GET "${json}" ${ARGN} ${i})
                list(APPEND items "${item}")
            endforeach()
        endif()
    endif()
    set(${out} "${items}" PARENT_SCOPE)
endfunction()

function(json_get out default)
    string(JSON value ERROR_VARIABLE missing GET "${json}" ${ARGN})
    if(missing)
        set(value "${default}")
    endif()
    set(${out} "${value}" PARENT_SCOPE)
endfunction()

# The window styles a row's style names stand for, besides its kind's own.
function(control_styles kind names out)
    set(styles "")
    foreach(name IN LISTS names)
        if(name STREQUAL "tabstop")
            list(APPEND styles WS_TABSTOP)
        elseif(name STREQUAL "group")
            list(APPEND styles WS_GROUP)
        elseif(name STREQUAL "vscroll")
            list(APPEND styles WS_VSCROLL)
        elseif(name STREQUAL "border")
            list(APPEND styles WS_BORDER)
        elseif(name STREQUAL "hidden" OR name STREQUAL "invisible-at-run-time")
            list(APPEND styles "NOT WS_VISIBLE")
        elseif(name STREQUAL "sort")
            list(APPEND styles CBS_SORT)
        elseif(name STREQUAL "dropdown")
            list(APPEND styles CBS_DROPDOWN)
        elseif(name STREQUAL "dropdownlist")
            list(APPEND styles CBS_DROPDOWNLIST)
        elseif(name STREQUAL "auto" AND kind STREQUAL "radio")
            list(APPEND styles BS_AUTORADIOBUTTON)
        elseif(name STREQUAL "default")
            list(APPEND styles BS_DEFPUSHBUTTON)
        elseif(name STREQUAL "left")
            list(APPEND styles SS_LEFT)
        elseif(name STREQUAL "noprefix")
            list(APPEND styles SS_NOPREFIX)
        elseif(name STREQUAL "readonly")
            list(APPEND styles ES_READONLY)
        elseif(name STREQUAL "multiline")
            list(APPEND styles ES_MULTILINE)
        elseif(name STREQUAL "autohscroll")
            list(APPEND styles ES_AUTOHSCROLL)
        elseif(name STREQUAL "autovscroll")
            list(APPEND styles ES_AUTOVSCROLL)
        endif()
    endforeach()
    set(${out} "${styles}" PARENT_SCOPE)
endfunction()

set(rc "// Made by resources/make_rc.cmake from resources/dialogs.json at build time.\n")
string(APPEND rc "#include <windows.h>\n\n")
string(APPEND rc "LANGUAGE LANG_ENGLISH, SUBLANG_ENGLISH_US\n\n")
set(header "// Made by resources/make_rc.cmake from resources/dialogs.json at build time.\n")
string(APPEND header "#pragma once\n\n#include <array>\n\nnamespace velmoro::win32 {\n\n")

string(JSON dialog_count LENGTH "${json}" dialogs)
math(EXPR last_dialog "${dialog_count} - 1")
foreach(d RANGE ${last_dialog})
    string(JSON id GET "${json}" dialogs ${d} id)
    string(JSON caption GET "${json}" dialogs ${d} caption)
    string(JSON width GET "${json}" dialogs ${d} size 0)
    string(JSON height GET "${json}" dialogs ${d} size 1)
    json_get(points 9 dialogs ${d} fontPoints)
    json_list(dialog_styles dialogs ${d} styles)
    set(style "DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU")
    set(exstyle "")
    # The main window shows itself, has a task-bar button of its own and
    # opens centred on the screen; the About box is centred over its owner
    # by the program.
    if("minimizebox" IN_LIST dialog_styles)
        string(APPEND style " | WS_MINIMIZEBOX | WS_VISIBLE | DS_CENTER")
        set(exstyle "EXSTYLE WS_EX_APPWINDOW\n")
    endif()
    rc_quote("${caption}" quoted)
    string(APPEND rc "${id} DIALOGEX 0, 0, ${width}, ${height}\n"
        "STYLE ${style}\n${exstyle}CAPTION ${quoted}\n"
        "FONT ${points}, \"MS Shell Dlg\", 400, 0, 0x1\nBEGIN\n")

    string(JSON control_count LENGTH "${json}" dialogs ${d} controls)
    math(EXPR last_control "${control_count} - 1")
    foreach(c RANGE ${last_control})
        string(JSON cid GET "${json}" dialogs ${d} controls ${c} id)
        string(JSON kind GET "${json}" dialogs ${d} controls ${c} kind)
        json_get(text "" dialogs ${d} controls ${c} caption)
        json_list(rect dialogs ${d} controls ${c} rect)
        json_list(names dialogs ${d} controls ${c} styles)
        list(JOIN rect ", " geometry)
        control_styles("${kind}" "${names}" styles)
        rc_quote("${text}" quoted)
        if(kind STREQUAL "combobox")
            set(class "\"ComboBox\"")
            json_list(items dialogs ${d} controls ${c} items)
            set(entries "")
            foreach(item IN LISTS items)
                cxx_quote("${item}" item)
                list(APPEND entries "${item}")
            endforeach()
            list(LENGTH entries entry_count)
            list(JOIN entries ", " entries)
            string(APPEND header "// The list of control ${cid} of dialog ${id}.\n"
                "inline constexpr std::array<const char*, ${entry_count}> kListItems${cid} = {${entries}};\n\n")
        elseif(kind STREQUAL "radio" OR kind STREQUAL "button")
            set(class "\"Button\"")
        elseif(kind STREQUAL "static")
            set(class "\"Static\"")
        elseif(kind STREQUAL "icon")
            set(class "\"Static\"")
            string(JSON icon GET "${json}" dialogs ${d} controls ${c} icon)
            set(quoted "\"#${icon}\"")
            list(APPEND styles SS_ICON)
        elseif(kind STREQUAL "edit")
            set(class "\"Edit\"")
        elseif(kind STREQUAL "progress")
            set(class "\"msctls_progress32\"")
        else()
            # A control with no window of its own here (the serial port):
            # its row only holds its place and its id.
            set(class "\"Static\"")
        endif()
        if(NOT "NOT WS_VISIBLE" IN_LIST styles)
            list(PREPEND styles WS_VISIBLE)
        endif()
        list(PREPEND styles WS_CHILD)
        list(JOIN styles " | " styles)
        string(APPEND rc "    CONTROL ${quoted}, ${cid}, ${class}, ${styles}, ${geometry}\n")
    endforeach()
    string(APPEND rc "END\n\n")
endforeach()

string(JSON string_ids LENGTH "${json}" strings)
string(APPEND rc "STRINGTABLE\nBEGIN\n")
math(EXPR last_string "${string_ids} - 1")
foreach(s RANGE ${last_string})
    string(JSON sid MEMBER "${json}" strings ${s})
    string(JSON text GET "${json}" strings ${sid})
    rc_quote("${text}" quoted)
    string(APPEND rc "    ${sid}, ${quoted}\n")
endforeach()
string(APPEND rc "END\n\n")

json_get(home "" homeAddress)
cxx_quote("${home}" home)
string(APPEND header "// The maker's web site, which Home opens.\n"
    "inline constexpr const char* kHomeAddress = ${home};\n\n}  // namespace velmoro::win32\n")

# Icons: each size's PNG image is an icon image of its own (resource type
# 3), and the group (type 14) lists them, as the resource compiler would
# store an icon file of PNG images.
file(GLOB pngs "${SOURCE_DIR}/icons/icon*-*.png")
list(SORT pngs COMPARE NATURAL)
set(groups "")
set(image_id 1)
foreach(png IN LISTS pngs)
    get_filename_component(name "${png}" NAME_WE)
    string(REGEX MATCH "^icon([0-9]+)-([0-9]+)$" match "${name}")
    set(group ${CMAKE_MATCH_1})
    set(size ${CMAKE_MATCH_2})
    file(SIZE "${png}" bytes)
    string(APPEND rc "${image_id} 3 \"${png}\"\n")
    # width and height in one word (0 for 256), colour count and reserved,
    # planes, bits per pixel, size in bytes, image id.
    math(EXPR side "${size} % 256")
    math(EXPR extent "${side} + ${side} * 256")
    list(APPEND groups ${group})
    string(APPEND entries_${group} ", ${extent}, 0, 1, 32, ${bytes}L, ${image_id}")
    math(EXPR count_${group} "${count_${group}} + 1")
    math(EXPR image_id "${image_id} + 1")
endforeach()
list(REMOVE_DUPLICATES groups)
foreach(group IN LISTS groups)
    string(APPEND rc "${group} 14\nBEGIN\n    0, 1, ${count_${group}}${entries_${group}}\nEND\n")
endforeach()
string(APPEND rc "\n")

# The version, from the project's.
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/version_rc.cmake)
velmoro_version_rc(rc "${VERSION}" velmoro-downloader "Velmoro Downloader")

string(APPEND rc "1 24 \"${SOURCE_DIR}/velmoro-downloader.manifest\"\n")

# Written only when changed, so an unchanged script rebuilds nothing.
file(CONFIGURE OUTPUT "${RC}" CONTENT "${rc}" @ONLY)
file(CONFIGURE OUTPUT "${HEADER}" CONTENT "${header}" @ONLY)
