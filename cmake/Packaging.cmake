# Everything the two Debian packages install beyond the programs, and how CPack builds them:
#   pindle         the tray app, its modules, desktop entry, icons, AppStream metadata, manual
#   pindle-server  the backend, its systemd unit, configuration and manual
# Built by scripts/package.sh (-DPINDLE_PACKAGING=ON), which also checks what it built.

set(packaging ${PROJECT_SOURCE_DIR}/packaging)
set(generated ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${generated})

# A package built on one Debian release depends on that release's library names (Debian 13
# renamed many for 64-bit time), so the release is part of its version: 0.1.0~deb12, 0.1.0~deb13.
file(STRINGS /etc/os-release os_release_id REGEX "^VERSION_ID=")
string(REGEX REPLACE "^VERSION_ID=\"?([0-9]+).*" "\\1" debian_version "${os_release_id}")
file(STRINGS /etc/os-release os_release_codename REGEX "^VERSION_CODENAME=")
string(REGEX REPLACE "^VERSION_CODENAME=\"?([a-z]*).*" "\\1" debian_codename "${os_release_codename}")
if(NOT debian_version MATCHES "^[0-9]+$")
    # Debian testing and unstable name no version: they are built like the newest release.
    set(debian_version 13)
endif()
set(PINDLE_PACKAGE_VERSION "${PROJECT_VERSION}~deb${debian_version}")

find_program(HELP2MAN help2man REQUIRED)
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(GZIP gzip REQUIRED)

# Manual pages from each program's --help, installed with the program's package. Pages in other
# languages keep the English body (--help is English) and give the short description, the line
# whatis and apropos show, in their language. help2man takes that line from an include file there:
# --name would garble anything beyond ASCII. Its own translations of the section headings need the
# language's locale on the build machine, so the headings stay English.
function(pindle_manual target summary)
    cmake_parse_arguments(PARSE_ARGV 2 manual "" "LANGUAGE" "")
    if(manual_LANGUAGE)
        set(folder ${generated}/${manual_LANGUAGE})
        set(name_file ${folder}/${target}.h2m)
        string(REPLACE "\\" "\\e" summary "${summary}")
        file(CONFIGURE OUTPUT ${name_file} CONTENT "[NAME]\n${target} \\- ${summary}\n" @ONLY)
        set(name_options --locale=C.UTF-8 --include=${name_file})
        set(destination ${CMAKE_INSTALL_MANDIR}/${manual_LANGUAGE}/man1)
        set(manual_target ${target}-manual-${manual_LANGUAGE})
        set(what "${target} (${manual_LANGUAGE})")
    else()
        set(folder ${generated})
        set(name_file "")
        set(name_options --name=${summary})
        set(destination ${CMAKE_INSTALL_MANDIR}/man1)
        set(manual_target ${target}-manual)
        set(what ${target})
    endif()
    set(page ${folder}/${target}.1)
    add_custom_command(OUTPUT ${page}.gz
        COMMAND ${HELP2MAN} --no-info --no-discard-stderr --version-string=${PROJECT_VERSION}
            ${name_options} --output=${page} $<TARGET_FILE:${target}>
        COMMAND ${GZIP} -9nf ${page}
        DEPENDS ${target} ${name_file}
        COMMENT "Manual page for ${what}"
        VERBATIM)
    add_custom_target(${manual_target} ALL DEPENDS ${page}.gz)
    install(FILES ${page}.gz DESTINATION ${destination} COMPONENT ${target})
endfunction()
pindle_manual(pindle "desktop AI assistant in the system tray")
pindle_manual(pindle-server "backend for Pindle: accounts, balances and a model provider proxy")

# The app's page in each language it ships a catalogue for, its short description the desktop
# entry's Comment in that language.
set(desktop_entry ${PROJECT_SOURCE_DIR}/data/com.pindle.app.desktop)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${desktop_entry})
file(STRINGS ${desktop_entry} desktop_comments REGEX "^Comment\\[" ENCODING UTF-8)
foreach(catalogue IN LISTS PINDLE_TS_FILES)
    string(REGEX REPLACE ".*/pindle_(.+)\\.ts$" "\\1" language ${catalogue})
    set(comment ${desktop_comments})
    list(FILTER comment INCLUDE REGEX "^Comment\\[${language}\\]=")
    if(NOT comment)
        message(FATAL_ERROR "${desktop_entry} has no Comment[${language}] for the manual page")
    endif()
    string(REGEX REPLACE "^[^=]*=" "" comment "${comment}")
    pindle_manual(pindle "${comment}" LANGUAGE ${language})
endforeach()

# The app's icon at the sizes launchers and menus ask for, besides the scalable one.
set(icon_sizes 16 22 24 32 48 64 128 256)
set(icons "")
foreach(size IN LISTS icon_sizes)
    set(png ${generated}/icons/${size}/com.pindle.app.png)
    add_custom_command(OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons/${size}
        COMMAND ${RSVG_CONVERT} -w ${size} -h ${size}
            -o ${png} ${PROJECT_SOURCE_DIR}/src/views/icons/logo-source.svg
        DEPENDS ${PROJECT_SOURCE_DIR}/src/views/icons/logo-source.svg)
    list(APPEND icons ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        COMPONENT pindle)
