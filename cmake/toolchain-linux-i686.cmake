# 32-bit x86 Linux with this machine's own compiler and -m32 (Debian's g++-multilib, an amd64
# package: no i386 architecture needed). Only the parts that need no 32-bit system library are
# built (CVN_PLUGIN_ONLY): the plug-in, its platform layer, binding, stream, dialogs and
# resources, the fake encoder library and their tests, GoogleTest from its sources; no cvnhost,
# no encoder library over libmp3lame.
set(CMAKE_SYSTEM_PROCESSOR i686)
foreach(flags C_FLAGS CXX_FLAGS EXE_LINKER_FLAGS SHARED_LINKER_FLAGS MODULE_LINKER_FLAGS)
  set(CMAKE_${flags}_INIT -m32)
endforeach()
set(CVN_PLUGIN_ONLY ON CACHE BOOL "The plug-in, its platform layer and their tests only" FORCE)
