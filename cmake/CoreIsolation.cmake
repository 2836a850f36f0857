# The core must stay free of Qt and xcb. Two checks prove it:
#  - at configure time, the core target links neither (this file);
#  - the test `core_isolation` fails when a core source includes a Qt, xcb or
#    platform header (cmake/CheckCoreIncludes.cmake).
get_target_property(_core_libs hushglass_core LINK_LIBRARIES)
if(_core_libs)
    foreach(_lib IN LISTS _core_libs)
        if(_lib MATCHES "Qt|xcb|XCB|hushglass_platform")
            message(FATAL_ERROR "hushglass_core must not link ${_lib}: the core reaches the system through ports")
        endif()
    endforeach()
endif()

if(HUSHGLASS_TESTS)
    add_test(NAME core_isolation
        COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} "-DCORE_DIRS=${HUSHGLASS_CORE_DIRS}"
                -P ${PROJECT_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake)
endif()
