# Installation and the Debian package.
#
# The programs look for translations/ beside their own file, and a directory
# under bin/ is not allowed in a package, so the programs and their
# translations live in lib/morvex/ and bin/ holds relative links to them
# (the programs resolve the link through /proc/self/exe).
# The simulator installs with `cmake --install` only (component "sim"); the
# package takes the "runtime" component.
include(GNUInstallDirs)

set(BRELKO_APP_DIR lib/morvex)
set(_brelko_links ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${_brelko_links})
foreach(prog morvex brelko-configurator)
    if(TARGET ${prog})
        install(TARGETS ${prog} RUNTIME DESTINATION ${BRELKO_APP_DIR} COMPONENT runtime)
        file(CREATE_LINK ../${BRELKO_APP_DIR}/${prog} ${_brelko_links}/${prog} SYMBOLIC)
        install(FILES ${_brelko_links}/${prog} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
    endif()
endforeach()
if(TARGET brelko-sim)
    install(TARGETS brelko-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT sim)
endif()
install(DIRECTORY ${CMAKE_BINARY_DIR}/bin/translations DESTINATION ${BRELKO_APP_DIR} COMPONENT runtime
    FILES_MATCHING PATTERN "*.qm" PATTERN "tst_*" EXCLUDE)

set(_res ${PROJECT_SOURCE_DIR}/resources)
install(FILES ${_res}/desktop/morvex.desktop ${_res}/desktop/brelko-configurator.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT runtime)
install(FILES ${_res}/desktop/morvex-brelkonet.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages COMPONENT runtime)
install(FILES ${_res}/images/tray_link.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
    COMPONENT runtime RENAME morvex.png)
install(FILES ${_res}/images/configurator.png DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps
    COMPONENT runtime RENAME brelko-configurator.png)
# Lets the user at the seat open the Brelko's hidraw node.
install(FILES ${_res}/udev/70-brelko.rules DESTINATION lib/udev/rules.d COMPONENT runtime)

# Package documentation: copyright and a compressed changelog.
set(_brelko_doc ${CMAKE_BINARY_DIR}/package-doc)
file(MAKE_DIRECTORY ${_brelko_doc})
string(TIMESTAMP _brelko_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(BRELKO_MAINTAINER "Zentrik Brelko Software <software@zentrik.example>")
file(WRITE ${_brelko_doc}/changelog
    "morvex (${PROJECT_VERSION}) stable; urgency=medium\n\n"
    "  * Release ${PROJECT_VERSION}.\n\n"
    " -- ${BRELKO_MAINTAINER}  ${_brelko_date}\n")
find_program(GZIP_EXECUTABLE gzip)
if(GZIP_EXECUTABLE)
    execute_process(COMMAND ${GZIP_EXECUTABLE} -9nf changelog WORKING_DIRECTORY ${_brelko_doc})
    install(FILES ${_brelko_doc}/changelog.gz ${_res}/package/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvex COMPONENT runtime)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvex)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Zentrik")
set(CPACK_PACKAGE_CONTACT "${BRELKO_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "remote station client for the Brelko network box")
set(CPACK_PACKAGE_DESCRIPTION
    "Morvex works a distant transceiver through a Brelko network box: audio,\n"
    "CAT, PTT and CW keying over the network, with virtual serial ports for\n"
    "logging and digital-mode programs. Brelko Configurator sets up the box\n"
    "over USB.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Only the runtime component, as one package.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};runtime;/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRELKO_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION hamradio)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Hamlib is opened with dlopen, which the shared-library scan cannot see:
# its runtime package is named here, found from the library the build used
# (Debian 12: libhamlib4), at least the version it was built against.
set(_hamlib_package libhamlib4)
find_program(DPKG_QUERY_EXECUTABLE dpkg-query)
if(DPKG_QUERY_EXECUTABLE AND HAMLIB_SHARED_LIBRARY)
    get_filename_component(_hamlib_dir ${HAMLIB_SHARED_LIBRARY} DIRECTORY)
    execute_process(COMMAND ${DPKG_QUERY_EXECUTABLE} -S ${_hamlib_dir}/${HAMLIB_SONAME}
        OUTPUT_VARIABLE _hamlib_owner ERROR_QUIET)
    if(_hamlib_owner MATCHES "^([a-z0-9][a-z0-9+.-]*)(:[a-z0-9]+)?: ")
        set(_hamlib_package ${CMAKE_MATCH_1})
    endif()
endif()
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${_hamlib_package} (>= ${HAMLIB_VERSION})")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
