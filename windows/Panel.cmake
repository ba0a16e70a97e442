# The panel for Windows, cross-built against Qt for MinGW-w64 from the same
# folders as on Linux, beside ModbusRTU.dll; and the panel's tests that need
# no pseudo-terminal, run under Wine on the offscreen platform.
# Qt's code generators run on this machine: the Linux Qt's.
set(QT_HOST_PATH /usr CACHE PATH "Qt for the build machine")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH
    "Its CMake packages")
list(APPEND CMAKE_FIND_ROOT_PATH ${TQ7310_QT_DIR})
list(APPEND CMAKE_PREFIX_PATH ${TQ7310_QT_DIR})
# Serial Port lists the computer's COM ports in "端口设置".
find_package(Qt6 REQUIRED COMPONENTS Widgets Charts SerialPort Test)
qt_standard_project_setup()
include(GNUInstallDirs)
include(CTest)

add_compile_options(-Wall -Wextra)
if(TQ7310_WERROR)
    add_compile_options(-Werror)
endif()

add_library(modbusrtu_api INTERFACE ${driver}/include/ModbusRTU.h)
target_include_directories(modbusrtu_api INTERFACE ${driver}/include)

foreach(folder module sim/model link a11y monitor commands find trend traffic anypoint check ports ui
    app)
    add_subdirectory(${TQ7310_ROOT}/${folder} ${CMAKE_BINARY_DIR}/panel/${folder})
endforeach()
# A window program: no console behind it.
set_target_properties(tq7310-panel PROPERTIES WIN32_EXECUTABLE ON)

if(BUILD_TESTING)
    add_subdirectory(${TQ7310_ROOT}/testing/exit ${CMAKE_BINARY_DIR}/panel/testing/exit)
    add_subdirectory(${TQ7310_ROOT}/testing/window ${CMAKE_BINARY_DIR}/panel/testing/window)
    add_subdirectory(${TQ7310_ROOT}/tests ${CMAKE_BINARY_DIR}/panel/tests)
endif()

# The zip a Windows technician unpacks and runs: the panel, the driver, the
# Qt libraries, plugins and texts it loads, the MinGW runtime the Qt
# libraries were built against, the README and the licences, all in one
# folder. cpack in the build folder writes
# tq7310-panel-<version>-windows-x86_64.zip. Only this component goes in: the
# panel's folders also install what a Linux system wants.
set(zip windows_zip)
install(TARGETS tq7310-panel tq7310-check ModbusRTU RUNTIME DESTINATION . COMPONENT ${zip})
install(FILES
    ${TQ7310_QT_DIR}/bin/Qt6Core.dll ${TQ7310_QT_DIR}/bin/Qt6Gui.dll
    ${TQ7310_QT_DIR}/bin/Qt6Widgets.dll ${TQ7310_QT_DIR}/bin/Qt6Charts.dll
    ${TQ7310_QT_DIR}/bin/Qt6SerialPort.dll
    ${CMAKE_CURRENT_SOURCE_DIR}/qt.conf ${CMAKE_CURRENT_SOURCE_DIR}/README-windows.txt
    DESTINATION . COMPONENT ${zip})
install(FILES ${TQ7310_QT_DIR}/plugins/platforms/qwindows.dll DESTINATION platforms COMPONENT ${zip})
install(FILES ${TQ7310_QT_DIR}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles
    COMPONENT ${zip})
install(FILES ${TQ7310_QT_DIR}/translations/qtbase_zh_CN.qm DESTINATION translations
    COMPONENT ${zip})
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
        OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
        message(FATAL_ERROR "the compiler does not know where ${runtime} is")
    endif()
    install(FILES ${runtime_path} DESTINATION . COMPONENT ${zip})
endforeach()
# The licences: the project's and those of what the zip carries. Qt's
# third-party notices come with the Qt build (scripts/build-windows-qt); the
# MinGW runtime's are Debian's copyright files of its packages.
install(FILES ${TQ7310_ROOT}/package/copyright DESTINATION licenses COMPONENT ${zip})
install(FILES ${TQ7310_ROOT}/LICENSE DESTINATION licenses RENAME GPL-3.0.txt COMPONENT ${zip})
install(FILES ${TQ7310_QT_DIR}/licenses/LGPL-3.0-only.txt DESTINATION licenses
    RENAME LGPL-3.0.txt COMPONENT ${zip})
install(FILES ${TQ7310_QT_DIR}/licenses/qt-third-party.txt DESTINATION licenses COMPONENT ${zip})
install(FILES /usr/share/common-licenses/LGPL-2.1 DESTINATION licenses RENAME LGPL-2.1.txt
    COMPONENT ${zip})
install(FILES /usr/share/doc/gcc-mingw-w64-base/copyright DESTINATION licenses
    RENAME gcc-runtime.txt COMPONENT ${zip})
install(FILES /usr/share/doc/mingw-w64-common/copyright DESTINATION licenses
    RENAME mingw-w64.txt COMPONENT ${zip})

set(CPACK_GENERATOR ZIP)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${zip})
set(CPACK_PACKAGE_NAME tq7310-panel)
set(CPACK_PACKAGE_FILE_NAME tq7310-panel-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_ARCHIVE_WINDOWS_ZIP_FILE_NAME ${CPACK_PACKAGE_FILE_NAME})
set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
