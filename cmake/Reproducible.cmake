# Reproducible builds: the same commit gives bit-identical executables whatever the folder, the
# time or the machine, so that anyone can check a released file against the published source.

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    # No absolute paths in __FILE__, debug information or diagnostics kept in objects. The build
    # folder comes last: GCC tries the last given map first, and the build folder may lie inside
    # the source folder.
    add_compile_options("-ffile-prefix-map=${CMAKE_SOURCE_DIR}=."
                        "-ffile-prefix-map=${CMAKE_BINARY_DIR}=build"
                        # A date or time macro would put the build's clock into the program.
                        -Wdate-time)
endif()

if(MINGW)
    # The PE header's time stamp would otherwise be the link time; zero carries no meaning and
    # keeps the header checksum fixed too.
    add_link_options(LINKER:--no-insert-timestamp)
endif()

if(NOT MSVC AND NOT APPLE)
    # Static archives without member times, owners or modes (GNU ar and ranlib "D"), whatever
    # the default of the binutils at hand.
    foreach(lang C CXX)
        set(CMAKE_${lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
        set(CMAKE_${lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
        set(CMAKE_${lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
    endforeach()
endif()
