# The Windows console build: the real Windows Sockets 2 library (traffic.dll
# is loaded at run time, from the system folder only), the GCC and C++
# runtimes linked in so that the program runs on a bare Windows, and the
# manifest that asks to run at the caller's level.
enable_language(RC)
target_compile_definitions(stampcast_platform PUBLIC
  WIN32_LEAN_AND_MEAN NOMINMAX __USE_MINGW_ANSI_STDIO=1 _WIN32_WINNT=0x0601)
target_link_libraries(stampcast_platform PUBLIC ws2_32)

# The manifest is resource 1 of type RT_MANIFEST; windres reads it through
# the .rc file, so a change to it must rebuild the resource.
set(STAMPCAST_RC ${CMAKE_CURRENT_SOURCE_DIR}/platform/windows/stampcast.rc)
target_sources(stampcast PRIVATE ${STAMPCAST_RC})
set_source_files_properties(${STAMPCAST_RC} PROPERTIES
  OBJECT_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/platform/windows/stampcast.exe.manifest)
target_include_directories(stampcast PRIVATE
  ${CMAKE_CURRENT_SOURCE_DIR}/platform/windows)

# No DLL beyond Windows' own: libgcc, libstdc++ and winpthread go inside.
# A release carries no symbol table.
target_link_options(stampcast PRIVATE -static -static-libgcc -static-libstdc++
  $<$<CONFIG:Release>:-s>)

# The traffic-control and qWAVE stand-ins that the Wine tests put in the
# system folder.
add_subdirectory(tests/traffic_double)
add_subdirectory(tests/qwave_double)

# The unit tests run under Wine from ctest (scripts/install-deps test puts
# it in): a prefix of their own in the build folder, made on the first run,
# no display, no prompt to install Mono or Gecko, no Wine debug chatter.
find_program(STAMPCAST_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(STAMPCAST_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
    env -u DISPLAY WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDEBUG=-all
    WINEDLLOVERRIDES=mscoree,mshtml= ${STAMPCAST_WINE})
endif()
