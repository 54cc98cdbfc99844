# The package the messenger's build consumes: `cmake --install build/<preset> --prefix DIR`
# lays out
#   bin/      the DLL (stripped; its debug information beside it in a .debug file linked
#             by .gnu_debuglink), the C++ runtime DLLs when the build uses the shared one,
#             and the two programs support staff run on real machines
#   lib/      the import library, and cmake/OrvexOfficeIntegration/ with the package
#             config, its version file and the imported target Orvex::OfficeIntegration
#   include/  the host contract and nothing else
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(ORVEX_PACKAGE_NAME OrvexOfficeIntegration)
set(ORVEX_PACKAGE_VERSION 1.0.0)
set(ORVEX_PACKAGE_CONFIG_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/${ORVEX_PACKAGE_NAME})

find_program(ORVEX_OBJCOPY NAMES ${ORVEX_TARGET_TRIPLE}-objcopy REQUIRED)

set_target_properties(orvex_office_integration PROPERTIES EXPORT_NAME OfficeIntegration)
target_include_directories(orvex_office_integration INTERFACE $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)

install(TARGETS orvex_office_integration EXPORT ${ORVEX_PACKAGE_NAME}Targets
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(TARGETS orvex_host_standin orvex_office_standin RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(DEFINED ORVEX_RUNTIME_DLLS)
  install(FILES ${ORVEX_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# Exactly the host contract: the two interfaces and the status they exchange. Their
# includes name the folder, so the headers keep it.
install(FILES host/IOfficeAdapterPlatformHelper.h host/IOfficeIntegration.h host/OutlookContactStatus.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/host)

# The build keeps its debug information (the tests' crash reports need it); the installed
# binaries carry none, and a debugger finds it again through the .gnu_debuglink.
foreach(binary $<TARGET_FILE_NAME:orvex_office_integration> $<TARGET_FILE_NAME:orvex_host_standin>
               $<TARGET_FILE_NAME:orvex_office_standin>)
  install(CODE "
    set(installed \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${binary}\")
    execute_process(COMMAND \"${ORVEX_OBJCOPY}\" --only-keep-debug \"\${installed}\" \"\${installed}.debug\"
                    COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND \"${ORVEX_OBJCOPY}\" --strip-debug --strip-unneeded
                            \"--add-gnu-debuglink=\${installed}.debug\" \"\${installed}\"
                    COMMAND_ERROR_IS_FATAL ANY)
    message(STATUS \"Stripped: \${installed} (debug information in ${binary}.debug)\")")
endforeach()

install(EXPORT ${ORVEX_PACKAGE_NAME}Targets NAMESPACE Orvex:: DESTINATION ${ORVEX_PACKAGE_CONFIG_DIR})
configure_package_config_file(cmake/PackageConfig.cmake.in
                              ${CMAKE_BINARY_DIR}/package/${ORVEX_PACKAGE_NAME}Config.cmake
                              INSTALL_DESTINATION ${ORVEX_PACKAGE_CONFIG_DIR})
# The host and the library exchange standard library objects, so a consumer needs the
# same major version (and, beyond what CMake can check, the same toolchain and runtime).
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/${ORVEX_PACKAGE_NAME}ConfigVersion.cmake
                                 VERSION ${ORVEX_PACKAGE_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/${ORVEX_PACKAGE_NAME}Config.cmake
              ${CMAKE_BINARY_DIR}/package/${ORVEX_PACKAGE_NAME}ConfigVersion.cmake
        DESTINATION ${ORVEX_PACKAGE_CONFIG_DIR})
