# Test entries that run under Wine.  velmora_wine_test() declares one: the environment
# of tools/wine.env, this build folder's own prefix (${CMAKE_BINARY_DIR}/wineprefix,
# made once by the wine_prefix fixture), alone (Notes client windows of two runs would
# meet), with a time limit.  Every Wine entry is declared through it, so that
# `ctest --preset win32` works from a fresh shell.
include_guard(GLOBAL)

set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/tools/wine.env)

# Sets NAME's environment: tools/wine.env's values, and the prefix.  With WIN64, the
# 64-bit prefix ${CMAKE_BINARY_DIR}/wineprefix64 instead, where a 32-bit program sees
# two registry views as on 64-bit Windows.
function(velmora_wine_environment name)
    file(STRINGS ${CMAKE_SOURCE_DIR}/tools/wine.env lines REGEX "^[A-Za-z_][A-Za-z0-9_]*=")
    set(env "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix")
    if("${ARGV1}" STREQUAL "WIN64")
        set(env "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix64")
    endif()
    set(removed "")
    foreach(line IN LISTS lines)
        string(REGEX MATCH "^[^=]*" key "${line}")
        if("${ARGV1}" STREQUAL "WIN64" AND key STREQUAL "WINEARCH")
            list(APPEND env "WINEARCH=win64")
        elseif(line STREQUAL "${key}=")
            list(APPEND removed "${key}=unset:")
        else()
            list(APPEND env "${line}")
        endif()
    endforeach()
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env}")
    if(removed)
        set_tests_properties(${name} PROPERTIES ENVIRONMENT_MODIFICATION "${removed}")
    endif()
endfunction()

# The prefix, made once before the first Wine entry runs.
add_test(NAME wine_prefix COMMAND bash -c ". '${CMAKE_SOURCE_DIR}/tools/wine-env.sh' && ensure_wine_prefix")
velmora_wine_environment(wine_prefix)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix TIMEOUT 300)

# The 64-bit prefix, made once (about 30 s) for the entries declared WIN64.
add_test(NAME wine_prefix64 COMMAND bash -c
    ". '${CMAKE_SOURCE_DIR}/tools/wine-env.sh' && WINEARCH=win64 ensure_wine_prefix")
velmora_wine_environment(wine_prefix64 WIN64)
set_tests_properties(wine_prefix64 PROPERTIES FIXTURES_SETUP wine_prefix64 TIMEOUT 300)

# velmora_wine_test(NAME COMMAND args... [TIMEOUT seconds] [WORKING_DIRECTORY dir] [WIN64])
function(velmora_wine_test name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "WIN64" "TIMEOUT;WORKING_DIRECTORY" "COMMAND")
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 120)
    endif()
    if(NOT arg_WORKING_DIRECTORY)
        set(arg_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    add_test(NAME ${name} COMMAND ${arg_COMMAND} WORKING_DIRECTORY ${arg_WORKING_DIRECTORY})
    set(prefix wine_prefix)
    set(arch "")
    if(arg_WIN64)
        set(prefix wine_prefix64)
        set(arch WIN64)
    endif()
    velmora_wine_environment(${name} ${arch})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ${prefix} RUN_SERIAL TRUE
                         TIMEOUT ${arg_TIMEOUT})
endfunction()

# velmora_check_suite(NAME TARGET [ARGS args...] [EXIT code] [OPTION /option] [NO_CTEST]
#                     [TIMEOUT seconds] [WORKING_DIRECTORY dir] [WIN64] [LOCALE locale])
# A suite of the Windows check, declared once: a row of velmora-check.exe's table
# (velmora_check_write_suites), its program in the check zip, and, unless NO_CTEST, a
# Wine entry of the same name.  The suite passes on its exit code when EXIT is given
# (its ctest entry then goes through velmora-check.exe, which holds that rule), on its
# "N passed, N failed" line and case lines otherwise; OPTION is the runner's option
# that adds it.  LOCALE sets the code pages Wine gives it (tools/wine.env's otherwise).
function(velmora_check_suite name target)
    cmake_parse_arguments(PARSE_ARGV 2 arg "NO_CTEST;WIN64"
        "EXIT;OPTION;TIMEOUT;WORKING_DIRECTORY;LOCALE" "ARGS")
    string(JOIN " " line "${target}.exe" ${arg_ARGS})
    set(exit 0)
    set(counted true)
    if(arg_EXIT)
        set(exit ${arg_EXIT})
        set(counted false)
    endif()
    set(option NULL)
    if(arg_OPTION)
        set(option "\"${arg_OPTION}\"")
    endif()
    set_property(GLOBAL APPEND PROPERTY VELMORA_CHECK_SUITE_ROWS
        "    {\"${name}\", \"${line}\", ${exit}, ${counted}, ${option}},")
    set_property(GLOBAL APPEND PROPERTY VELMORA_CHECK_TARGETS ${target})
    if(arg_NO_CTEST)
        return()
    endif()
    set(command ${target} ${arg_ARGS})
    if(arg_EXIT)
        set(command velmora-check ${name})
    endif()
    set(more "")
    foreach(key TIMEOUT WORKING_DIRECTORY)
        if(arg_${key})
            list(APPEND more ${key} ${arg_${key}})
        endif()
    endforeach()
    if(arg_WIN64)
        list(APPEND more WIN64)
    endif()
    velmora_wine_test(${name} COMMAND ${command} ${more})
    if(arg_LOCALE)
        set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT LC_ALL=${arg_LOCALE})
    endif()
endfunction()

# After the last suite: velmora-check.exe's table (generated/check_suites.h) and the
# check zip's equipment, one "target<TAB>file<TAB>place" a line (check-zip.txt, which
# tools/release.sh reads; a file's place in the zip is its place under bin/): the
# runner, every suite's program and the EQUIPMENT targets the suites copy from their
# folder.
function(velmora_check_write_suites)
    cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "EQUIPMENT")
    get_property(rows GLOBAL PROPERTY VELMORA_CHECK_SUITE_ROWS)
    string(JOIN "\n" rows ${rows})
    file(CONFIGURE OUTPUT ${VELMORA_GENERATED_DIR}/check_suites.h CONTENT
        "// velmora-check.exe's suites, written by velmora_check_suite() (cmake/wine.cmake)
// from the list in tests/e2e/CMakeLists.txt.
${rows}
")
    get_property(targets GLOBAL PROPERTY VELMORA_CHECK_TARGETS)
    set(targets velmora-check ${targets} ${arg_EQUIPMENT})
    list(REMOVE_DUPLICATES targets)
    set(lines "")
    set(programs "")
    foreach(target IN LISTS targets)
        string(APPEND lines "${target}\t$<TARGET_FILE:${target}>\t"
            "$<PATH:RELATIVE_PATH,$<TARGET_FILE:${target}>,${CMAKE_BINARY_DIR}/bin>\n")
        get_target_property(type ${target} TYPE)
        if(type STREQUAL "EXECUTABLE")
            list(APPEND programs "$<TARGET_FILE:${target}>")
        endif()
    endforeach()
    file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/check-zip.txt CONTENT "${lines}")

    # The programs the zip runs elevated import only Known DLLs (tests/pe/check_imports.sh).
    add_test(NAME check_imports COMMAND bash ${CMAKE_SOURCE_DIR}/tests/pe/check_imports.sh
             ${programs})
endfunction()
