# DLLs that start-up does not need (OLE, its automation half, the shell) are loaded at their
# first call, through delay-import libraries: the code calls them as usual.
#
# tavelin_delay_load_libs(VAR dll...) sets VAR to what to link in place of the plain names.
# tavelin_delay_load_directory(TARGET) makes an executable's header point at its delay-load
# table, which GNU ld leaves empty, so that tools/loadercheck sees those imports too, and links it
# through cmake/delay_link.py, which keeps the loader thunk of every delay-loaded function called.
#
# MinGW: dlltool --output-delaylib builds the libraries at configure time from the export
# names of the toolchain's own import libraries; libdelayimp supplies the loader routine.
# MSVC: the linker's /DELAYLOAD does both.

function(tavelin_delay_load_libs var)
    set(libs)
    if(MINGW)
        if(NOT CMAKE_DLLTOOL)
            find_program(CMAKE_DLLTOOL NAMES ${TAVELIN_MINGW_TRIPLE}-dlltool dlltool REQUIRED)
        endif()
        if(NOT CMAKE_NM)
            find_program(CMAKE_NM NAMES ${TAVELIN_MINGW_TRIPLE}-nm nm REQUIRED)
        endif()
        set(dir ${CMAKE_BINARY_DIR}/delayload)
        file(MAKE_DIRECTORY ${dir})
        foreach(dll IN LISTS ARGN)
            set(out ${dir}/lib${dll}_delay.a)
            find_library(TAVELIN_IMPLIB_${dll} NAMES ${dll} REQUIRED)
            if(NOT EXISTS ${out} OR ${TAVELIN_IMPLIB_${dll}} IS_NEWER_THAN ${out})
                execute_process(COMMAND ${CMAKE_NM} -g ${TAVELIN_IMPLIB_${dll}}
                                OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
                # "__imp_Name" on x86_64, "__imp__Name@4" on i686 (stdcall, kept by -k).
                if(CMAKE_SIZEOF_VOID_P EQUAL 4)
                    set(prefix "__imp__")
                else()
                    set(prefix "__imp_")
                endif()
                string(REGEX MATCHALL " I ${prefix}[^\r\n]+" imports "${symbols}")
                list(TRANSFORM imports REPLACE " I ${prefix}" "")
                list(REMOVE_DUPLICATES imports)
                list(JOIN imports "\n" exports)
                file(WRITE ${dir}/${dll}.def "LIBRARY ${dll}.dll\nEXPORTS\n${exports}\n")
                execute_process(COMMAND ${CMAKE_DLLTOOL} -k --input-def ${dir}/${dll}.def
                                        --dllname ${dll}.dll --output-delaylib ${out}
                                COMMAND_ERROR_IS_FATAL ANY)
            endif()
            list(APPEND libs ${out})
        endforeach()
        set_property(GLOBAL APPEND PROPERTY TAVELIN_DELAY_LIBS ${libs})
        list(APPEND libs delayimp)
    else()
        foreach(dll IN LISTS ARGN)
            list(APPEND libs ${dll})
            if(MSVC)
                add_link_options(/DELAYLOAD:${dll}.dll)
            endif()
        endforeach()
        if(MSVC)
            list(APPEND libs delayimp)
        endif()
    endif()
    set(${var} ${libs} PARENT_SCOPE)
endfunction()

function(tavelin_delay_load_directory target)
    if(NOT MINGW)
        return()
    endif()
    find_package(Python3 REQUIRED COMPONENTS Interpreter)
    set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.map)
    # The zero descriptor that ends the table, kept by naming it to the linker.
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/cmake/DelayImportEnd.c)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
        set(endSymbol _tavelin_delay_import_end)
    else()
        set(endSymbol tavelin_delay_import_end)
    endif()
    target_link_options(${target} PRIVATE -Wl,-Map=${map} -Wl,--undefined=${endSymbol})
    # Without its thunk a slot stays 0 on i686; x86_64 takes the same route.
    get_property(delayLibs GLOBAL PROPERTY TAVELIN_DELAY_LIBS)
    list(REMOVE_DUPLICATES delayLibs)
    set_property(TARGET ${target} PROPERTY CXX_LINKER_LAUNCHER ${Python3_EXECUTABLE}
                 ${PROJECT_SOURCE_DIR}/cmake/delay_link.py ${CMAKE_NM} ${delayLibs} --)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/cmake/delay_directory.py
                $<TARGET_FILE:${target}> ${map}
        VERBATIM)
endfunction()
