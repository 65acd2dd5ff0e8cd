'open x.ctl'
line = sublin(result, 2)
w = subwrd(line, 3)
rc = write('out.txt', w)
rc = close('out.txt')
say substr(w, 1, 2) 