say 'hello'
i = 1
while (i < 3)
  i = i + 1
  if (i = 2); say i; else; say 'x'; endif
endwhile
rc = f(3)
return rc
function f(a)
  return a*2
