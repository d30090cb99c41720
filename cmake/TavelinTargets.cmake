# tavelin_library(NAME DIR <dir> [EXCLUDE <files>...] [DEPS <targets>...] [WIN32_ONLY])
# One static library per source folder, its files found by globbing so that adding a file
# needs no edit here. Includes are written from src ("win32/Handles.h"), so every library
# publishes that one root.
function(tavelin_library name)
    cmake_parse_arguments(ARG "WIN32_ONLY" "DIR" "EXCLUDE;DEPS;SYSLIBS" ${ARGN})
    if(ARG_WIN32_ONLY AND NOT WIN32)
        return()
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
    foreach(ex IN LISTS ARG_EXCLUDE)
        list(FILTER sources EXCLUDE REGEX "/${ex}$")
    endforeach()
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${TAVELIN_SRC})
        target_link_libraries(${name} PUBLIC ${ARG_DEPS} ${ARG_SYSLIBS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${TAVELIN_SRC})
        target_link_libraries(${name} INTERFACE ${ARG_DEPS} ${ARG_SYSLIBS})
    endif()
endfunction()

# tavelin_test(NAME SOURCES <files>... DEPS <targets>...)
# A GoogleTest executable run as one CTest test; on a Windows target CTest starts it through
# the Wine runner (CMAKE_CROSSCOMPILING_EMULATOR).
function(tavelin_test name)
    cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest_main)
    add_test(NAME ${name} COMMAND ${name})
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
endfunction()

# tavelin_test_folders()
# Adds every subfolder that has a CMakeLists.txt: each test folder holds one area's tests and
# mirrors a source folder, so adding an area needs no edit above it.
function(tavelin_test_folders)
    file(GLOB areas LIST_DIRECTORIES true CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*)
    foreach(area IN LISTS areas)
        if(IS_DIRECTORY ${area} AND EXISTS ${area}/CMakeLists.txt)
            add_subdirectory(${area})
        endif()
    endforeach()
endfunction()

# tavelin_resource_depends(<script.rc>...)
# windres reports none of the files a resource script pulls in, so a changed help page, picture
# or manifest would leave the program built with the old one.
function(tavelin_resource_depends)
    file(GLOB_RECURSE files CONFIGURE_DEPENDS ${TAVELIN_SRC}/resources/*)
    set_property(SOURCE ${ARGN} APPEND PROPERTY OBJECT_DEPENDS ${files})
endfunction()
