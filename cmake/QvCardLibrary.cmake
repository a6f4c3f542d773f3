# Our builds of the maker's card library VODRA_OX952 (the simulator, the minimal and the
# tracing library) and, on Windows, the import libraries that callers link against; the nine
# functions come from their one list, OX952_FUNCTIONS in card/ox952.h, through the compiler.

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

# One of ours under the maker's file name says what it is (identity: QV_SIMULATOR_IDENTITY or
# QV_TRACER_IDENTITY): an export, a mark and on Windows a version resource.
function(qv_our_card_library target identity)
  target_sources(${target} PRIVATE ${CMAKE_SOURCE_DIR}/card/our_library.cpp
                 $<$<BOOL:${WIN32}>:${CMAKE_SOURCE_DIR}/card/our_library.rc>)
  target_compile_definitions(${target} PRIVATE QV_IDENTITY=${identity} ${QV_VERSION_DEFINITION})
endfunction()

# Sets `out` to the dlltool command that makes `import_lib`, an import library of VODRA_OX952.DLL,
# from ARGN: objects, whose exports the compiler marked, or -d and a .def file. On i686 callers
# name a __stdcall function with its @n (OX952_Open@8) and the DLL exports it undecorated:
# hence dlltool -k.
function(qv_card_import_command out import_lib)
  get_filename_component(compiler_dir ${CMAKE_CXX_COMPILER} DIRECTORY)
  find_program(QV_DLLTOOL NAMES ${QV_MINGW_TRIPLE}-dlltool HINTS ${compiler_dir} REQUIRED)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(machine i386:x86-64)
  else()
    set(machine i386)
  endif()
  set(${out} ${QV_DLLTOOL} -m ${machine} -k -D VODRA_OX952.DLL -l ${import_lib} ${ARGN}
      PARENT_SCOPE)
endfunction()

# Writes `def_file`, the nine functions of OX952_FUNCTIONS as the compiler's preprocessor
# expands them into vodra_ox952.def.in.
function(qv_card_def_file def_file)
  set(template ${CMAKE_SOURCE_DIR}/cmake/vodra_ox952.def.in)
  execute_process(COMMAND ${CMAKE_C_COMPILER} -E -P -x c -I${CMAKE_SOURCE_DIR} ${template}
                  OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
  string(FIND "${text}" "LIBRARY VODRA_OX952.DLL" start)
  string(SUBSTRING "${text}" ${start} -1 text)
  file(WRITE ${def_file} "${text}")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${template}
               ${CMAKE_SOURCE_DIR}/card/ox952.h)
endfunction()
