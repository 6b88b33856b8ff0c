# Writes the module definition file that exports the JNI entry points of a
# 32-bit DLL under their standard-call decorated names (see windows.cmake).
#   cmake -DNM=<nm> -DOUTPUT=<file.def> -P write-exports-def.cmake -- <objects...>
set(objects "")
set(after_separator FALSE)
foreach(i RANGE 1 ${CMAKE_ARGC})
  if(i EQUAL CMAKE_ARGC)
    break()
  endif()
  if(after_separator)
    list(APPEND objects "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} STREQUAL "--")
    set(after_separator TRUE)
  endif()
endforeach()
if(NOT objects)
  message(FATAL_ERROR "no object files given")
endif()

execute_process(COMMAND ${NM} --defined-only --extern-only ${objects}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${objects}")
endif()

# "0000012a T _Java_ox_..._1release@16": a function symbol, decorated by the
# compiler with the C prefix and the argument bytes.
string(REGEX MATCHALL "[0-9a-fA-F]+ T _(JNI_OnLoad|JNI_OnUnload|Java_[A-Za-z0-9_]+)@[0-9]+" lines "${symbols}")
set(exports "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]+ T _" "" name "${line}")
  list(APPEND exports "${name}")
endforeach()
list(REMOVE_DUPLICATES exports)
list(SORT exports)
if(NOT exports)
  message(FATAL_ERROR "no JNI entry points in ${objects}")
endif()

# In a definition file for x86 a name is written without the C prefix: the
# left side is the exported name, the right side the function's symbol.
set(text "; The JNI entry points under their standard-call decorated names.\nEXPORTS\n")
foreach(name IN LISTS exports)
  string(APPEND text "  _${name} = ${name}\n")
endforeach()
# Rewritten only when it changes, so that an unchanged link stays up to date.
if(EXISTS "${OUTPUT}")
  file(READ "${OUTPUT}" old)
else()
  set(old "")
endif()
if(NOT old STREQUAL text)
  file(WRITE "${OUTPUT}" "${text}")
endif()
