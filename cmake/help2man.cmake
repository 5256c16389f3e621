# Makes one gzipped manual page from a program's --help and --version:
#   cmake -DPROGRAM=path -DDESCRIPTION=text -DOUTPUT=page.1.gz -DHELP2MAN=path
#         [-DEMULATOR="qemu-aarch64-static ..."] [-DSOURCE_DATE_EPOCH=seconds]
#         -P help2man.cmake
#
# The program is run by its bare name, from its own directory (through PATH,
# or as the emulator's argument), so that its usage line shows the name a
# user types rather than a path into the build tree. The page names the
# version alone, without the commit that --version adds to it.

foreach(variable PROGRAM DESCRIPTION OUTPUT HELP2MAN)
    if(NOT ${variable})
        message(FATAL_ERROR "help2man.cmake: ${variable} is not set")
    endif()
endforeach()

get_filename_component(directory "${PROGRAM}" DIRECTORY)
get_filename_component(name "${PROGRAM}" NAME)
string(REGEX REPLACE "\\.gz$" "" page "${OUTPUT}")

if(SOURCE_DATE_EPOCH)
    set(ENV{SOURCE_DATE_EPOCH} "${SOURCE_DATE_EPOCH}")
endif()
set(ENV{LC_ALL} C)
if(EMULATOR)
    # help2man runs the program through the shell: "EMULATOR name --help".
    set(command "${EMULATOR} ${name}")
else()
    set(ENV{PATH} "${directory}:$ENV{PATH}")
    set(command "${name}")
endif()

execute_process(
    COMMAND "${HELP2MAN}" --no-info --section=1 "--name=${DESCRIPTION}" "--output=${page}" "${command}"
    WORKING_DIRECTORY "${directory}"
    RESULT_VARIABLE result
    ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "help2man could not make the manual page of ${name}: ${errors}")
endif()
file(READ "${page}" text)
string(REGEX REPLACE " \\(commit [0-9a-z]+\\)\"" "\"" text "${text}")
file(WRITE "${page}" "${text}")
execute_process(COMMAND gzip -9nf "${page}" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip ${page} failed")
endif()
