# Install rules and packaging.
#
# Only the three programs, the help page, the desktop entry and the icons are
# installed; the project's libraries are static and the tests stay in the
# build tree. Every rule below belongs to the component "velmoro", and CPack
# packages that component alone, so an install rule that some dependency may
# bring in one day cannot slip into the package (tests/install_test.sh lists
# everything `cmake --install` writes and fails on anything unexpected).
#
# Linux layout (prefix /usr):
#   bin/velmoro-downloader            -> ../libexec/velmoro-downloader/velmoro-downloader
#   bin/velmoro-downloader-cli
#   bin/velmoro-hc-sim
#   libexec/velmoro-downloader/velmoro-downloader
#   libexec/velmoro-downloader/Help.htm
#   share/applications/velmoro-downloader.desktop
#   share/icons/hicolor/<n>x<n>/apps/velmoro-downloader.png   (n = 16 32 48 64)
#   share/doc/velmoro-downloader/Help.htm
#   share/doc/velmoro-downloader/copyright, changelog.gz  (cmake/package_docs.cmake)
#   share/man/man1/<program>.1.gz                         (cmake/package_docs.cmake)
# and, with VELMORO_WEB_SITE (the browser page's site, build-web/site):
#   share/velmoro-downloader/web/...                      (index.html and its files)
#   libexec/velmoro-downloader/velmoro-downloader-web     (opens it in a browser)
#   share/applications/velmoro-downloader-web.desktop
#
# The desktop program opens Help.htm from the directory of its own
# executable, so the page must sit beside the real file; PATH reaches it
# through a relative symbolic link, and QCoreApplication::applicationFilePath
# resolves that link (through /proc/self/exe) to the private directory.
#
# The private directory is under libexec rather than lib: with the prefix
# /usr on Debian, GNUInstallDirs makes CMAKE_INSTALL_LIBDIR the multiarch
# directory lib/<triplet>, the linker's place for shared libraries, which
# would put the program's path (and the link's target) under an architecture
# name; libexec is the FHS place for executables that are not on PATH
# themselves, and its path is the same on every architecture.
#
# Windows: cmake/windows_package.cmake. macOS is kept simple and has not
# been tried: the desktop program is installed as its bundle with Help.htm
# in Contents/MacOS, beside the executable, and the command-line programs
# into bin/.

include(GNUInstallDirs)

set(VELMORO_INSTALL_COMPONENT velmoro)
# The browser page is built apart, with emscripten (./dev web); a package
# carries it when its site folder is named here.
set(VELMORO_WEB_SITE "" CACHE PATH "The browser page's built site (build-web/site) to install")
set(velmoro_help_page ${PROJECT_SOURCE_DIR}/resources/Help.htm)

# The command-line programs; the simulator needs pseudo-terminals (Unix).
set(velmoro_cli_programs velmoro-downloader-cli)
if(TARGET velmoro-hc-sim)
    list(APPEND velmoro_cli_programs velmoro-hc-sim)
endif()

if(WIN32)
    include(cmake/windows_package.cmake)
    return()
endif()

install(TARGETS ${velmoro_cli_programs}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT ${VELMORO_INSTALL_COMPONENT})

if(APPLE)
    install(TARGETS velmoro-downloader
        BUNDLE DESTINATION .
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT ${VELMORO_INSTALL_COMPONENT})
    install(FILES ${velmoro_help_page}
        DESTINATION velmoro-downloader.app/Contents/MacOS
        COMPONENT ${VELMORO_INSTALL_COMPONENT})
