# The translation catalogue: `cmake --build build --target vorlane_ts` writes
# every text of src/ that goes through tr() into build/translations/vorlane.ts.
# Without Qt's Linguist tools the build goes on without the target.
find_package(Qt6 QUIET COMPONENTS LinguistTools)
if (NOT TARGET Qt6::lupdate)
    message(STATUS "Qt Linguist tools not found: no vorlane_ts target")
    return()
endif()

file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/translations)
file(GLOB_RECURSE VORLANE_TEXT_SOURCES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h)
qt_add_lupdate(vorlane_config
    TS_FILES ${PROJECT_BINARY_DIR}/translations/vorlane.ts
    SOURCES ${VORLANE_TEXT_SOURCES}
    INCLUDE_DIRECTORIES ${PROJECT_SOURCE_DIR}/src
    NO_GLOBAL_TARGET)
add_custom_target(vorlane_ts DEPENDS vorlane_config_lupdate)
