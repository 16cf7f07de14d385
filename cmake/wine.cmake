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
add_test(NAME wine_prefix COMMAND bash ${CMAKE_SOURCE_DIR}/tools/wine-env.sh --make-prefix)
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
