dset ^st.dat
dtype station
stnmap ^st.map
undef -999
tdef 2 linear 12z1jan1990 1dy
vars 2
ts 0 99 surface t
t 1 99 upper t
endvars
