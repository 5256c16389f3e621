# The engine is plain C++: no file of it may include a Qt header.
file(GLOB sources "${DIR}/*.h" "${DIR}/*.cpp")
foreach(source IN LISTS sources)
    file(STRINGS "${source}" hits REGEX "#[ \t]*include[ \t]*[<\"]Q")
    if(hits)
        message(FATAL_ERROR "${source} includes Qt: ${hits}")
    endif()
endforeach()
