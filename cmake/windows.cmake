# The Windows console build: the real Windows Sockets 2 and Traffic Control
# libraries, the GCC and C++ runtimes linked in so that the program runs on a
# bare Windows, and the manifest that asks to run at the caller's level.
enable_language(RC)
target_compile_definitions(stampcast_core PUBLIC
  WIN32_LEAN_AND_MEAN NOMINMAX __USE_MINGW_ANSI_STDIO=1 _WIN32_WINNT=0x0601)
target_link_libraries(stampcast_platform PUBLIC ws2_32 traffic)
target_sources(stampcast PRIVATE platform/windows/stampcast.rc)
target_link_options(stampcast PRIVATE -static -static-libgcc -static-libstdc++)
