# Stroke fonts font0.dat..font9.dat, converted at build time from the public
# stroke-font glyph files, with their acknowledgement beside them.
set(HERSHEY_FONT_DIR /usr/share/hershey-fonts CACHE PATH "Directory of the .jhf stroke-font glyph files")
set(HERSHEY_FONT_NOTICE /usr/share/doc/hershey-fonts-data/copyright CACHE FILEPATH "Acknowledgement to ship with the fonts")
if(NOT EXISTS ${HERSHEY_FONT_DIR}/rowmans.jhf)
  message(FATAL_ERROR "Stroke-font glyph files not found in ${HERSHEY_FONT_DIR} (Debian package hershey-fonts-data)")
endif()

add_executable(fontconv ${CMAKE_CURRENT_LIST_DIR}/fontconv.cpp)

# Font number -> glyph file.
set(_vemra_font_src rowmans timesr timesi greeks rowmand symbolic scripts timesrb greekc rowmant)
set(_vemra_font_outputs)
set(_n 0)
foreach(_name ${_vemra_font_src})
  set(_out ${VEMRA_DATA_DIR}/font${_n}.dat)
  add_custom_command(OUTPUT ${_out}
    COMMAND fontconv ${HERSHEY_FONT_DIR}/${_name}.jhf ${_out}
    DEPENDS fontconv ${HERSHEY_FONT_DIR}/${_name}.jhf
    COMMENT "Stroke font ${_n} from ${_name}"
    VERBATIM)
  list(APPEND _vemra_font_outputs ${_out})
  math(EXPR _n "${_n} + 1")
endforeach()

set(_notice ${VEMRA_DATA_DIR}/fonts.copyright)
add_custom_command(OUTPUT ${_notice}
  COMMAND ${CMAKE_COMMAND} -E copy ${HERSHEY_FONT_NOTICE} ${_notice}
  DEPENDS ${HERSHEY_FONT_NOTICE}
  VERBATIM)

add_custom_target(vemra_fonts ALL DEPENDS ${_vemra_font_outputs} ${_notice})
install(FILES ${_vemra_font_outputs} ${_notice} DESTINATION ${VEMRA_INSTALL_DATADIR})
# Anything that draws text needs the fonts in the data directory.
add_dependencies(vemra_gx vemra_fonts)
