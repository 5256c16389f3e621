# The program's version, from one place: the first version heading of
# CHANGELOG.md, "## [X.Y.Z] - YYYY-MM-DD". Included before project(), which
# takes it as PROJECT_VERSION.
#
# Sets:
#   VELMORO_VERSION        2.1.0
#   VELMORO_VERSION_DATE   the heading's date, 2026-12-09
#   VELMORO_COMMIT         the commit the sources are from (40 hex digits), or
#                          "unknown" in a tree that is neither a git checkout
#                          nor an archive made by `git archive`
#
# An archive made by `git archive` (the release's source tarball) has no .git:
# its commit is written into cmake/commit by git itself (export-subst in
# .gitattributes).

set(velmoro_changelog_md ${CMAKE_CURRENT_LIST_DIR}/../CHANGELOG.md)
file(STRINGS ${velmoro_changelog_md} velmoro_version_heading
    REGEX "^## \\[[0-9]" LIMIT_COUNT 1)
if(NOT velmoro_version_heading MATCHES
        "^## \\[([0-9]+\\.[0-9]+(\\.[0-9]+)?)\\] - ([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9])$")
    message(FATAL_ERROR "CHANGELOG.md: no version heading '## [X.Y.Z] - YYYY-MM-DD'")
endif()
set(VELMORO_VERSION ${CMAKE_MATCH_1})
set(VELMORO_VERSION_DATE ${CMAKE_MATCH_3})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${velmoro_changelog_md})

set(VELMORO_COMMIT unknown)
get_filename_component(velmoro_source_dir ${CMAKE_CURRENT_LIST_DIR}/.. REALPATH)
# Only the project's own checkout: an unpacked archive may sit inside some
# other repository.
execute_process(COMMAND git rev-parse --show-toplevel --absolute-git-dir
    WORKING_DIRECTORY ${velmoro_source_dir}
    OUTPUT_VARIABLE velmoro_git_dirs OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE velmoro_git_result ERROR_QUIET)
set(velmoro_git_dir "")
if(velmoro_git_result EQUAL 0)
    string(REPLACE "\n" ";" velmoro_git_dirs "${velmoro_git_dirs}")
    list(GET velmoro_git_dirs 0 velmoro_git_top)
    get_filename_component(velmoro_git_top "${velmoro_git_top}" REALPATH)
    if(velmoro_git_top STREQUAL velmoro_source_dir)
        list(GET velmoro_git_dirs 1 velmoro_git_dir)
    endif()
endif()
if(velmoro_git_dir)
    execute_process(COMMAND git rev-parse HEAD
        WORKING_DIRECTORY ${velmoro_source_dir}
        OUTPUT_VARIABLE VELMORO_COMMIT OUTPUT_STRIP_TRAILING_WHITESPACE)
    # Configured again at the next build after a commit or a checkout.
    foreach(file HEAD logs/HEAD)
        if(EXISTS ${velmoro_git_dir}/${file})
            set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${velmoro_git_dir}/${file})
        endif()
    endforeach()
else()
    file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/commit velmoro_archive_commit LIMIT_COUNT 1)
    if(velmoro_archive_commit MATCHES "^[0-9a-f]+$")
        set(VELMORO_COMMIT ${velmoro_archive_commit})
    endif()
endif()
string(SUBSTRING "${VELMORO_COMMIT}" 0 12 VELMORO_COMMIT_SHORT)
