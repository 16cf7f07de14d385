# The compiler flags of everything built here, in two sets.
include_guard(GLOBAL)

set(PROGRAM_WARNINGS -Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion -Werror)
# The host build's sanitizers, the same for the tests and the fuzz targets.
set(VELMORA_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)

# velmora_program_target(TARGET [ENTRY symbol] [HARDENED]): the program's own set, for
# the program and what is built as it is (the doctor, the stack-smash test, the bench's
# floor): its warnings as errors, no C++ exceptions, RTTI or unwind tables.  With ENTRY,
# the program starts at that symbol without the C runtime's start-up code, links no
# default library and is stripped.  HARDENED: ASLR and NX (the linker's defaults), no
# SEH (the program registers no handler), and stack guards whose value and failure
# routine app/stack_guard.cpp provides, so that no DLL is added.
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

# velmora_equipment_target(TARGET [EXCEPTIONS]): the equipment's set, for the test kit
# and the suites, the stand-ins, the bench's driver, the fuzz targets, the pictures'
# driver and velmora-job: the program's warnings as errors, no C++ exceptions unless
# EXCEPTIONS (GoogleTest), and, for a Windows program or DLL, its runtimes linked
# statically, so that it runs from any folder under Wine.

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
