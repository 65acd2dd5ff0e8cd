* Batch demo: the configuration, then the page kept as a display-list file
* and as a PNG image.
q config
enable print demo.meta
print
disable print
printim demo.png white
