# The speed kernel: the binary128 arithmetic in place of libgcc's, and how
# the program is linked so that it takes effect.  Included from the top CMakeLists.txt
# once morvantide_lib and the program are defined.

# The binary128 +, -, * and / (binary128_arith.cc) replace libgcc's
# soft-float routines.  They go into every program that links the library as
# an object, not as a member of the archive, so they are linked whether or
# not the program's own code calls them, ahead of libgcc.
add_library(morvantide_kernel OBJECT ${CMAKE_CURRENT_LIST_DIR}/binary128_arith.cc)
target_include_directories(morvantide_kernel PRIVATE ${PROJECT_SOURCE_DIR}/src)

# libquadmath linked statically on Linux too: the shared library calls its
# own private copies of libgcc's routines, the archive's objects (powq,
# log10q, expq, ...) call the ones the program defines.  Windows links
# everything statically already.
set(MORVANTIDE_QUADMATH quadmath)
if(NOT WIN32)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libquadmath.a
                  OUTPUT_VARIABLE MORVANTIDE_QUADMATH_ARCHIVE OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(IS_ABSOLUTE "${MORVANTIDE_QUADMATH_ARCHIVE}" AND EXISTS "${MORVANTIDE_QUADMATH_ARCHIVE}")
    set(MORVANTIDE_QUADMATH ${MORVANTIDE_QUADMATH_ARCHIVE})
  else()
    message(WARNING "libquadmath.a not found: powq and the others keep libgcc's arithmetic")
  endif()
endif()
target_link_libraries(morvantide_lib PUBLIC $<TARGET_OBJECTS:morvantide_kernel>
                      ${MORVANTIDE_QUADMATH})

# The C++ run time and libgcc linked into the program: a run then resolves
# a few hundred symbols at start-up instead of thousands.  The C library
# stays shared, so a library preloaded for a fixed clock still takes effect.
option(MORVANTIDE_STATIC_RUNTIME "Link libstdc++ and libgcc statically (Linux)" ON)
if(MORVANTIDE_STATIC_RUNTIME AND NOT WIN32 AND NOT MORVANTIDE_SANITIZE)
  target_link_options(morvantide PRIVATE -static-libstdc++ -static-libgcc)
endif()

# libquadmath's archive calls the C math library (sqrt, the rounding mode).
if(NOT WIN32)
  target_link_libraries(morvantide_lib PUBLIC m)
endif()