endforeach()

# Each package's changelog, compressed as Debian wants it.
set(changelog ${generated}/changelog.gz)
configure_file(${packaging}/changelog.in ${generated}/changelog @ONLY)
add_custom_command(OUTPUT ${changelog}
    COMMAND ${GZIP} -9nc ${generated}/changelog > ${changelog}
    DEPENDS ${generated}/changelog)
add_custom_target(pindle-package-files ALL DEPENDS ${icons} ${changelog})

install(FILES ${PROJECT_SOURCE_DIR}/data/icons/com.pindle.app-symbolic.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/symbolic/apps COMPONENT pindle)
install(FILES ${PROJECT_SOURCE_DIR}/data/com.pindle.app.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT pindle)
foreach(component pindle pindle-server)
    install(FILES ${packaging}/copyright ${changelog}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${component} COMPONENT ${component})
endforeach()

# The service: systemd's own folder, and the configuration in /etc with its secrets readable by
# root alone.
# (Debian 13 has units only under /usr.)
if(debian_version GREATER_EQUAL 13)
    set(systemd_units /usr/lib/systemd/system)
else()
    set(systemd_units /lib/systemd/system)
endif()
install(FILES ${packaging}/pindle-server/pindle-server.service DESTINATION ${systemd_units}
    COMPONENT pindle-server)
install(FILES ${packaging}/pindle-server/server.json DESTINATION /etc/pindle
    COMPONENT pindle-server)
install(FILES ${packaging}/pindle-server/server.env DESTINATION /etc/pindle
    PERMISSIONS OWNER_READ OWNER_WRITE COMPONENT pindle-server)

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL pindle pindle-server)
set(CPACK_PACKAGE_NAME pindle)
set(CPACK_PACKAGE_VERSION ${PINDLE_PACKAGE_VERSION})
set(CPACK_PACKAGE_CONTACT "The Pindle developers <packages@pindle.example.org>")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://pindle.example.org)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_PINDLE_PACKAGE_NAME pindle)
set(CPACK_DEBIAN_PINDLE_PACKAGE_SECTION utils)
# Loaded at run time, so dpkg-shlibdeps cannot see them: the QML modules, the X11 platform and
# SVG plugins, and libsecret, which QtKeychain opens when it first reaches the keyring.
# (Debian 13 moved the SVG plugin out of the library's package.) Where the overlay can be a
# layer-shell surface, Pindle runs on Qt's Wayland platform in a Wayland session.
if(debian_version GREATER_EQUAL 13)
    set(runtime_plugins qt6-svg-plugins)
else()
    set(runtime_plugins libqt6svg6)
endif()
if(PINDLE_HAVE_LAYER_SHELL)
    string(APPEND runtime_plugins ", qt6-wayland")
endif()
set(CPACK_DEBIAN_PINDLE_PACKAGE_DEPENDS
    "qml6-module-qtquick, qml6-module-qtquick-controls, qml6-module-qtquick-layouts, qml6-module-qtquick-window, qml6-module-qtquick-templates, qml6-module-qtqml-workerscript, qml6-module-qtqml, qml6-module-qtqml-models, qt6-qpa-plugins, ${runtime_plugins}, libsecret-1-0")
# Qt's own catalogues translate the few texts its controls bring (OK, Cancel).
set(CPACK_DEBIAN_PINDLE_PACKAGE_RECOMMENDS
    "gnome-keyring | kwalletmanager, xdg-desktop-portal, qt6-translations-l10n")
set(CPACK_DEBIAN_PINDLE_PACKAGE_SUGGESTS pindle-server)
set(CPACK_COMPONENT_PINDLE_DESCRIPTION
    "desktop AI assistant in the system tray
Pindle shows a small translucent overlay above other windows where you talk
to an AI model: a typed question streams its answer, Alt+S asks about the
screen, and the microphone or the computer's own sound is transcribed and
answered. It reaches the model through a pindle-server.")

set(CPACK_DEBIAN_PINDLE-SERVER_PACKAGE_NAME pindle-server)
set(CPACK_DEBIAN_PINDLE-SERVER_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PINDLE-SERVER_PACKAGE_CONTROL_EXTRA
    ${packaging}/pindle-server/conffiles ${packaging}/pindle-server/postinst
    ${packaging}/pindle-server/prerm ${packaging}/pindle-server/postrm)
set(CPACK_DEBIAN_PINDLE-SERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_COMPONENT_PINDLE-SERVER_DESCRIPTION
    "backend for Pindle: accounts, balances and a model provider proxy
pindle-server keeps Pindle's accounts, sessions and token balances in SQLite
or PostgreSQL, and forwards chat and transcription to any OpenAI-compatible
model provider. It runs as a confined systemd service.")

include(CPack)
