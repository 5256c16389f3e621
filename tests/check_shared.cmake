# A shared folder holds no platform code: no file of DIR may include a Qt
# header, a Windows header or a system header of one platform (the C and
# C++ standard libraries are everyone's), nor ask which platform it is
# built for.
#
# One question is let through: the C library opens a file by a wide path on
# Windows (_wfopen) and by a narrow one elsewhere, and the data file is
# opened by the standard library alone, so that every program built on the
# engine can read it without a platform layer below.
cmake_minimum_required(VERSION 3.25)
set(allowed "data_file.cpp:#ifdef _WIN32")

set(include_pattern "#[ \t]*include[ \t]*(<Q[A-Za-z]|\"Q[A-Za-z]|<[a-z_]+/|<[a-z0-9_]+\\.h>)")
set(platform_pattern "#[ \t]*if.*(_WIN32|_MSC_VER|__linux__|__APPLE__|Q_OS_)")
file(GLOB sources "${DIR}/*.h" "${DIR}/*.cpp")
foreach(source IN LISTS sources)
    get_filename_component(name "${source}" NAME)
    file(STRINGS "${source}" hits REGEX "${include_pattern}|${platform_pattern}")
    foreach(hit IN LISTS hits)
        if(NOT "${name}:${hit}" IN_LIST allowed)
            message(FATAL_ERROR "${source} holds platform code: ${hit}")
        endif()
    endforeach()
endforeach()
