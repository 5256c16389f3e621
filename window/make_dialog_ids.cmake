# Writes the header of the dialogs' ids, made from dialogs.json for every
# desktop front end, so that no front end keeps a list of its own:
# IDD_... for the dialogs, IDC_... for their controls, and the ids that
# "symbols" names (the system menu's command, string and icon resources).
#
#   cmake -DJSON=resources/dialogs.json -DHEADER=dialog_ids.h -P make_dialog_ids.cmake

cmake_minimum_required(VERSION 3.25)

file(READ "${JSON}" json)

set(header "")
# A name the system headers already define as a macro (winuser.h's IDC_HELP
# cursor) would turn the constant into nonsense: the header takes the name
# back, for the files that include it after <windows.h>.
set(undefs "")

function(append_id name value)
    string(APPEND header "inline constexpr int ${name} = ${value};\n")
    set(header "${header}" PARENT_SCOPE)
    string(APPEND undefs "#ifdef ${name}\n#undef ${name}\n#endif\n")
    set(undefs "${undefs}" PARENT_SCOPE)
endfunction()

string(JSON dialog_count LENGTH "${json}" dialogs)
math(EXPR last_dialog "${dialog_count} - 1")
foreach(d RANGE ${last_dialog})
    string(JSON name ERROR_VARIABLE unnamed GET "${json}" dialogs ${d} name)
    if(NOT unnamed)
        string(JSON id GET "${json}" dialogs ${d} id)
        append_id(${name} ${id})
    endif()
    string(JSON control_count LENGTH "${json}" dialogs ${d} controls)
    math(EXPR last_control "${control_count} - 1")
    foreach(c RANGE ${last_control})
        string(JSON name ERROR_VARIABLE unnamed GET "${json}" dialogs ${d} controls ${c} name)
        if(NOT unnamed)
            string(JSON id GET "${json}" dialogs ${d} controls ${c} id)
            append_id(${name} ${id})
        endif()
    endforeach()
endforeach()

string(JSON symbol_count LENGTH "${json}" symbols)
math(EXPR last_symbol "${symbol_count} - 1")
foreach(s RANGE ${last_symbol})
    string(JSON name MEMBER "${json}" symbols ${s})
    string(JSON id GET "${json}" symbols ${name})
    append_id(${name} ${id})
endforeach()

set(header "// Made by window/make_dialog_ids.cmake from resources/dialogs.json at build time.\n#pragma once\n\n${undefs}\nnamespace velmoro::ids {\n\n${header}\n}  // namespace velmoro::ids\n")
file(CONFIGURE OUTPUT "${HEADER}" CONTENT "${header}" @ONLY)
