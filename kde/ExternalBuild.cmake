# The main build's side of the KIO thumbnail plugin (kde/CMakeLists.txt, a
# project of its own: see there why). Where KDE Frameworks' KIO is
# installed, the engine is compiled position-independent, and the plugin's
# project is configured and built with this build's compiler and flags into
# <build>/kde; `cmake --install` and cpack install the plugin with it
# (component `kde`, its own package). Elsewhere nothing of it is built, and
# its tests say why they are skipped.
set(GLIMMER_KF_VERSION 5 CACHE STRING "KDE Frameworks version of the KIO thumbnail plugin: 5 (Qt 5) or 6 (Qt 6)")
find_file(GLIMMER_KIO_CONFIG KF${GLIMMER_KF_VERSION}KIOConfig.cmake
    PATHS ${CMAKE_SYSTEM_PREFIX_PATH}
    PATH_SUFFIXES lib/${CMAKE_LIBRARY_ARCHITECTURE}/cmake/KF${GLIMMER_KF_VERSION}KIO lib/cmake/KF${GLIMMER_KF_VERSION}KIO
    NO_DEFAULT_PATH)
set(GLIMMER_KDE_BINARY_DIR ${PROJECT_BINARY_DIR}/kde)
if(NOT GLIMMER_KIO_CONFIG OR GLIMMER_FUZZ)
    message(STATUS "KIO thumbnail plugin: not built (KF${GLIMMER_KF_VERSION} KIO not installed, or a fuzz build)")
    set(GLIMMER_KDE_PLUGIN OFF)
    return()
endif()
message(STATUS "KIO thumbnail plugin: built in ${GLIMMER_KDE_BINARY_DIR}")
set(GLIMMER_KDE_PLUGIN ON)

# A shared object takes only position-independent code.
set_target_properties(glimmer_formats glimmer_preview glimmer_system PROPERTIES POSITION_INDEPENDENT_CODE ON)

# The tests option is declared after this file: its default on a first configure.
set(glimmer_kde_tests ON)
if(DEFINED GLIMMER_BUILD_TESTS)
    set(glimmer_kde_tests ${GLIMMER_BUILD_TESTS})
endif()

include(ExternalProject)
ExternalProject_Add(glimmer_kde
    SOURCE_DIR ${PROJECT_SOURCE_DIR}/kde
    BINARY_DIR ${GLIMMER_KDE_BINARY_DIR}
    CMAKE_ARGS
        -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
        -DCMAKE_CXX_COMPILER=${CMAKE_CXX_COMPILER}
        -DCMAKE_CXX_FLAGS=${CMAKE_CXX_FLAGS}
        -DCMAKE_EXE_LINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}
        -DCMAKE_MODULE_LINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}
        -DGLIMMER_SOURCE_DIR=${PROJECT_SOURCE_DIR}
        -DGLIMMER_KF_VERSION=${GLIMMER_KF_VERSION}
        -DGLIMMER_WARNINGS_AS_ERRORS=${GLIMMER_WARNINGS_AS_ERRORS}
        -DGLIMMER_BUILD_TESTS=${glimmer_kde_tests}
        -DGLIMMER_BUILD_BENCHMARKS=$<BOOL:${GLIMMER_BUILD_BENCHMARKS}>
        "-DGLIMMER_CORE_LIBRARIES=$<TARGET_FILE:glimmer_preview>|$<TARGET_FILE:glimmer_formats>|$<TARGET_FILE:glimmer_system>"
    LIST_SEPARATOR |
    BUILD_ALWAYS ON          # its own build tool decides what is out of date
    INSTALL_COMMAND ""
    DEPENDS glimmer_preview glimmer_formats glimmer_system)

# Installed with the rest, as a component of its own.
install(CODE "include(\"${GLIMMER_KDE_BINARY_DIR}/cmake_install.cmake\")" COMPONENT kde)
