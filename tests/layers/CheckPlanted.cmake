# The layer check against a tree with includes planted the wrong way (beside this file): it must
# fail, name each of them, and let the right-way includes beside them pass.
cmake_minimum_required(VERSION 3.25)

execute_process(
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_CURRENT_LIST_DIR} -P ${CHECK_LAYERS}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(result EQUAL 0)
    message(FATAL_ERROR "The layer check let wrong-way includes pass:\n${output}")
endif()
set(expected
    "models/Planted.cpp (models) includes app/Application.h (app)"
    "services/Planted.cpp (services) includes platform/x11/X11GlobalHotkeys.h (realisation)"
    "platform/x11/Planted.cpp (realisation) includes models/ChatViewModel.h (models)")
foreach(line IN LISTS expected)
    string(FIND "${output}" "${line}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "The layer check did not name \"${line}\":\n${output}")
    endif()
endforeach()
string(REGEX MATCHALL " includes " named "${output}")
list(LENGTH named count)
if(NOT count EQUAL 3)
    message(FATAL_ERROR "The layer check named ${count} includes instead of 3:\n${output}")
endif()
