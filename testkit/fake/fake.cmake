# velmora_program_on_fake(NAME [OPTIONS opts...] [PROGRAM_OPTIONS opts...]): the static
# library NAME of the program's sources over the fake world, the fake windows.h first on
# its users' include path: what the unit tests, the fuzz targets and the bench's scaling
# are built on.  OPTIONS go to every file, to its users and to the link; PROGRAM_OPTIONS
# to the program's own files, which are built without RTTI as the program is.
include_guard(GLOBAL)

function(velmora_program_on_fake name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "OPTIONS;PROGRAM_OPTIONS")
    list(TRANSFORM PROGRAM_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE program)
    add_library(${name} STATIC ${program} ${CMAKE_SOURCE_DIR}/testkit/fake/world.cpp)
    target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/testkit/fake/include
                                              ${CMAKE_SOURCE_DIR})
    target_compile_options(${name} PUBLIC ${arg_OPTIONS})
    target_link_options(${name} PUBLIC ${arg_OPTIONS})
    velmora_equipment_target(${name})
    set_source_files_properties(${program} PROPERTIES
        COMPILE_OPTIONS "${arg_PROGRAM_OPTIONS};-fno-rtti")
endfunction()
