# The compiler flags of everything built here, in two sets, and the host build's
# sanitizers, the same for the tests and the fuzz targets.
include_guard(GLOBAL)

set(PROGRAM_WARNINGS -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion -Werror)
set(VELMORA_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)

# velmora_program_target(TARGET [ENTRY symbol] [HARDENED]): the program's set (the
# program, the doctor, the stack-smash test, the bench's floor): warnings as errors, no
# exceptions, RTTI or unwind tables.  ENTRY: started there without the C runtime's
# start-up code, no default library, stripped.  HARDENED: ASLR, NX, no SEH, and stack
# guards whose value and failure routine app/stack_guard.cpp provides (no DLL added).
function(velmora_program_target target)
    cmake_parse_arguments(PARSE_ARGV 1 arg "HARDENED" "ENTRY" "")
    target_compile_options(${target} PRIVATE ${PROGRAM_WARNINGS}
        $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables>)
    if(arg_HARDENED)
        target_compile_options(${target} PRIVATE
                               $<$<COMPILE_LANGUAGE:CXX>:-fstack-protector-strong>)
        target_link_options(${target} PRIVATE -Wl,--dynamicbase -Wl,--nxcompat -Wl,--no-seh)
    endif()
    if(arg_ENTRY)
        target_link_options(${target} PRIVATE -nostartfiles -nostdlib -s -Wl,-e,${arg_ENTRY})
    endif()
endfunction()

# velmora_equipment_target(TARGET [EXCEPTIONS]): the equipment's set (the test kit, the
# suites, the stand-ins, the bench's driver, the fuzz targets, the pictures' driver,
# velmora-job): the program's warnings as errors, no exceptions unless EXCEPTIONS
# (GoogleTest), and a Windows program's or DLL's runtimes linked statically, so that it
# runs from any folder under Wine.
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

# velmora_tool_manifest(TARGET): a Windows tool's manifest (tools/manifest/tool.rc): run as
# the invoker, the Windows versions it supports, nothing else.  The program keeps none.
function(velmora_tool_manifest target)
    if(CMAKE_CROSSCOMPILING)
        set(rc ${CMAKE_SOURCE_DIR}/tools/manifest/tool.rc)
        target_sources(${target} PRIVATE ${rc})
        set_source_files_properties(${rc} PROPERTIES
            COMPILE_FLAGS "-I ${CMAKE_SOURCE_DIR}/tools/manifest"
            OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/tools/manifest/tool.manifest)
    endif()
endfunction()
