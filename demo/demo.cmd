* Batch demo: the sample data set drawn as colour shading with contours
* over the map with a title, first on the whole globe, then over the North
* Pole; each page is written as a PNG image and the last also as a display list.
open sample/sample.ctl
* 500 hPa geopotential height, latitude-longitude map.
set lev 500
set gxout shaded
display z
set gxout contour
set ccolor 1
set cthick 4
set clskip 2
display z
draw title 500 hPa geopotential height (m)  00Z01JAN2000
printim demo_latlon.png white
* Sea-level pressure north of 20N, polar stereographic.
clear
set mproj nps
set lat 20 90
set gxout shaded
display slp
set gxout contour
set ccolor 1
display slp
draw title Sea-level pressure (hPa)  00Z01JAN2000
printim demo_nps.png white
enable print demo.meta
print
disable print
