dset ^f%y4%m2.dat
options template big_endian yrev
undef 1e20
title t
xdef 4 linear 0 90
ydef 3 linear -45 45
zdef 2 levels 1000 500
tdef 24 linear jan2000 1mo
vars 2
a 2 0 a
b 0 0 b
endvars
