# Installs the build into a fresh prefix and checks what a desktop expects to
# find there, then runs the freedesktop validators on the installed files.
# Called as: cmake -DBUILD_DIR=... -DPREFIX=... -P checkinstall.cmake
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if (NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
    bin/vorlane
    bin/vorlane-teststation
    share/applications/org.vorlane.Vorlane.desktop
    share/metainfo/org.vorlane.Vorlane.metainfo.xml
    share/icons/hicolor/scalable/apps/vorlane.svg
    share/mime/packages/vorlane.xml
    share/man/man1/vorlane.1
    share/vorlane/icons/vorlane.svg
    share/vorlane/help/index.htm)
foreach (path IN LISTS expected)
    if (NOT EXISTS "${PREFIX}/${path}")
        message(FATAL_ERROR "not installed: ${path}")
    endif()
endforeach()
# Nothing of the tests or benchmarks goes along.
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
foreach (path IN LISTS installed)
    if (path MATCHES "(^|/)(test_|bench_|lib.*\\.a$)")
        message(FATAL_ERROR "installed by mistake: ${path}")
    endif()
endforeach()

execute_process(COMMAND "${PREFIX}/bin/vorlane" --version OUTPUT_VARIABLE version RESULT_VARIABLE result)
if (NOT result EQUAL 0 OR NOT version MATCHES "^Vorlane [0-9]")
    message(FATAL_ERROR "installed vorlane --version: ${result} ${version}")
endif()

find_program(DESKTOP_VALIDATE desktop-file-validate REQUIRED)
execute_process(COMMAND "${DESKTOP_VALIDATE}" "${PREFIX}/share/applications/org.vorlane.Vorlane.desktop"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if (NOT result EQUAL 0 OR out MATCHES "error")
    message(FATAL_ERROR "desktop-file-validate: ${out}")
endif()
find_program(APPSTREAMCLI appstreamcli REQUIRED)
execute_process(COMMAND "${APPSTREAMCLI}" validate --no-net "${PREFIX}/share/metainfo/org.vorlane.Vorlane.metainfo.xml"
                RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if (NOT result EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate: ${out}")
endif()
message(STATUS "install tree and validators: fine")
