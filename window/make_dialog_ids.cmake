# Writes the dialogs' ids, made from dialogs.json for every front end, so
# that none keeps a list of its own: IDD_... for the dialogs, IDC_... for
# their controls, and the ids that "symbols" names (the system menu's
# command, string and icon resources). HEADER is the desktop programs' C++
# header; SCRIPT is the page's script, dialogs.json itself (a page opened
# from a local file may load scripts beside it but not fetch data files)
# and the same ids by name. Either or both may be given.
#
#   cmake -DJSON=resources/dialogs.json [-DHEADER=dialog_ids.h] [-DSCRIPT=dialogs.js]
#         -P make_dialog_ids.cmake

cmake_minimum_required(VERSION 3.25)

file(READ "${JSON}" json)

set(names "")
set(values "")
function(add_id name value)
    set(names ${names} ${name} PARENT_SCOPE)
    set(values ${values} ${value} PARENT_SCOPE)
endfunction()

string(JSON dialog_count LENGTH "${json}" dialogs)
math(EXPR last_dialog "${dialog_count} - 1")
foreach(d RANGE ${last_dialog})
    string(JSON name ERROR_VARIABLE unnamed GET "${json}" dialogs ${d} name)
    if(NOT unnamed)
        string(JSON id GET "${json}" dialogs ${d} id)
        add_id(${name} ${id})
    endif()
    string(JSON control_count LENGTH "${json}" dialogs ${d} controls)
    math(EXPR last_control "${control_count} - 1")
    foreach(c RANGE ${last_control})
        string(JSON name ERROR_VARIABLE unnamed GET "${json}" dialogs ${d} controls ${c} name)
        if(NOT unnamed)
            string(JSON id GET "${json}" dialogs ${d} controls ${c} id)
            add_id(${name} ${id})
        endif()
    endforeach()
endforeach()

string(JSON symbol_count LENGTH "${json}" symbols)
math(EXPR last_symbol "${symbol_count} - 1")
foreach(s RANGE ${last_symbol})
    string(JSON name MEMBER "${json}" symbols ${s})
    string(JSON id GET "${json}" symbols ${name})
    add_id(${name} ${id})
endforeach()

set(made "Made by window/make_dialog_ids.cmake from resources/dialogs.json at build time.")
list(LENGTH names count)
math(EXPR last "${count} - 1")

if(HEADER)
    set(text "// ${made}\n#pragma once\n\nnamespace velmoro::ids {\n\n")
    foreach(i RANGE ${last})
        list(GET names ${i} name)
        list(GET values ${i} value)
        string(APPEND text "inline constexpr int ${name} = ${value};\n")
    endforeach()
    string(APPEND text "\n}  // namespace velmoro::ids\n")
    file(CONFIGURE OUTPUT "${HEADER}" CONTENT "${text}" @ONLY)
endif()

if(SCRIPT)
    set(text "// ${made}\n\"use strict\";\nvar velmoroDialogs = ${json};\nvar velmoroIds = Object.freeze({\n")
    foreach(i RANGE ${last})
        list(GET names ${i} name)
        list(GET values ${i} value)
        string(APPEND text "    ${name}: ${value},\n")
    endforeach()
    string(APPEND text "});\n")
    file(CONFIGURE OUTPUT "${SCRIPT}" CONTENT "${text}" @ONLY)
endif()
