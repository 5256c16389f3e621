# The engine and the drawing rules are plain C++: no file of DIR may include a
# Qt header; with NO_WIN32, no Windows header either.
set(pattern "#[ \t]*include[ \t]*[<\"]Q")
if(NO_WIN32)
    set(pattern "#[ \t]*include[ \t]*[<\"]([Qq]|windows\\.h|[a-z]+\\.h>)")
endif()
file(GLOB sources "${DIR}/*.h" "${DIR}/*.cpp")
foreach(source IN LISTS sources)
    file(STRINGS "${source}" hits REGEX "${pattern}")
    if(hits)
        message(FATAL_ERROR "${source} includes a platform header: ${hits}")
    endif()
endforeach()
