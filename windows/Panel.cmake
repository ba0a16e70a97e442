# The panel for Windows, cross-built against Qt for MinGW-w64 from the same
# folders as on Linux, beside ModbusRTU.dll; and the panel's tests that need
# no pseudo-terminal, run under Wine on the offscreen platform.
# Qt's code generators run on this machine: the Linux Qt's.
set(QT_HOST_PATH /usr CACHE PATH "Qt for the build machine")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH
    "Its CMake packages")
list(APPEND CMAKE_FIND_ROOT_PATH ${TQ7310_QT_DIR})
list(APPEND CMAKE_PREFIX_PATH ${TQ7310_QT_DIR})
find_package(Qt6 REQUIRED COMPONENTS Widgets Charts Test)
qt_standard_project_setup()
include(GNUInstallDirs)
include(CTest)

add_compile_options(-Wall -Wextra)
if(TQ7310_WERROR)
    add_compile_options(-Werror)
endif()

add_library(modbusrtu_api INTERFACE ${driver}/include/ModbusRTU.h)
target_include_directories(modbusrtu_api INTERFACE ${driver}/include)

foreach(folder module link monitor commands find trend traffic ui app)
    add_subdirectory(${TQ7310_ROOT}/${folder} ${CMAKE_BINARY_DIR}/panel/${folder})
endforeach()
# A window program: no console behind it.
set_target_properties(tq7310-panel PROPERTIES WIN32_EXECUTABLE ON)

if(BUILD_TESTING)
    add_subdirectory(${TQ7310_ROOT}/testing/exit ${CMAKE_BINARY_DIR}/panel/testing/exit)
    add_subdirectory(${TQ7310_ROOT}/testing/window ${CMAKE_BINARY_DIR}/panel/testing/window)
    add_subdirectory(${TQ7310_ROOT}/tests ${CMAKE_BINARY_DIR}/panel/tests)
endif()
