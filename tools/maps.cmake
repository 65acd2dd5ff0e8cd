# Map outline files, converted at build time from the binned shoreline,
# border and river files of the public shoreline database, with its licence
# notice beside them. "lowres" is the default map; "mres" is the finer one.
set(GSHHG_DIR /usr/share/gmt-gshhg CACHE PATH "Directory of the binned shoreline netCDF files")
set(GSHHG_NOTICE /usr/share/doc/gmt-gshhg-low/copyright CACHE FILEPATH "Licence notice to ship with the maps")
if(NOT EXISTS ${GSHHG_DIR}/binned_GSHHS_l.nc)
  message(FATAL_ERROR "Binned shoreline files not found in ${GSHHG_DIR} (Debian package gmt-gshhg-low)")
endif()

add_executable(mapconv ${CMAKE_CURRENT_LIST_DIR}/mapconv.cpp)
target_link_libraries(mapconv PRIVATE PkgConfig::NETCDF)

set(_vemra_map_outputs)
# Map name -> resolution letter of the source files.
foreach(_pair lowres:l mres:i)
  string(REPLACE ":" ";" _pair ${_pair})
  list(GET _pair 0 _name)
  list(GET _pair 1 _res)
  set(_srcs ${GSHHG_DIR}/binned_GSHHS_${_res}.nc ${GSHHG_DIR}/binned_border_${_res}.nc
            ${GSHHG_DIR}/binned_river_${_res}.nc)
  set(_have TRUE)
  foreach(_s ${_srcs})
    if(NOT EXISTS ${_s})
      set(_have FALSE)
    endif()
  endforeach()
  if(_have)
    set(_out ${VEMRA_DATA_DIR}/${_name})
    add_custom_command(OUTPUT ${_out}
      COMMAND mapconv ${_srcs} ${_out}
      DEPENDS mapconv ${_srcs}
      COMMENT "Map outlines ${_name}"
      VERBATIM)
    list(APPEND _vemra_map_outputs ${_out})
  endif()
endforeach()

set(_notice ${VEMRA_DATA_DIR}/lowres.copyright)
add_custom_command(OUTPUT ${_notice}
  COMMAND ${CMAKE_COMMAND} -E copy ${GSHHG_NOTICE} ${_notice}
  DEPENDS ${GSHHG_NOTICE}
  VERBATIM)

add_custom_target(vemra_maps ALL DEPENDS ${_vemra_map_outputs} ${_notice})
install(FILES ${_vemra_map_outputs} ${_notice} DESTINATION ${VEMRA_INSTALL_DATADIR})
# Anything that draws maps needs the outlines in the data directory.
add_dependencies(vemra_gx vemra_maps)
