# The Windows side of the build of the JNI library, read in at the end of
# project(talvek) by the mingw toolchain files (cmake/toolchains/). It may
# also be included directly; it is read once.
include_guard(GLOBAL)

if(NOT WIN32)
  return()
endif()

# talvek_windows_exports(<target>): makes the export table of a library DLL.
#
# 64-bit: the JNI entry points are exported by JNIEXPORT (dllexport) under
# their plain names.
#
# 32-bit: the JVM looks the entry points up under the standard-call decorated
# names: a leading underscore, and an at sign with the number of argument
# bytes (_JNI_OnLoad@8). The GNU linker exports dllexport symbols without the
# underscore, so here the entry points are not dllexport
# (TALVEK_EXPORTS_BY_DEF, see jni_md.h) and a module definition file, written
# at each link from the symbols of the target's own object files, exports each
# JNI_OnLoad / JNI_OnUnload / Java_* function under its decorated name. The
# argument bytes are thus always those the compiler gave the function.
function(talvek_windows_exports target)
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()
  endif()
  if(NOT CMAKE_NM)
    message(FATAL_ERROR "the Windows build needs the toolchain's nm (CMAKE_NM)")
  endif()
  set(def ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  target_compile_definitions(${target} PRIVATE TALVEK_EXPORTS_BY_DEF)
  add_custom_command(TARGET ${target} PRE_LINK
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DOUTPUT=${def}
            -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/write-exports-def.cmake
            -- $<TARGET_OBJECTS:${target}>
    COMMAND_EXPAND_LISTS
    VERBATIM)
  target_link_options(${target} PRIVATE ${def})
endfunction()
