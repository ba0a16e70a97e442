# Windows install step (written for a Windows build machine; not run on the
# Linux machines that build this project): the Qt libraries and plugins the
# panel needs (Qt Serial Port among them: windeployqt finds it among the
# DLLs the program links) go beside tq7310-panel.exe through windeployqt,
# and the driver DLL is installed there too (driver/CMakeLists.txt), so the installed folder
# runs on a machine without Qt.
find_program(TQ7310_WINDEPLOYQT windeployqt HINTS "${Qt6_DIR}/../../../bin" REQUIRED)
install(CODE "
    execute_process(
        COMMAND \"${TQ7310_WINDEPLOYQT}\" --release --no-translations --no-system-d3d-compiler
                \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tq7310-panel.exe\"
        RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR \"windeployqt failed: \${result}\")
    endif()
")
