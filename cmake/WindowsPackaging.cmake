# What a Windows player unzips into the game folder: the launcher, the DLL it cannot carry inside, a short text and
# the licences of everything linked in. `cpack` in the build folder makes
# varnhold-launcher-<version>-windows-x64.zip (scripts/build-windows runs it).
install(TARGETS varnhold-launcher RUNTIME DESTINATION . COMPONENT launcher)
install(FILES ${VARNHOLD_RUNTIME_DLLS} DESTINATION . COMPONENT launcher)
install(FILES ${PROJECT_SOURCE_DIR}/assets/windows/README.txt DESTINATION . COMPONENT launcher)

set(LICENCES licences)
install(FILES ${PROJECT_SOURCE_DIR}/assets/windows/THIRD-PARTY.txt ${PROJECT_SOURCE_DIR}/assets/windows/Xiph-BSD.txt
        DESTINATION ${LICENCES} COMPONENT launcher)
install(FILES ${sfml_SOURCE_DIR}/license.md DESTINATION ${LICENCES} RENAME SFML.md COMPONENT launcher)
install(FILES ${curl_SOURCE_DIR}/COPYING DESTINATION ${LICENCES} RENAME curl.txt COMPONENT launcher)
install(FILES ${mpg123_SOURCE_DIR}/COPYING DESTINATION ${LICENCES} RENAME mpg123.txt COMPONENT launcher)
install(FILES ${monocypher_SOURCE_DIR}/LICENCE.md DESTINATION ${LICENCES} RENAME Monocypher.md COMPONENT launcher)
install(FILES ${PROJECT_SOURCE_DIR}/assets/font/LICENSE DESTINATION ${LICENCES} RENAME DejaVu.txt COMPONENT launcher)
# The licence texts and the runtimes' notices as Debian ships them with the cross compiler.
foreach(pair "/usr/share/common-licenses/LGPL-2;LGPL-2.txt" "/usr/share/common-licenses/LGPL-2.1;LGPL-2.1.txt"
        "/usr/share/doc/mingw-w64-x86-64-dev/copyright;mingw-w64.txt"
        "/usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright;gcc-runtime.txt")
    list(GET pair 0 from)
    list(GET pair 1 to)
    if(NOT EXISTS ${from})
        message(FATAL_ERROR "${from} is missing: the release must carry it (${to})")
    endif()
    install(FILES ${from} DESTINATION ${LICENCES} RENAME ${to} COMPONENT launcher)
endforeach()

set(CPACK_PACKAGE_NAME varnhold-launcher)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Varnhold")
set(CPACK_GENERATOR ZIP)
# Only the player's files: the libraries built from source install their headers and archives as well.
set(CPACK_COMPONENTS_ALL launcher)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF) # unzipped straight into the game folder
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-windows-x64)
include(CPack)