else()
    set(velmoro_private_dir ${CMAKE_INSTALL_LIBEXECDIR}/velmoro-downloader)
    install(TARGETS velmoro-downloader
        RUNTIME DESTINATION ${velmoro_private_dir}
        COMPONENT ${VELMORO_INSTALL_COMPONENT})
    install(FILES ${velmoro_help_page}
        DESTINATION ${velmoro_private_dir}
        COMPONENT ${VELMORO_INSTALL_COMPONENT})

    # The link's target, relative to the directory of the link. With both
    # directories relative to the prefix (the usual case) the link is the
    # same whatever prefix `cmake --install --prefix` or CPack chooses.
    if(IS_ABSOLUTE "${CMAKE_INSTALL_BINDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_LIBEXECDIR}")
        file(RELATIVE_PATH velmoro_link_target
            "${CMAKE_INSTALL_FULL_BINDIR}"
            "${CMAKE_INSTALL_FULL_LIBEXECDIR}/velmoro-downloader/velmoro-downloader")
    else()
        file(RELATIVE_PATH velmoro_link_target
            "/prefix/${CMAKE_INSTALL_BINDIR}"
            "/prefix/${velmoro_private_dir}/velmoro-downloader")
    endif()
    # Made in the build tree (dangling there) and installed as a link:
    # file(INSTALL) copies a symbolic link as a link.
    set(velmoro_link_dir ${PROJECT_BINARY_DIR}/install-links)
    file(MAKE_DIRECTORY ${velmoro_link_dir})
    file(CREATE_LINK ${velmoro_link_target} ${velmoro_link_dir}/velmoro-downloader SYMBOLIC)
    install(FILES ${velmoro_link_dir}/velmoro-downloader
        DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT ${VELMORO_INSTALL_COMPONENT})

    install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmoro-downloader.desktop
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications
        COMPONENT ${VELMORO_INSTALL_COMPONENT})
    foreach(size 16 32 48 64)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/icon128-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor/${size}x${size}/apps
            RENAME velmoro-downloader.png
            COMPONENT ${VELMORO_INSTALL_COMPONENT})
    endforeach()
    if(VELMORO_WEB_SITE)
        install(DIRECTORY ${VELMORO_WEB_SITE}/
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/velmoro-downloader/web
            COMPONENT ${VELMORO_INSTALL_COMPONENT})
        install(PROGRAMS ${PROJECT_SOURCE_DIR}/packaging/velmoro-downloader-web
            DESTINATION ${velmoro_private_dir}
            COMPONENT ${VELMORO_INSTALL_COMPONENT})
        install(FILES ${PROJECT_SOURCE_DIR}/packaging/velmoro-downloader-web.desktop
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications
            COMPONENT ${VELMORO_INSTALL_COMPONENT})
    endif()

    # The manual where users look for documentation, too. (CMAKE_INSTALL_DOCDIR
    # would be named after the CMake project, not the package.)
    install(FILES ${velmoro_help_page}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velmoro-downloader
        COMPONENT ${VELMORO_INSTALL_COMPONENT})

    include(${CMAKE_CURRENT_LIST_DIR}/package_docs.cmake)
    install(FILES ${VELMORO_PACKAGE_DOC_FILES}
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/velmoro-downloader
        COMPONENT ${VELMORO_INSTALL_COMPONENT})
    install(FILES ${VELMORO_MAN_PAGES}
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT ${VELMORO_INSTALL_COMPONENT})
endif()

# A Debian package: `cpack -G DEB` in a build tree (./dev package).
if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGE_NAME velmoro-downloader)
    set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
    set(CPACK_PACKAGE_VENDOR "Velmoro Downloader developers")
    # A role address of the project's own, from the changelog's latest entry.
    set(CPACK_PACKAGE_CONTACT "${VELMORO_PACKAGE_MAINTAINER}")
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
        "loads firmware and object catalogues into a telescope hand controller")
    # One line each in the control file; CPack indents them.
    string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
        "Velmoro Downloader loads new contents into the hand controller of a"
        "motorised telescope mount over a serial line: a firmware image into its"
        "internal flash, or an object catalogue, converted into 64-byte records,"
        "into its external flash."
        ""
        "The package holds the desktop program, the command-line downloader"
        "velmoro-downloader-cli, and velmoro-hc-sim, a simulated hand controller"
        "on a pseudo-terminal for trying transfers without hardware.")
    # Only our component: see the top of this file.
    set(CPACK_INSTALL_CMAKE_PROJECTS
        "${PROJECT_BINARY_DIR};${PROJECT_NAME};${VELMORO_INSTALL_COMPONENT};/")
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_STRIP_FILES ON)
    # For generators other than DEB; the .deb itself takes Debian's own name,
    # velmoro-downloader_<version>_<architecture>.deb.
    set(CPACK_PACKAGE_FILE_NAME
        "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELMORO_PACKAGE_MAINTAINER}")
    set(CPACK_DEBIAN_PACKAGE_SECTION science)
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    # dpkg-shlibdeps (dpkg-dev) works out Depends from the libraries the
    # programs link, with the version floors of the symbols they use. No Qt
    # floor is listed by hand: the symbols files of Debian's Qt packages give
    # a sharper one than "Qt 6.2" would. The platform plugin that a window
    # program loads at run time is not linked and so not seen, but Debian's
    # libqt6gui6 carries the xcb plugin itself (without the Wayland one,
    # package qt6-wayland, Qt falls back to xcb through XWayland).
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    if(CMAKE_CROSSCOMPILING)
        # A cross build (cmake/toolchains/) makes the package of its target,
        # arm64 or armhf, named the Debian way from the multiarch triplet.
        # dpkg-shlibdeps learns the target from DEB_HOST_ARCH, which the
        # project's CPack configuration file sets when cpack runs: it then
        # reads the programs with the target's objdump and takes the
        # libraries, and their symbols files, of the target's architecture.
        execute_process(
            COMMAND dpkg-architecture -f -t ${CMAKE_LIBRARY_ARCHITECTURE} -qDEB_HOST_ARCH
            OUTPUT_VARIABLE velmoro_debian_arch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(NOT velmoro_debian_arch)
            message(FATAL_ERROR "No Debian architecture for '${CMAKE_LIBRARY_ARCHITECTURE}' "
                "(dpkg-architecture, package dpkg-dev)")
        endif()
        set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${velmoro_debian_arch})
        set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/cpack-target.cmake)
        file(WRITE ${CPACK_PROJECT_CONFIG_FILE} "set(ENV{DEB_HOST_ARCH} ${velmoro_debian_arch})\n")
    endif()
    # Help opens the page in the desktop's browser through xdg-open.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
    include(CPack)
endif()
