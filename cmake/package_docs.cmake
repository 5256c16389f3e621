# What Debian asks of a package's documentation, made for the Linux install
# (included by install.cmake):
#   share/doc/velmoro-downloader/copyright       packaging/copyright, machine-readable
#   share/doc/velmoro-downloader/changelog.gz    made from CHANGELOG.md (a native package's name)
#   share/man/man1/<program>.1.gz                one manual page for each program
#
# The manual pages are made by help2man from each program's own --help and
# --version, so they cannot drift from the programs. A cross-built program
# runs under CMAKE_CROSSCOMPILING_EMULATOR (qemu-user, see cmake/toolchains/),
# so the page always comes from the very program that goes into the package,
# and a cross build needs no native build beside it.
#
# Everything is gzipped with -9n, as the policy asks: maximum compression,
# and no file name or time stamp in the header. help2man dates the pages
# from SOURCE_DATE_EPOCH, which is set to the date of the version's entry in
# CHANGELOG.md, as Debian's own package builds do: the same sources give the
# same pages.
#
# Sets VELMORO_PACKAGE_MAINTAINER and
# VELMORO_PACKAGE_DOC_FILES, VELMORO_MAN_PAGES (files in the build tree).

set(VELMORO_PACKAGE_MAINTAINER "Velmoro Downloader developers <developers@velmoro-downloader.example>")
# The pages are dated by the version's heading in CHANGELOG.md (noon UTC), the
# Debian changelog's date for it.
execute_process(COMMAND date -u -d "${VELMORO_VERSION_DATE} 12:00:00" +%s
    OUTPUT_VARIABLE velmoro_source_date_epoch OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE velmoro_date_result)
if(NOT velmoro_date_result EQUAL 0)
    message(FATAL_ERROR "CHANGELOG.md: cannot read the date '${VELMORO_VERSION_DATE}'")
endif()

# The Debian changelog, made from CHANGELOG.md.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(velmoro_changelog_md ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
set(velmoro_changelog_tool ${PROJECT_SOURCE_DIR}/tools/changelog.py)
set(velmoro_doc_dir ${PROJECT_BINARY_DIR}/package-docs)
add_custom_command(OUTPUT ${velmoro_doc_dir}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${velmoro_doc_dir}
    COMMAND Python3::Interpreter ${velmoro_changelog_tool} debian ${velmoro_changelog_md}
        velmoro-downloader ${VELMORO_PACKAGE_MAINTAINER} ${velmoro_doc_dir}/changelog
    COMMAND gzip -9nf ${velmoro_doc_dir}/changelog
    DEPENDS ${velmoro_changelog_md} ${velmoro_changelog_tool}
    COMMENT "The Debian changelog from CHANGELOG.md"
    VERBATIM)
set(VELMORO_PACKAGE_DOC_FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${velmoro_doc_dir}/changelog.gz)

# Each program with the one-line description of its manual page (whatis).
set(velmoro_man_programs
    "velmoro-downloader|load firmware or an object catalogue into a telescope hand controller"
    "velmoro-downloader-cli|load firmware or an object catalogue into a telescope hand controller from the command line")
if(TARGET velmoro-hc-sim)
    list(APPEND velmoro_man_programs
        "velmoro-hc-sim|simulated telescope hand controller on a pseudo-terminal")
endif()

set(VELMORO_MAN_PAGES)
find_program(VELMORO_HELP2MAN help2man)
if(NOT VELMORO_HELP2MAN)
    message(WARNING "help2man not found: no manual pages (Debian package help2man)")
elseif(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    message(WARNING "Cross-compiling without CMAKE_CROSSCOMPILING_EMULATOR: no manual pages")
else()
    string(JOIN " " velmoro_emulator ${CMAKE_CROSSCOMPILING_EMULATOR})
    foreach(entry IN LISTS velmoro_man_programs)
        string(REPLACE "|" ";" entry "${entry}")
        list(GET entry 0 program)
        list(GET entry 1 description)
        set(page ${velmoro_doc_dir}/${program}.1.gz)
        add_custom_command(OUTPUT ${page}
            COMMAND ${CMAKE_COMMAND}
                -DPROGRAM=$<TARGET_FILE:${program}> -DEMULATOR=${velmoro_emulator}
                -DDESCRIPTION=${description} -DOUTPUT=${page}
                -DHELP2MAN=${VELMORO_HELP2MAN} -DSOURCE_DATE_EPOCH=${velmoro_source_date_epoch}
                -P ${PROJECT_SOURCE_DIR}/cmake/help2man.cmake
            DEPENDS ${program} ${PROJECT_SOURCE_DIR}/cmake/help2man.cmake
            COMMENT "Manual page of ${program}"
            VERBATIM)
        list(APPEND VELMORO_MAN_PAGES ${page})
    endforeach()
endif()

add_custom_target(velmoro-package-docs ALL
    DEPENDS ${velmoro_doc_dir}/changelog.gz ${VELMORO_MAN_PAGES})
