# The oldest Windows each build must load on: Windows 2000 for i686, Windows XP x64 and
# Server 2003 x64 (one code base, 5.2) for x86_64. The headers then refuse anything newer, which
# the code looks up at run time instead, and the PE header names the same version to the loader.
# tools/loadercheck checks both against the executable's import table.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(TAVELIN_WINNT 0x0502)
    set(TAVELIN_IE 0x0600)
    set(TAVELIN_MINOR_OS 2)
else()
    set(TAVELIN_WINNT 0x0500)
    set(TAVELIN_IE 0x0500)
    set(TAVELIN_MINOR_OS 0)
endif()
add_compile_definitions(UNICODE _UNICODE WINVER=${TAVELIN_WINNT} _WIN32_WINNT=${TAVELIN_WINNT}
                        _WIN32_IE=${TAVELIN_IE} NOMINMAX WIN32_LEAN_AND_MEAN)
if(MINGW)
    add_link_options(-Wl,--major-os-version,5 -Wl,--minor-os-version,${TAVELIN_MINOR_OS}
                     -Wl,--major-subsystem-version,5
                     -Wl,--minor-subsystem-version,${TAVELIN_MINOR_OS})
endif()
