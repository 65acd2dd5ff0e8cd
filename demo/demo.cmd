* Batch demo: the sample data set drawn as colour shading with contours
* over the map, first on the whole globe, then over the North Pole; each
* page is written as a PNG image and the last also as a display list.
open sample/sample.ctl
* 500 hPa geopotential height, latitude-longitude map.
set lev 500
set gxout shaded
display z
set gxout contour
set ccolor 1
set cthick 4
display z
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
printim demo_nps.png white
enable print demo.meta
print
disable print
