# Finds z80ex (Debian: libz80ex-dev), the Z80 emulator the tests run the
# generated sprite routines on.
#
# Gives Z80ex_FOUND, Z80ex_INCLUDE_DIR, Z80ex_LIBRARY and the imported target
# Z80ex::Z80ex (its headers come in as system headers: our warnings stay ours).
find_path(Z80ex_INCLUDE_DIR NAMES z80ex/z80ex.h)
find_library(Z80ex_LIBRARY NAMES z80ex)

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(Z80ex REQUIRED_VARS Z80ex_LIBRARY Z80ex_INCLUDE_DIR)

if(Z80ex_FOUND AND NOT TARGET Z80ex::Z80ex)
  add_library(Z80ex::Z80ex UNKNOWN IMPORTED)
  set_target_properties(Z80ex::Z80ex PROPERTIES
    IMPORTED_LOCATION "${Z80ex_LIBRARY}"
    INTERFACE_INCLUDE_DIRECTORIES "${Z80ex_INCLUDE_DIR}")
endif()
mark_as_advanced(Z80ex_INCLUDE_DIR Z80ex_LIBRARY)
