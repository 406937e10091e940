# The product version (one place: the project's version, or -DDIALPASS_VERSION=MAJOR.MINOR.BUILD),
# the version resource of every shipped program, and the per-user MSI package (tools/package.sh).
set(DIALPASS_VERSION ${PROJECT_VERSION} CACHE STRING "Product version MAJOR.MINOR.BUILD of the programs and the package")
set(DIALPASS_COPYRIGHT "Copyright (C) 2007-2026 Kestrova" CACHE STRING "Copyright line of the version resources")
# Windows Installer compares versions as MAJOR (0-255) . MINOR (0-255) . BUILD (0-65535).
if(NOT DIALPASS_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$"
   OR CMAKE_MATCH_1 GREATER 255 OR CMAKE_MATCH_2 GREATER 255 OR CMAKE_MATCH_3 GREATER 65535)
    message(FATAL_ERROR "DIALPASS_VERSION must be MAJOR.MINOR.BUILD, at most 255.255.65535: ${DIALPASS_VERSION}")
endif()
set(DIALPASS_VERSION_MAJOR ${CMAKE_MATCH_1})
set(DIALPASS_VERSION_MINOR ${CMAKE_MATCH_2})
set(DIALPASS_VERSION_BUILD ${CMAKE_MATCH_3})
# tools/package.sh packages this version unless it is given another.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/version.txt CONTENT "${DIALPASS_VERSION}\n")

# Adds a VERSIONINFO resource to target (a program of the package or a tool a user runs).
function(dialpass_version_resource target description)
    if(NOT TARGET ${target})
        return()
    endif()
    get_target_property(type ${target} TYPE)
    get_target_property(output_name ${target} OUTPUT_NAME)
    if(NOT output_name)
        set(output_name ${target})
    endif()
    set(file_type VFT_APP)
    set(suffix .exe)
    # A program's manifest (resource 1): asInvoker and the supported systems.
    set(program_manifest "1 24 \"${CMAKE_SOURCE_DIR}/resources/program.manifest\"")
    if(type STREQUAL "SHARED_LIBRARY")
        set(program_manifest "")
        set(file_type VFT_DLL)
        get_target_property(suffix ${target} SUFFIX)
    endif()
    set(internal_name ${output_name})
    set(file_name ${output_name}${suffix})
    set(rc ${CMAKE_BINARY_DIR}/version/${target}.rc)
    configure_file(${CMAKE_SOURCE_DIR}/installer/version.rc.in ${rc} @ONLY)
    target_sources(${target} PRIVATE ${rc})
endfunction()

# Once every folder has defined its programs: their version resources, the package and its tests.
function(dialpass_installer_targets)
    dialpass_version_resource(dialpass "Kestrova Dialpass Control Panel applet")
    dialpass_version_resource(dialpass_update "Kestrova Dialpass card database updater")
    dialpass_version_resource(dialpass-config "Kestrova Dialpass dialer configuration viewer")
    dialpass_version_resource(dpdb "Kestrova Dialpass card database tool")

    # build/dist/Dialpass-VERSION-x64.msi from the built files. The package is 64-bit, as Update.exe is.
    set(DIALPASS_SIGN_CERT "" CACHE FILEPATH "PEM code-signing certificate: signs the programs and the package")
    set(DIALPASS_SIGN_KEY "" CACHE FILEPATH "PEM private key of DIALPASS_SIGN_CERT")
    if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64" AND TARGET dialpass_update AND TARGET sample)
        # The package's custom action (installer/packageaction.cpp), run by the installer itself.
        add_library(packageaction SHARED ${CMAKE_SOURCE_DIR}/installer/packageaction.cpp
                    ${CMAKE_SOURCE_DIR}/installer/packageaction.def)
        target_link_libraries(packageaction PRIVATE -lmsi)  # the system library, not the target "msi"
        set_target_properties(packageaction PROPERTIES PREFIX "")
        target_link_options(packageaction PRIVATE -Wl,--kill-at -Wl,--gc-sections)
        set(msi ${CMAKE_BINARY_DIR}/dist/Dialpass-${DIALPASS_VERSION}-x64.msi)
        file(GLOB installer_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/installer/*)
        add_custom_command(OUTPUT ${msi}
            COMMAND ${CMAKE_COMMAND} -E env DIALPASS_BUILD=${CMAKE_BINARY_DIR}
                    DIALPASS_SIGN_CERT=${DIALPASS_SIGN_CERT} DIALPASS_SIGN_KEY=${DIALPASS_SIGN_KEY}
                    ${CMAKE_SOURCE_DIR}/tools/package.sh ${DIALPASS_VERSION}
            DEPENDS dialpass dialpass_update dialpass-config packageaction sample ${CMAKE_SOURCE_DIR}/tools/package.sh
                    ${installer_sources} ${CMAKE_BINARY_DIR}/sample/.built
            COMMENT "Packaging ${msi}"
            VERBATIM)
        add_custom_target(msi ALL DEPENDS ${msi})
    endif()

    # The installer's tests (tests/installer), with the other tests of the 64-bit build.
    if(TARGET dialpass_tests AND TARGET msi)
        include(${CMAKE_SOURCE_DIR}/tests/installer/tests.cmake)
    endif()
endfunction()
cmake_language(DEFER DIRECTORY ${CMAKE_SOURCE_DIR} CALL dialpass_installer_targets)
