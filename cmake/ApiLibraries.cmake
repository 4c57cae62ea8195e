# Find rules for the chat API's libraries (Debian: libssl-dev, libwslay-dev,
# nlohmann-json3-dev, libsimdjson-dev). Each ends up as an imported target.
find_package(OpenSSL 3.0 REQUIRED)
find_package(nlohmann_json 3.10 REQUIRED)
find_package(simdjson 3.0 CONFIG REQUIRED)

# wslay ships a CMake package in Debian; fall back to the bare header and
# library so other layouts work too.
find_package(wslay CONFIG QUIET)
if(TARGET wslay)
  add_library(Tolvik::wslay INTERFACE IMPORTED)
  target_link_libraries(Tolvik::wslay INTERFACE wslay)
else()
  find_path(WSLAY_INCLUDE_DIR wslay/wslay.h)
  find_library(WSLAY_LIBRARY NAMES wslay)
  if(NOT WSLAY_INCLUDE_DIR OR NOT WSLAY_LIBRARY)
    message(FATAL_ERROR "wslay not found: install libwslay-dev (scripts/deps.sh)")
  endif()
  add_library(Tolvik::wslay UNKNOWN IMPORTED)
  set_target_properties(Tolvik::wslay PROPERTIES IMPORTED_LOCATION ${WSLAY_LIBRARY}
                        INTERFACE_INCLUDE_DIRECTORIES ${WSLAY_INCLUDE_DIR})
endif()
