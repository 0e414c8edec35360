# Fails when a source under SOURCE_DIR includes a header from a layer above its own. Run by the
# build (src/CMakeLists.txt) whenever a source changes.
#
# Layers by path, bottom to top; a file may include its own layer and the ones it lists.
#   core         core/                                  data types
#   interface    platform/*.h                           desktop-service interfaces
#   services     services/                              core interface
#   models       models/                                core interface services
#   realisation  platform/<dir>/                        core interface
#   windows      windows/, views/                       core interface services models
#   app          app/                                   everything

cmake_minimum_required(VERSION 3.25)

function(pindle_layer_of path out)
    if(path MATCHES "^core/")
        set(layer core)
    elseif(path MATCHES "^platform/[^/]+/")
        set(layer realisation)
    elseif(path MATCHES "^platform/")
        set(layer interface)
    elseif(path MATCHES "^(windows|views)/")
        set(layer windows)
    elseif(path MATCHES "^(services|models|app)/")
        set(layer ${CMAKE_MATCH_1})
    else()
        set(layer "")
    endif()
    set(${out} ${layer} PARENT_SCOPE)
endfunction()

set(allowed_core core)
set(allowed_interface interface)
set(allowed_services core interface services)
set(allowed_models core interface services models)
set(allowed_realisation core interface realisation)
set(allowed_windows core interface services models windows)
set(allowed_app core interface services models realisation windows app)

file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*.h ${SOURCE_DIR}/*.cpp)
set(violations "")
foreach(source IN LISTS sources)
    pindle_layer_of(${source} layer)
    if(NOT layer)
        continue()
    endif()
    file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^#include \"[^\"]+\"")
    foreach(line IN LISTS includes)
        string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
        pindle_layer_of(${header} target)
        if(target AND NOT target IN_LIST allowed_${layer})
            string(APPEND violations "\n  ${source} (${layer}) includes ${header} (${target})")
        endif()
    endforeach()
endforeach()
if(violations)
    message(FATAL_ERROR "Includes that reach up the layers:${violations}")
endif()
