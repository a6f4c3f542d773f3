# Our builds of the maker's card library VODRA_OX952 (the simulator, the minimal and the
# tracing library) and, on Windows, the import libraries that callers link against; the nine
# functions come from their one list, OX952_FUNCTIONS in card/ox952.h.

# A library under the maker's file name that exports the nine functions.
function(qv_card_library target)
  target_compile_definitions(${target} PRIVATE OX952_BUILDING_LIBRARY)
  if(WIN32)
    # VODRA_OX952.DLL with undecorated names, although the functions are __stdcall on i686.
    set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME VODRA_OX952 SUFFIX ".DLL")
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  else()
    set_target_properties(${target} PROPERTIES OUTPUT_NAME vodra_ox952)
    set(map ${CMAKE_SOURCE_DIR}/sim/exports.map)
    target_link_options(${target} PRIVATE -Wl,--version-script=${map})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})
  endif()
endfunction()

# Writes <def_name>.def and sets `out` to the command that makes from it the import library
# `import_lib` of VODRA_OX952.DLL, for the nine functions and the names in ARGN. On i686
# callers name a __stdcall function with its @n (OX952_Open@8) and the DLL exports it
# undecorated: hence the @n in the .def, and dlltool -k.
function(qv_card_import_command out def_name import_lib)
  set(header ${CMAKE_SOURCE_DIR}/card/ox952.h)
  file(READ ${header} text)
  string(REGEX MATCHALL "X\\([A-Za-z0-9_]+, \\([^)]*\\)" rows "${text}")
  list(LENGTH rows count)
  if(NOT count EQUAL 9)
    message(FATAL_ERROR "${header}: ${count} functions found in OX952_FUNCTIONS, not 9")
  endif()
  set(def "LIBRARY VODRA_OX952.DLL\nEXPORTS\n")
  foreach(row IN LISTS rows)
    string(REGEX MATCH "X\\(([A-Za-z0-9_]+), \\(([^)]*)\\)" match "${row}")
    set(name OX952_${CMAKE_MATCH_1})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      string(REGEX MATCHALL "," commas "${CMAKE_MATCH_2}")
      list(LENGTH commas n)
      math(EXPR bytes "4 * (${n} + 1)")  # every argument is 32 bits
      string(APPEND name "@${bytes}")
    endif()
    string(APPEND def "  ${name}\n")
  endforeach()
  foreach(name IN LISTS ARGN)
    string(APPEND def "  ${name}\n")
  endforeach()
  set(def_file ${CMAKE_CURRENT_BINARY_DIR}/${def_name}.def)
  file(WRITE ${def_file} "${def}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  get_filename_component(compiler_dir ${CMAKE_CXX_COMPILER} DIRECTORY)
  find_program(QV_DLLTOOL NAMES ${QV_MINGW_TRIPLE}-dlltool HINTS ${compiler_dir} REQUIRED)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(machine i386:x86-64)
  else()
    set(machine i386)
  endif()
  set(${out} ${QV_DLLTOOL} -m ${machine} -k -d ${def_file} -l ${import_lib} PARENT_SCOPE)
endfunction()
