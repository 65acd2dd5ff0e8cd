DSET ^sample.dat
TITLE Sample atmosphere on a 2.5 degree grid
UNDEF -9.99e33
OPTIONS little_endian
XDEF 144 LINEAR 0 2.5
YDEF 73 LINEAR -90 2.5
ZDEF 6 LEVELS 1000 850 700 500 300 200
TDEF 12 LINEAR 00Z01JAN2000 6hr
VARS 5
slp 0 99 Sea level pressure [hPa]
t 6 99 Temperature [K]
z 6 99 Geopotential height [m]
u 6 99 Zonal wind [m/s]
v 6 99 Meridional wind [m/s]
ENDVARS
