# The package for Windows hosts: cpack (or `cpack --preset windows`) writes
# TesselRAW-<version>-win64.zip into the build folder, from the install component
# "tesselraw_package" alone:
#
#   bin/                 TsrRawDecoder.dll, TsrRawDebayer.dll, tsrmfhost.exe (stripped)
#   include/tesselraw/   transforms.h
#   docs/                windows-hosts.md
#   examples/chain/      a host built against this package alone
#   LICENSE, CHANGELOG.md
#
# tests/windows/package/ checks the archive's contents and uses it as a host developer would.
if(NOT TARGET TsrRawDecoder OR NOT TARGET TsrRawDebayer OR NOT TARGET tsrmfhost)
    message(STATUS "Windows package skipped: it needs both DLLs and tsrmfhost")
    return()
endif()

set(TSR_PACKAGE_COMPONENT tesselraw_package)
set(TSR_PACKAGE_NAME TesselRAW-${PROJECT_VERSION}-win64 CACHE INTERNAL "Name of the Windows package")

# Import libraries belong to no package: hosts create the transforms through COM.
install(TARGETS TsrRawDecoder TsrRawDebayer tsrmfhost
    RUNTIME DESTINATION bin COMPONENT ${TSR_PACKAGE_COMPONENT}
    ARCHIVE DESTINATION lib COMPONENT tesselraw_import_libraries
    LIBRARY DESTINATION lib COMPONENT tesselraw_import_libraries)
install(FILES ${PROJECT_SOURCE_DIR}/source/windows/include/tesselraw/transforms.h
    DESTINATION include/tesselraw COMPONENT ${TSR_PACKAGE_COMPONENT})
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows-hosts.md DESTINATION docs COMPONENT ${TSR_PACKAGE_COMPONENT})
install(FILES
        ${PROJECT_SOURCE_DIR}/examples/chain/CMakeLists.txt
        ${PROJECT_SOURCE_DIR}/examples/chain/chain.cpp
        ${PROJECT_SOURCE_DIR}/examples/chain/README.md
    DESTINATION examples/chain COMPONENT ${TSR_PACKAGE_COMPONENT})
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    DESTINATION . COMPONENT ${TSR_PACKAGE_COMPONENT})

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME TesselRAW)
set(CPACK_PACKAGE_VENDOR "Tessel RAW tools developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${TSR_PACKAGE_NAME})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Only the package component, in one archive under a folder of the package's name.
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};${TSR_PACKAGE_COMPONENT};/")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
# The build's debug information stays in the build folder.
set(CPACK_STRIP_FILES ON)
include(CPack)
