# Debian's hardening flags (fortify, stack protector, relro, bindnow, PIE),
# as dpkg-buildflags gives them, for the optimised builds the package comes
# from. Left out of Debug and sanitizer builds: _FORTIFY_SOURCE needs
# optimisation, and the sanitizers bring their own checks.
set(_tolvik_hardened OFF)
find_program(TOLVIK_DPKG_BUILDFLAGS dpkg-buildflags)
if(TOLVIK_HARDENING AND TOLVIK_DPKG_BUILDFLAGS AND NOT CMAKE_BUILD_TYPE STREQUAL "Debug"
   AND NOT TOLVIK_SANITIZE AND NOT TOLVIK_SANITIZE_THREAD AND NOT TOLVIK_FUZZ)
  foreach(kind CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
              ${TOLVIK_DPKG_BUILDFLAGS} --get ${kind}
      OUTPUT_VARIABLE _flags OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE _result)
    if(NOT _result EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${kind} failed")
    endif()
    separate_arguments(_flags UNIX_COMMAND "${_flags}")
    # The build type chooses optimisation and debug information; the path
    # map would name this build's directory in every object.
    list(FILTER _flags EXCLUDE REGEX "^-O[0-9s]?$|^-g$|^-ffile-prefix-map=")
    set(_tolvik_${kind} ${_flags})
  endforeach()
  foreach(flag IN LISTS _tolvik_CPPFLAGS _tolvik_CFLAGS)
    add_compile_options("$<$<COMPILE_LANGUAGE:C>:${flag}>")
  endforeach()
  foreach(flag IN LISTS _tolvik_CPPFLAGS _tolvik_CXXFLAGS)
    add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:${flag}>")
  endforeach()
  add_link_options(${_tolvik_LDFLAGS})
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  include(CheckPIESupported)
  check_pie_supported()
  set(_tolvik_hardened ON)
endif()
message(STATUS "Hardening flags from dpkg-buildflags: ${_tolvik_hardened}")
