# The one version of the program: project(VERSION) in CMakeLists.txt, unless
# -DVELMORA_VERSION=x.y.z gives another, of test.  It feeds the version resource (a
# generated velmora_version.h), the installer and the release files' names
# (<build folder>/version.txt).
include_guard(GLOBAL)

if(NOT VELMORA_VERSION)
    set(VELMORA_VERSION ${PROJECT_VERSION})
endif()
if(NOT VELMORA_VERSION MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
    message(FATAL_ERROR "VELMORA_VERSION must be x.y.z, got \"${VELMORA_VERSION}\"")
endif()
set(VELMORA_VERSION_MAJOR ${CMAKE_MATCH_1})
set(VELMORA_VERSION_MINOR ${CMAKE_MATCH_2})
set(VELMORA_VERSION_PATCH ${CMAKE_MATCH_3})
# An installer's version allows 255.255.65535.
if(VELMORA_VERSION_MAJOR GREATER 255 OR VELMORA_VERSION_MINOR GREATER 255
   OR VELMORA_VERSION_PATCH GREATER 65535)
    message(FATAL_ERROR "VELMORA_VERSION ${VELMORA_VERSION} does not fit an installer's version")
endif()

set(VELMORA_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_SOURCE_DIR}/resources/version.h.in
               ${VELMORA_GENERATED_DIR}/velmora_version.h @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/version.txt CONTENT "${VELMORA_VERSION}\n")
