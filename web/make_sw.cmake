# sw.js for the site in SITE, from the template sw.js: the list of the
# site's files, and in the name of the browser's store the version and a
# hash of every file's name and contents, so that any change of the site
# is a new worker that stores it afresh.
#   cmake -DSITE=site -DTEMPLATE=web/sw.js -DVELMORO_VERSION=2.0.1 -P make_sw.cmake
file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE ${SITE} ${SITE}/*)
list(REMOVE_ITEM files sw.js)
list(SORT files)
set(contents "")
set(names "")
foreach(file IN LISTS files)
    file(SHA256 ${SITE}/${file} hash)
    string(APPEND contents "${file} ${hash}\n")
    if(names)
        string(APPEND names ", ")
    endif()
    string(APPEND names "\"${file}\"")
endforeach()
string(SHA256 hash "${contents}")
string(SUBSTRING ${hash} 0 16 SITE_HASH)
set(SITE_FILES ${names})
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
