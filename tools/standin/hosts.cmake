# Reads tools/standin/hosts.txt into the cache-free variables DV_GATE_PRIMARY_URL, DV_GATE_BACKUP_URL,
# DV_TRACK_URL, DV_ATTRIBUTION_URL and DV_PUBLIC_IP_URL, so the launcher's built-in addresses and the
# stand-in's certificate and proxy come from one file. Usage: include(${CMAKE_SOURCE_DIR}/tools/standin/hosts.cmake)
set(_dv_hosts_file ${CMAKE_CURRENT_LIST_DIR}/hosts.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_dv_hosts_file})
file(STRINGS ${_dv_hosts_file} _dv_host_lines REGEX "^[A-Z_]+=")
foreach(_dv_line IN LISTS _dv_host_lines)
  string(REGEX MATCH "^([A-Z_]+)=(.*)$" _dv_match "${_dv_line}")
  set(DV_${CMAKE_MATCH_1} "${CMAKE_MATCH_2}")
endforeach()
unset(_dv_hosts_file)
unset(_dv_host_lines)
