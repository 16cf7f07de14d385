# The compiler flags of the equipment: everything built here besides the program and the
# doctor (the test kit and the suites, the stand-ins, the bench, the fuzz targets, the
# pictures' driver, velmora-job).  Every target of it is declared through
# velmora_equipment_target(), so that one change reaches them all:
#
#   velmora_equipment_target(TARGET [EXCEPTIONS])
#
# - the program's warnings (PROGRAM_WARNINGS), as errors;
# - no C++ exceptions, unless EXCEPTIONS (velmora-job's encoder throws; GoogleTest);
# - a Windows program or DLL links its C and C++ runtimes statically, so that it runs
#   from any folder under Wine with no runtime DLL beside it.
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
