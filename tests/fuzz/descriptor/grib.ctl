dset ^x.grb
dtype grib
index ^x.idx
undef -9.99e8
xdef 10 linear 0 36
ydef 5 levels -60 -30 0 30 60
zdef 1 linear 1 1
tdef 4 linear 00z1jan2000 6hr
vars 1
t 0 11,100,500 temperature
endvars
