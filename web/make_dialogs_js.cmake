# dialogs.json as a script the page loads: a page opened from a local file
# may load scripts beside it but not fetch data files.
#   cmake -DJSON=dialogs.json -DOUT=dialogs.js -P make_dialogs_js.cmake
file(READ ${JSON} json)
file(WRITE ${OUT} "\"use strict\";\nvar velmoroDialogs = ${json};\n")
