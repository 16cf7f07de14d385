# The compiler flags of the equipment, everything built here besides the program and the
# doctor: the test kit and the suites, the stand-ins, the bench, the fuzz targets, the
# pictures' driver and velmora-job.  velmora_equipment_target(TARGET [EXCEPTIONS]) gives
# a target the program's warnings as errors, no C++ exceptions unless EXCEPTIONS
# (velmora-job's encoder throws; GoogleTest), and, for a Windows program or DLL, its
# runtimes linked statically, so that it runs from any folder under Wine.
include_guard(GLOBAL)

function(velmora_equipment_target target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "EXCEPTIONS" "" "")
    target_compile_options(${target} PRIVATE ${PROGRAM_WARNINGS})
    if(NOT arg_EXCEPTIONS)
        target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>)
    endif()
    get_target_property(type ${target} TYPE)
    if(CMAKE_CROSSCOMPILING AND type MATCHES "^(EXECUTABLE|SHARED_LIBRARY)$")
        target_link_options(${target} PRIVATE -static)
    endif()
endfunction()
